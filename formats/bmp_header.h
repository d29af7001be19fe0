#pragma once
// Checking the headers of a BMP file before anything is read from its rows.

#include <cstddef>
#include <cstdint>
#include <string>

namespace genshoku {

struct BmpHeader {
  uint32_t fileSizeField = 0;  // what the file header claims (not trusted)
  uint32_t pixelOffset = 0;    // where the first stored row starts
  uint32_t infoSize = 0;       // size of the info header (40 or more)
  int32_t width = 0;           // > 0
  int32_t height = 0;          // stored value; negative means the top row comes first
  int bitsPerPixel = 0;        // 1, 4, 8, 16, 24 or 32
  uint32_t compression = 0;    // 0 (none) or 3 (bit fields, 16 and 32 bits)
  uint32_t coloursUsed = 0;

  int32_t rows() const { return height < 0 ? -height : height; }
  bool topDown() const { return height < 0; }
  int64_t stride() const;  // bytes per stored row
  int64_t pixelCount() const { return static_cast<int64_t>(width) * rows(); }
  // Where the last stored row ends: nothing after it is part of the picture.
  uint64_t rowsEnd() const { return pixelOffset + static_cast<uint64_t>(stride()) * rows(); }
};

// The number of header bytes ParseBmpHeader needs to see.
inline constexpr size_t kBmpHeaderProbeSize = 54;

// How far into a file the pixel rows may start. Headers, colour table and masks take
// little more than a kilobyte; the limit keeps a forged offset from making the loader
// hold gigabytes that are never shown.
inline constexpr uint32_t kMaxBmpPixelOffset = 16u << 20;

// Reads and checks the file header and info header. `bytes` holds at least the first
// min(fileSize, kBmpHeaderProbeSize) bytes of a file of `fileSize` bytes. Returns false with
// a reason ("not a BMP file", "the picture rows are not inside the file", ...) when these
// are not the headers of a BMP file this program can show, or the picture is larger than
// the pixel limit.
bool ParseBmpHeader(const uint8_t* bytes, size_t available, uint64_t fileSize, BmpHeader* header,
                    std::string* reason);

}  // namespace genshoku
