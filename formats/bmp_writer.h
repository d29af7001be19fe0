#pragma once
// Writing an indexed picture as a palette BMP file: file header, 40-byte info header, colour
// table (blue, green, red, 0 per entry), rows bottom first padded to four bytes, 8, 4 or 1
// bits per pixel (the narrower depths packed from the high bits of each byte).

#include <cstdint>
#include <vector>

#include "common/pictures.h"

namespace genshoku {

// The file's bytes. A palette of 256 entries gives the classic layout (a full colour table,
// the "colours used" field 0, rows at byte 1078); a smaller palette gives a table of just
// its entries, named in the "colours used" field. Alpha is not stored. The picture must have
// a size BMP can describe and 1 to 256 palette entries; may throw std::bad_alloc.
std::vector<uint8_t> EncodeBmp8(const IndexedPicture& picture);

// 1 for a palette of up to 2 entries, 4 for up to 16, otherwise 8.
int SmallestBmpDepth(size_t paletteEntries);

// The same file at `bitsPerPixel` (1, 4 or 8), which must hold every entry of the palette;
// the "colours used" field names the entries when the depth could hold more.
std::vector<uint8_t> EncodeBmp(const IndexedPicture& picture, int bitsPerPixel);

}  // namespace genshoku
