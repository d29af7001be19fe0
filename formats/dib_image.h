#pragma once
// Turns the bitmap on display into 32-bit pixels for painting. The bitmap is a Windows
// device-independent bitmap as stored: an info header of 40 bytes or more, a colour table
// or bit masks where the format has them, and rows of 1, 4, 8, 16, 24 or 32 bits per pixel,
// bottom row first (or top row first when the height is negative).
//
// The bytes come from dropped files, so every read is checked against the block: a colour
// table entry or a row that is not there paints white, an index past the table paints
// black, as the platform's own painting does.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace genshoku {

// The bytes a bitmap can be read from: the info header (and what follows it) and the rows.
struct DibSource {
  const uint8_t* info = nullptr;
  size_t infoAvailable = 0;  // bytes readable from `info` on
  const uint8_t* bits = nullptr;
  size_t bitsSize = 0;  // bytes readable from `bits` on
};

struct DibGeometry {
  int32_t width = 0;
  int32_t height = 0;  // rows, always positive
  bool topDown = false;
  int bitsPerPixel = 0;
};

// Reads the info header. False when it is missing, too short, of an unsupported format,
// or describes more pixels than a picture may have.
bool ReadDibGeometry(const DibSource& source, DibGeometry* geometry);

// How the alpha of a bitmap with an alpha mask (16 or 32 bits with bit fields and an info
// header of 56 bytes or more: V3, V4, V5) is taken.
enum class DibAlpha {
  Opaque,  // every pixel opaque, as the platform paints the bitmap on display
  Masked,  // the alpha under the mask; bitmaps without an alpha mask are opaque
};

// Writes width x height pixels as 0xAARRGGBB (0xFFRRGGBB when opaque), top row first,
// `destStride` pixels apart from one row to the next. False when the header cannot be read.
bool ConvertDibPixels(const DibSource& source, uint32_t* dest, size_t destStride,
                      DibAlpha alpha = DibAlpha::Opaque);

// The same into a new buffer of width x height pixels.
bool ConvertDib(const DibSource& source, DibGeometry* geometry, std::vector<uint32_t>* pixels);

}  // namespace genshoku
