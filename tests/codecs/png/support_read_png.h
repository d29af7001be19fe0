#pragma once
// PNG files made for the reader's tests without the product: lines are filtered here and
// compressed by zlib, and the RGBA picture a file should decode to is worked out here too.

#include <cstdint>
#include <string>
#include <vector>

#include "codecs/png/png_streams.h"
#include "codecs/png/raw_png_decoder.h"
#include "common/diagnostics.h"
#include "support_png.h"

namespace genshoku::png::pngtest {

// A picture as PNG stores it before filtering: `height` rows of packed samples.
struct SourceImage {
  uint32_t width = 0;
  uint32_t height = 0;
  int colorType = 0;
  int bitDepth = 0;
  Bytes rows;     // RowBytes() * height bytes
  Bytes palette;  // red, green, blue per entry (colour type 3)

  int BitsPerPixel() const;
  size_t RowBytes() const { return (size_t{width} * BitsPerPixel() + 7) / 8; }
  // The sample (or packed index) of pixel (x, y); the first byte for pixels of whole bytes.
  uint32_t PackedSample(uint32_t x, uint32_t y) const;
};

// Ramps with noise; palette pictures get `paletteEntries` colours (all their bit depth
// allows when negative), so that indices may point past a short palette.
SourceImage RandomImage(uint32_t width, uint32_t height, int colorType, int bitDepth, uint32_t seed,
                        int paletteEntries = -1);

// The RGBA picture the file should decode to: black and opaque where nothing is drawn.
Bytes ExpectedRgba(const SourceImage& image);

struct EncodeOptions {
  bool interlaced = false;
  int filter = -1;  // 0 to 4 for every line, -1 to cycle through the five
  int zlibLevel = 6;
  int zlibStrategy = 0;  // Z_DEFAULT_STRATEGY
  size_t idatPiece = 0;  // IDAT chunks of this many bytes; 0 for one chunk
};

// The filtered data: a filter byte and the line, per line and per pass.
Bytes FilteredData(const SourceImage& image, const EncodeOptions& options);

Bytes EncodePng(const SourceImage& image, const EncodeOptions& options);

// A file of the given header and already filtered data in one IDAT chunk.
Bytes FileWithData(uint32_t width, uint32_t height, int bitDepth, int colorType,
                   const Bytes& filtered, int interlace = 0, const Bytes& palette = {},
                   int level = 6);

// Deflate bits written by hand: numbers least significant bit first, Huffman codes most
// significant bit first.
class BitWriter {
 public:
  void Bits(uint32_t value, int count);
  void Code(uint32_t code, int length);
  void FixedSymbol(int symbol);  // the fixed literal/length code of `symbol`
  void AlignToByte() { used_ = 8; }
  // A zlib stream: the header bytes and then these bits.
  Bytes Stream(uint8_t cmf = 0x78) const;

 private:
  Bytes bytes_;
  int used_ = 8;
};

// What a reader (the product's, or its first form) makes of a file in memory.
struct DecodeOutcome {
  bool result = false;
  bool hasPicture = false;
  uint32_t width = 0;
  uint32_t height = 0;
  Bytes pixels;
  std::string out;  // standard output
  std::string err;
  bool operator==(const DecodeOutcome&) const = default;
};

template <typename Decoder = VxRawPngDecoder>
DecodeOutcome DecodePngBytes(const Bytes& file, uint64_t pixelLimit = kMaxPngPixels) {
  CapturedDiagnostics diagnostics;
  Decoder decoder(diagnostics, pixelLimit);
  VxPngMemoryStream stream(file.data(), file.size());
  DecodeOutcome outcome;
  outcome.result = decoder.DecodeStream(stream);
  outcome.hasPicture = decoder.HasPicture();
  outcome.width = decoder.outWidth;
  outcome.height = decoder.outHeight;
  outcome.pixels = decoder.pixels;
  outcome.out = diagnostics.Text(DiagnosticStream::Out);
  outcome.err = diagnostics.Text(DiagnosticStream::Err);
  return outcome;
}

// Files of every format the reader draws, all filters, interlaced or not, in one or in
// several image data chunks, stored or compressed.
std::vector<Bytes> FilesOfEveryFormat();

}  // namespace genshoku::png::pngtest
