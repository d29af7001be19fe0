#include "support_read_decode.h"

#include "codecs/png/png_streams.h"
#include "common/diagnostics.h"

namespace genshoku::png::readtest {

DecodeOutcome DecodePngBytes(const std::vector<uint8_t>& file, uint64_t pixelLimit) {
  CapturedDiagnostics diagnostics;
  VxRawPngDecoder decoder(diagnostics, pixelLimit);
  VxPngMemoryStream stream(file.data(), file.size());
  DecodeOutcome outcome;
  outcome.result = decoder.DecodeStream(stream);
  outcome.hasPicture = decoder.HasPicture();
  outcome.width = decoder.outWidth;
  outcome.height = decoder.outHeight;
  outcome.pixels = decoder.pixels;
  outcome.out = diagnostics.Text(DiagnosticStream::Out);
  outcome.err = diagnostics.Text(DiagnosticStream::Err);
  outcome.colorType = decoder.colorType;
  outcome.paletteCount = decoder.paletteCount;
  return outcome;
}

}  // namespace genshoku::png::readtest
