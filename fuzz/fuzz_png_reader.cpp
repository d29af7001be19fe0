// Feeds arbitrary bytes to the PNG reader as an in-memory file.
#include <cstddef>
#include <cstdint>

#include "codecs/png/png_streams.h"
#include "codecs/png/raw_png_decoder.h"
#include "common/diagnostics.h"

namespace {

// Large enough for every path of the reader, small enough to keep each run quick.
constexpr uint64_t kFuzzPixelLimit = uint64_t{1} << 16;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  genshoku::png::VxPngMemoryStream stream(data, size);
  genshoku::png::VxRawPngDecoder decoder(genshoku::SilentDiagnostics(), kFuzzPixelLimit);
  // Both ways of meeting damage: decoded as far as it goes, or refused up front, and both
  // reading rules (the input's length, which mutations change, chooses).
  decoder.refuseDamaged = size % 2 == 1;
  // The window's reading or the standard one (every format, transparency as alpha).
  decoder.pixelRules = size / 2 % 2 == 1 ? genshoku::png::PngPixelRules::Standard
                                         : genshoku::png::PngPixelRules::Window;
  decoder.DecodeStream(stream);
  // A refused file has no picture; a whole picture has no damage to report.
  if (decoder.refuseDamaged && decoder.HasPicture() && decoder.damage == "no image data") {
    __builtin_trap();
  }
  // Touch the whole picture so that a wrong size shows up.
  volatile uint8_t sum = 0;
  for (uint8_t byte : decoder.pixels) sum = sum + byte;
  (void)sum;
  return 0;
}
