// libFuzzer target for the GIF reader: any bytes, read from memory, through every image
// and a render of each.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "codecs/gif/gif_reader.h"
#include "common/diagnostics.h"

namespace {

// Large screens are legal but make each run slow without reaching new code; the reader's
// own limit is tested elsewhere.
constexpr uint64_t kLargestScreenFuzzed = 1u << 16;
constexpr int kMostImages = 64;

uint64_t DeclaredScreenPixels(const uint8_t* data, size_t size) {
  if (size < 10) return 0;
  return uint64_t(data[6] | data[7] << 8) * uint64_t(data[8] | data[9] << 8);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (DeclaredScreenPixels(data, size) > kLargestScreenFuzzed) return 0;
  auto reader = genshoku::GifReader::OpenMemory(data, size, genshoku::SilentDiagnostics());
  if (!reader) return 0;
  // Images whose data cannot fill them refused, or drawn as far as they go (the input's
  // length, which mutations change, chooses).
  reader->RefuseDamagedImages(size % 2 == 1);
  // The canvas with alpha, or red, green and blue alone.
  const bool keepAlpha = size / 2 % 2 == 1;
  reader->KeepAlpha(keepAlpha);
  std::vector<uint8_t> canvas(size_t(reader->width()) * reader->height() * (keepAlpha ? 4 : 3));
  for (int image = 0; image < kMostImages; ++image) {
    const int result = reader->NextImage();
    if (keepAlpha) {
      reader->RenderRgba(canvas.data());
    } else {
      reader->Render(canvas.data());
    }
    if (result != genshoku::GifReader::kImageRead) break;
  }
  return 0;
}
