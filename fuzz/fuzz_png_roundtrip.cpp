// libFuzzer round trip for PNG: a picture made from the fuzz input goes through the PNG
// writer into memory and back through the PNG reader, which must give exactly the pixels
// that were written. Any difference aborts, so libFuzzer keeps the input.
//
// Input: a format byte, two width bytes, a height byte, a flags byte (store only, large), then the
// bytes of the pixel rows and after them the 256-entry palette (repeating the input as needed).

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "codecs/png/png_encoder.h"
#include "codecs/png/png_streams.h"
#include "codecs/png/raw_png_decoder.h"
#include "common/diagnostics.h"
#include "fuzz_input_bytes.h"

namespace {

struct Format {
  int colorType;
  int channels;  // bytes per pixel at bit depth 8
};

// The 8-bit formats both the writer and the reader handle. The palette format comes
// twice: it is the one the program saves.
constexpr Format kFormats[] = {{3, 1}, {3, 1}, {2, 3}, {6, 4}, {0, 1}, {4, 2}};

[[noreturn]] void Mismatch(const char* what, size_t at) {
  std::fprintf(stderr, "PNG round trip: %s differs at %zu\n", what, at);
  std::abort();
}

// The red, green, blue, alpha the reader must give for one written pixel.
void ExpectedPixel(const Format& format, const uint8_t* source, const uint8_t* palette,
                   uint8_t* rgba) {
  switch (format.colorType) {
    case 3:
      rgba[0] = palette[3 * source[0]];
      rgba[1] = palette[3 * source[0] + 1];
      rgba[2] = palette[3 * source[0] + 2];
      rgba[3] = 255;
      return;
    case 2: rgba[0] = source[0], rgba[1] = source[1], rgba[2] = source[2], rgba[3] = 255; return;
    case 6:
      rgba[0] = source[0], rgba[1] = source[1], rgba[2] = source[2], rgba[3] = source[3];
      return;
    case 0: rgba[0] = rgba[1] = rgba[2] = source[0], rgba[3] = 255; return;
    default:  // grey and alpha
      rgba[0] = rgba[1] = rgba[2] = source[0], rgba[3] = source[1];
      return;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  genshoku::fuzzing::InputBytes input(data, size);
  const Format format = kFormats[input.Header() % std::size(kFormats)];
  const uint8_t widthLow = input.Header();
  const int widthBytes = widthLow | input.Header() << 8;
  const uint8_t heightByte = input.Header();
  const uint8_t flags = input.Header();
  // Most pictures are small, for speed; one in four is large enough to fill the 32 KB
  // window of the compressor.
  const bool large = (flags & 6) == 6;
  const int width = 1 + widthBytes % (large ? 512 : 48);
  const int height = 1 + heightByte % (large ? 128 : 32);
  input.EndHeader();

  std::vector<uint8_t> rows(size_t(width) * height * format.channels);
  for (uint8_t& byte : rows) byte = input.Next();
  std::vector<uint8_t> palette(genshoku::png::kPaletteBytes);
  for (uint8_t& byte : palette) byte = input.Next();

  genshoku::Diagnostics& quiet = genshoku::SilentDiagnostics();
  genshoku::png::VxRawPngEncoder encoder(quiet);
  encoder.lineReport = 0;
  encoder.storeOnly = flags & 1;
  std::vector<uint8_t> file;
  if (encoder.EncodeToMemory(file, width, height, 8, format.colorType, rows, palette) != 1) {
    Mismatch("the writer refused a valid picture; file size", file.size());
  }

  genshoku::png::VxPngMemoryStream stream(file.data(), file.size());
  genshoku::png::VxRawPngDecoder decoder(quiet);
  if (!decoder.DecodeStream(stream) || !decoder.HasPicture()) Mismatch("decoding", 0);
  if (decoder.outWidth != uint32_t(width) || decoder.outHeight != uint32_t(height)) {
    Mismatch("the size", 0);
  }
  if (decoder.colorType != format.colorType) Mismatch("the colour type", 0);
  if (decoder.pixels.size() != size_t(width) * height * 4) Mismatch("the pixel count", 0);
  for (size_t i = 0; i < size_t(width) * height; ++i) {
    uint8_t expected[4];
    ExpectedPixel(format, rows.data() + i * format.channels, palette.data(), expected);
    for (int c = 0; c < 4; ++c) {
      if (decoder.pixels[4 * i + c] != expected[c]) Mismatch("a pixel", i);
    }
  }
  return 0;
}
