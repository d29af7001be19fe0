#pragma once
// Writing an indexed picture as an 8-bit BMP file: file header, 40-byte info header, colour
// table (blue, green, red, 0 per entry), rows bottom first padded to four bytes.

#include <cstdint>
#include <vector>

#include "common/pictures.h"

namespace genshoku {

// The file's bytes. A palette of 256 entries gives the classic layout (a full colour table,
// the "colours used" field 0, rows at byte 1078); a smaller palette gives a table of just
// its entries, named in the "colours used" field. Alpha is not stored. The picture must have
// a size BMP can describe and 1 to 256 palette entries; may throw std::bad_alloc.
std::vector<uint8_t> EncodeBmp8(const IndexedPicture& picture);

}  // namespace genshoku
