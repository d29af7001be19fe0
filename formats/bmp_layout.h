#pragma once
// The Windows bitmap layouts the program reads and writes: a 14-byte file header, a
// 40-byte info header, for 8-bit pictures a 256-entry colour table (blue, green, red, 0),
// then the pixel rows, bottom row first, each padded with zeros to a multiple of 4 bytes.

#include <cstddef>
#include <cstdint>

namespace genshoku {

inline constexpr size_t kBmpFileHeaderSize = 14;
inline constexpr size_t kBmpInfoHeaderSize = 40;
inline constexpr size_t kBmpColourTableSize = 256 * 4;
// File header + info header: where the rows of a 24-bit picture start.
inline constexpr size_t kBmp24PixelOffset = kBmpFileHeaderSize + kBmpInfoHeaderSize;  // 54
// Info header + colour table: where the rows of the result block start.
inline constexpr size_t kResultBlockPixelOffset = kBmpInfoHeaderSize + kBmpColourTableSize;  // 1064
// File header + info header + colour table: where the rows of an 8-bit file start.
inline constexpr size_t kBmp8PixelOffset = kBmpFileHeaderSize + kResultBlockPixelOffset;  // 1078

// Bytes per stored row of a 24-bit picture: 3 x width rounded up to a multiple of 4.
inline constexpr int64_t Stride24(int64_t width) { return (3 * width + 3) / 4 * 4; }
// Bytes per stored row of an 8-bit picture: width rounded up to a multiple of 4.
inline constexpr int64_t Stride8(int64_t width) { return (width + 3) / 4 * 4; }
// Bytes per stored row for any bit depth.
inline constexpr int64_t StrideForBits(int64_t width, int bitsPerPixel) {
  return (width * bitsPerPixel + 31) / 32 * 4;
}

inline uint16_t ReadLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t ReadLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline void WriteLe16(uint8_t* p, uint16_t value) {
  p[0] = static_cast<uint8_t>(value);
  p[1] = static_cast<uint8_t>(value >> 8);
}
inline void WriteLe32(uint8_t* p, uint32_t value) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(value >> (8 * i));
}

// Writes a 40-byte info header: size 40, width, height, planes 1, the bit depth,
// everything else 0.
void WriteBmpInfoHeader(uint8_t* header, int32_t width, int32_t height, int bitsPerPixel);

}  // namespace genshoku
