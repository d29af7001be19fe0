// libFuzzer target for JPEG input: any bytes through the libjpeg wrapper, which must turn
// every fatal library error into a refusal and never crash, whatever the file holds.

#include <cstddef>
#include <cstdint>

#include "common/diagnostics.h"
#include "formats/jpeg_reader.h"

namespace {

// Large pictures are legal but make each run slow without reaching new code; the picture
// limit itself is tested elsewhere. A frame header (SOF0 to SOF15 but DHT, JPG and DAC)
// holds the height at bytes 5-6 and the width at 7-8 after its marker.
constexpr uint64_t kLargestPictureFuzzed = 1u << 16;

bool DeclaresLargePicture(const uint8_t* data, size_t size) {
  for (size_t i = 0; i + 9 <= size; ++i) {
    if (data[i] != 0xFF) continue;
    const uint8_t marker = data[i + 1];
    if (marker < 0xC0 || marker > 0xCF || marker == 0xC4 || marker == 0xC8 || marker == 0xCC) {
      continue;
    }
    const uint64_t height = uint64_t(data[i + 5]) << 8 | data[i + 6];
    const uint64_t width = uint64_t(data[i + 7]) << 8 | data[i + 8];
    if (width * height > kLargestPictureFuzzed) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (DeclaresLargePicture(data, size)) return 0;
  // Damage refused at the first warning, or decoded as far as it goes (the input's length,
  // which mutations change, chooses).
  genshoku::ReadOptions options;
  options.refuseDamaged = size % 2 == 1;
  auto picture =
      genshoku::DecodeJpeg(data, size, "fuzz.jpg", genshoku::SilentDiagnostics(), options);
  if (picture) {
    // Touch every row so that a picture smaller than it claims shows up.
    if (picture->pixels.size() != picture->PixelCount()) __builtin_trap();
    volatile uint8_t sum = 0;
    for (int32_t y = 0; y < picture->height; ++y) {
      sum = sum + picture->At(0, y).red + picture->At(picture->width - 1, y).blue;
    }
  }
  return 0;
}
