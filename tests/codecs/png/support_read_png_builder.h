#pragma once
// Test-side PNG making for the reader's tests, independent of the product: lines are
// filtered here, compressed by zlib, and wrapped in chunks; pixels are expanded to RGBA
// here too, so the decoder's output can be compared with what the file should hold.

#include <cstdint>
#include <string>
#include <vector>

namespace genshoku::png::readtest {

using Bytes = std::vector<uint8_t>;

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
  // The sample (or packed index) of pixel (x, y), all channels together for 8-bit ones.
  uint32_t PackedSample(uint32_t x, uint32_t y) const;
};

// Random samples; palette pictures get a palette of `paletteEntries` colours (indices may
// exceed it when it is shorter than the bit depth allows).
SourceImage RandomImage(uint32_t width, uint32_t height, int colorType, int bitDepth,
                        uint32_t seed, int paletteEntries = -1);

// The RGBA picture the file should decode to: black and opaque where nothing is drawn.
Bytes ExpectedRgba(const SourceImage& image);

// How each line is filtered: a fixed type 0-4, or -1 to cycle through all five.
struct EncodeOptions {
  bool interlaced = false;
  int filter = -1;
  int zlibLevel = 6;
  int zlibStrategy = 0;   // Z_DEFAULT_STRATEGY
  size_t idatPiece = 0;   // split the compressed data into IDAT chunks of this size; 0: one
};

// The filtered data stream (filter byte + line, per line and per pass).
Bytes FilteredData(const SourceImage& image, const EncodeOptions& options);

Bytes ZlibCompress(const Bytes& data, int level, int strategy);

// Chunk framing with a correct CRC.
Bytes Chunk(const std::string& type, const Bytes& data);
Bytes HeaderChunk(uint32_t width, uint32_t height, int bitDepth, int colorType,
                  int interlaceMethod);
Bytes Signature();
void Append(Bytes& to, const Bytes& what);

// A complete file.
Bytes EncodePng(const SourceImage& image, const EncodeOptions& options);

// Deflate bits written by hand: numbers least significant bit first, Huffman codes most
// significant bit first, bytes filled from their least significant bit.
class BitWriter {
 public:
  void Bits(uint32_t value, int count);
  void Code(uint32_t code, int length);
  // The fixed code of a literal/length symbol.
  void FixedSymbol(int symbol);
  void AlignToByte();
  const Bytes& bytes() const { return bytes_; }

 private:
  Bytes bytes_;
  int used_ = 8;
};

}  // namespace genshoku::png::readtest
