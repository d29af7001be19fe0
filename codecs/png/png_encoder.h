#pragma once
// The PNG writer: signature, IHDR, a 256-entry PLTE, one IDAT holding the whole zlib
// stream, and IEND.
//
// VxGenericPngEncoder builds the file and hands its bytes to the overridable WriteBytes;
// VxRawPngEncoder collects them in memory and writes files through AtomicFile, so that a
// failed save leaves the previous file untouched and nothing half-written.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/diagnostics.h"

namespace genshoku::png {

// The largest filtered image (rows plus their filter bytes) the writer accepts. It covers
// every palette picture of up to 100,000,000 pixels, and keeps the zlib buffer and every
// number it reports within 32 bits.
inline constexpr int64_t kMaxFilteredBytes = 300'000'000;

inline constexpr size_t kPaletteBytes = 256 * 3;

class VxGenericPngEncoder {
 public:
  explicit VxGenericPngEncoder(Diagnostics& diagnostics = StandardDiagnostics());
  virtual ~VxGenericPngEncoder() = default;

  // Receives the file's bytes in order; 1 on success. This version writes nothing.
  virtual int WriteBytes(size_t count, const uint8_t* bytes);

  // Writes the whole file through WriteBytes. `pixelRows` holds `height` rows of the row
  // size the colour type and bit depth give, top row first; `palette` 256 red, green,
  // blue triples (needed for colour types 2, 3 and 6; grey pictures get no PLTE).
  // 1 on success; 0 (with a message) for an unsupported format, missing data, a picture
  // too large, a failed write or a lack of memory.
  int EncodeImage(int32_t width, int32_t height, int bitDepth, int colorType,
                  std::span<const uint8_t> pixelRows, std::span<const uint8_t> palette);

  // 1 prints "nLinePerUnit" once and "Y" once per unit of rows.
  int lineReport = 1;
  // 1 writes every unit as stored blocks without trying compression.
  int storeOnly = 0;

 protected:
  Diagnostics& diagnostics_;

 private:
  int WriteChunk(const char* type, const uint8_t* data, size_t size);
  int WriteIdat(std::vector<uint8_t> zlibStream);
};

class VxRawPngEncoder : public VxGenericPngEncoder {
 public:
  using VxGenericPngEncoder::VxGenericPngEncoder;

  // Writes the PNG file `fileName`; 1 on success. On failure the target keeps what it
  // held before, and a file that cannot be written is named in one line on standard
  // error.
  int Encode(const std::string& fileName, int32_t width, int32_t height, int bitDepth,
             int colorType, std::span<const uint8_t> pixelRows, std::span<const uint8_t> palette);

  // The same file as bytes in memory; `png` is replaced. 1 on success.
  int EncodeToMemory(std::vector<uint8_t>& png, int32_t width, int32_t height, int bitDepth,
                     int colorType, std::span<const uint8_t> pixelRows,
                     std::span<const uint8_t> palette);

  int WriteBytes(size_t count, const uint8_t* bytes) override;

 private:
  std::vector<uint8_t>* output_ = nullptr;
};

}  // namespace genshoku::png
