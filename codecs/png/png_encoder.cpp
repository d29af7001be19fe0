#include "codecs/png/png_encoder.h"

#include <cstring>
#include <new>

#include "codecs/png/crc32.h"
#include "codecs/png/png_encoder_rows.h"
#include "codecs/png/png_encoder_stream.h"
#include "common/atomic_file.h"

namespace genshoku::png {

namespace {

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
constexpr size_t kChunkFrameBytes = 12;  // length, type, CRC

void PutBigEndian32(uint8_t* target, uint32_t value) {
  target[0] = static_cast<uint8_t>(value >> 24);
  target[1] = static_cast<uint8_t>(value >> 16);
  target[2] = static_cast<uint8_t>(value >> 8);
  target[3] = static_cast<uint8_t>(value);
}

bool NeedsPalette(int colorType) { return colorType == 2 || colorType == 3 || colorType == 6; }

}  // namespace

VxGenericPngEncoder::VxGenericPngEncoder(Diagnostics& diagnostics) : diagnostics_(diagnostics) {}

int VxGenericPngEncoder::WriteBytes(size_t, const uint8_t*) { return 1; }

int VxGenericPngEncoder::WriteChunk(const char* type, const uint8_t* data, size_t size) {
  std::vector<uint8_t> chunk(kChunkFrameBytes + size);
  PutBigEndian32(chunk.data(), static_cast<uint32_t>(size));
  std::memcpy(chunk.data() + 4, type, 4);
  if (size > 0) std::memcpy(chunk.data() + 8, data, size);
  PutBigEndian32(chunk.data() + 8 + size, Crc32(chunk.data() + 4, 4 + size));
  return WriteBytes(chunk.size(), chunk.data());
}

// Frames the zlib stream in place, so that the largest buffer is not copied again.
int VxGenericPngEncoder::WriteIdat(std::vector<uint8_t> zlibStream) {
  const size_t size = zlibStream.size();
  uint8_t head[8];
  PutBigEndian32(head, static_cast<uint32_t>(size));
  std::memcpy(head + 4, "IDAT", 4);
  zlibStream.insert(zlibStream.begin(), head, head + 8);
  uint8_t crc[4];
  PutBigEndian32(crc, Crc32(zlibStream.data() + 4, 4 + size));
  zlibStream.insert(zlibStream.end(), crc, crc + 4);
  return WriteBytes(zlibStream.size(), zlibStream.data());
}

int VxGenericPngEncoder::EncodeImage(int32_t width, int32_t height, int bitDepth, int colorType,
                                     std::span<const uint8_t> pixelRows,
                                     std::span<const uint8_t> palette) {
  const int64_t bytesPerRow = PngBytesPerRow(width, bitDepth, colorType);
  if (bytesPerRow <= 0) {
    diagnostics_.Out("Unsupported color type and/or bitDepth\n");
    return 0;
  }
  if (height <= 0) {
    diagnostics_.Err("PNG: a picture of %d x %d pixels cannot be written\n", width, height);
    return 0;
  }
  const int64_t filteredBytes = static_cast<int64_t>(height) * (bytesPerRow + 1);
  if (filteredBytes > kMaxFilteredBytes) {
    diagnostics_.Err("PNG: a picture of %d x %d pixels is too large to write\n", width, height);
    return 0;
  }
  const int64_t pixelBytes = static_cast<int64_t>(height) * bytesPerRow;
  if (static_cast<int64_t>(pixelRows.size()) < pixelBytes) {
    diagnostics_.Err("PNG: the picture has %lld bytes of pixel rows where %lld are needed\n",
                     static_cast<long long>(pixelRows.size()), static_cast<long long>(pixelBytes));
    return 0;
  }
  if (NeedsPalette(colorType) && palette.size() < kPaletteBytes) {
    diagnostics_.Err("PNG: the palette has %zu bytes where %zu are needed\n", palette.size(),
                     kPaletteBytes);
    return 0;
  }

  try {
    if (!WriteBytes(sizeof kSignature, kSignature)) return 0;
    uint8_t header[13];
    PutBigEndian32(header, static_cast<uint32_t>(width));
    PutBigEndian32(header + 4, static_cast<uint32_t>(height));
    header[8] = static_cast<uint8_t>(bitDepth);
    header[9] = static_cast<uint8_t>(colorType);
    header[10] = 0;  // compression method: deflate
    header[11] = 0;  // filter method: adaptive, every row written with type None
    header[12] = 0;  // no interlace
    if (!WriteChunk("IHDR", header, sizeof header)) return 0;
    // The PNG standard forbids a palette in grey pictures.
    if (NeedsPalette(colorType) && !WriteChunk("PLTE", palette.data(), kPaletteBytes)) return 0;
    PngStreamOptions options;
    options.lineReport = lineReport;
    options.storeOnly = storeOnly;
    if (!WriteIdat(
            BuildPngZlibStream(pixelRows.data(), height, bytesPerRow, options, diagnostics_))) {
      return 0;
    }
    if (!WriteChunk("IEND", nullptr, 0)) return 0;
  } catch (const std::bad_alloc&) {
    diagnostics_.Err("PNG: not enough memory to write a picture of %d x %d pixels\n", width,
                     height);
    return 0;
  }
  return 1;
}

int VxRawPngEncoder::WriteBytes(size_t count, const uint8_t* bytes) {
  if (!output_) return 0;
  output_->insert(output_->end(), bytes, bytes + count);
  return 1;
}

int VxRawPngEncoder::EncodeToMemory(std::vector<uint8_t>& png, int32_t width, int32_t height,
                                    int bitDepth, int colorType, std::span<const uint8_t> pixelRows,
                                    std::span<const uint8_t> palette) {
  png.clear();
  output_ = &png;
  const int result = EncodeImage(width, height, bitDepth, colorType, pixelRows, palette);
  output_ = nullptr;
  if (!result) png.clear();
  return result;
}

int VxRawPngEncoder::Encode(const std::string& fileName, int32_t width, int32_t height,
                            int bitDepth, int colorType, std::span<const uint8_t> pixelRows,
                            std::span<const uint8_t> palette) {
  AtomicFile file;
  if (!file.Open(fileName)) {
    diagnostics_.Err("%s\n", file.error().c_str());
    return 0;
  }
  std::vector<uint8_t> png;
  if (!EncodeToMemory(png, width, height, bitDepth, colorType, pixelRows, palette)) {
    file.Discard();
    return 0;
  }
  if (!file.Write(png.data(), png.size()) || !file.Commit()) {
    diagnostics_.Err("%s\n", file.error().c_str());
    return 0;
  }
  return 1;
}

}  // namespace genshoku::png
