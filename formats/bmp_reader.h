#pragma once
// Reading BMP files: a file up to the end of its last pixel row, with its checked headers,
// and the picture it holds in any of the bit depths the program shows (1, 4, 8, 16, 24 and
// 32 bits, colour tables and bit fields).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/diagnostics.h"
#include "common/pictures.h"
#include "formats/bmp_header.h"
#include "formats/dib_image.h"

namespace genshoku {

// A BMP file as stored, up to the end of its last row: whatever follows the rows (a
// profile, or anything at all) is never read.
struct BmpFileImage {
  BmpHeader header;
  std::vector<uint8_t> bytes;
};

enum class BmpReadStatus {
  Ok,
  CannotOpen,  // the file could not be opened or read
  Refused,     // not a BMP file this program reads (bad headers, too large, short of memory)
};

// Reads the file at `path`. Anything but Ok writes one line naming the file on standard
// error.
BmpReadStatus ReadBmpFileImage(const std::string& path, BmpFileImage* image,
                               Diagnostics& diagnostics);

// The same for a file held in memory; `name` is used in messages.
BmpReadStatus BmpFileImageFromMemory(const uint8_t* data, size_t size, const std::string& name,
                                     BmpFileImage* image, Diagnostics& diagnostics);

// The picture a file image holds, opaque, or with `alpha` Masked the alpha of a 16- or
// 32-bit file with an alpha mask (a file whose alpha is 0 everywhere is taken as opaque: its
// writer declared a mask it did not fill). None (with one line naming the file) when the
// rows cannot be read or memory is short.
std::optional<RgbaPicture> PictureFromBmpImage(const BmpFileImage& image, const std::string& name,
                                               Diagnostics& diagnostics,
                                               DibAlpha alpha = DibAlpha::Opaque);

}  // namespace genshoku
