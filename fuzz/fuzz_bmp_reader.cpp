// Feeds arbitrary bytes to the BMP reader as a file held in memory, and asks for the picture
// of whatever it accepts. Unlike fuzz_bmp_loader there is no file and no reduction, so the
// fuzzer spends its runs on the headers, colour tables, bit fields and row decoding alone.
#include <cstddef>
#include <cstdint>

#include "common/diagnostics.h"
#include "formats/bmp_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  genshoku::BmpFileImage image;
  if (genshoku::BmpFileImageFromMemory(data, size, "fuzz.bmp", &image,
                                       genshoku::SilentDiagnostics()) !=
      genshoku::BmpReadStatus::Ok) {
    return 0;
  }
  // The reader keeps only the rows it needs, which can never be more than the input.
  if (image.bytes.size() > size) __builtin_trap();
  // Opaque as the window shows it, or with the alpha of an alpha mask (the input's length,
  // which mutations change, chooses).
  const genshoku::DibAlpha alpha =
      size % 2 == 1 ? genshoku::DibAlpha::Masked : genshoku::DibAlpha::Opaque;
  const auto picture =
      genshoku::PictureFromBmpImage(image, "fuzz.bmp", genshoku::SilentDiagnostics(), alpha);
  if (!picture) return 0;
  if (picture->pixels.size() != picture->PixelCount()) __builtin_trap();
  // Touch the whole picture so that a wrong size shows up.
  volatile uint8_t sum = 0;
  for (const auto& pixel : picture->pixels)
    sum = sum + pixel.red + pixel.green + pixel.blue + pixel.alpha;
  (void)sum;
  return 0;
}
