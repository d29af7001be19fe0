#pragma once
// The reader's picture maker as it was first written: strictly one byte at a time, each
// pixel unfiltered as soon as its bytes are complete. The tests keep it as the reference
// for the faster whole-line path of VxRawPngDecoder.

#include <cstdint>
#include <vector>

#include "codecs/png/png_decoder.h"
#include "codecs/png/png_pixel_formats.h"
#include "codecs/png/raw_png_decoder.h"

namespace genshoku::png::literal {

class LiteralRawPngDecoder : public VxGenericPngDecoder {
 public:
  explicit LiteralRawPngDecoder(Diagnostics& diagnostics = StandardDiagnostics(),
                                uint64_t pixelLimit = kMaxPngPixels);

  // False for unsupported formats, empty pictures and pictures over the pixel limit;
  // the picture is then left empty.
  bool BeginImage() override;
  // False once the picture is complete, and for every data byte of an unknown interlace
  // method.
  bool ConsumeByte(uint8_t byte) override;
  bool EndImage() override;

  // Whether the last decoding produced a picture (it may be partly filled when the data
  // were damaged or cut short).
  bool HasPicture() const { return !pixels.empty(); }

  uint32_t outWidth = 0;
  uint32_t outHeight = 0;
  std::vector<uint8_t> pixels;  // outWidth * outHeight * 4 bytes

 protected:
  void ForgetImage() override;

 private:
  bool IsInterlaced() const { return interlaceMethod == 1; }
  bool PictureComplete() const;
  // Moves to the next pass that has pixels; past pass 7 the picture is complete.
  void EnterPass(int firstCandidate);
  void ConsumePackedByte(uint8_t byte);
  void ConsumePixelByte(uint8_t byte);
  void FinishLine();
  // Byte offset in `pixels` of pixel `x` of the current line.
  size_t PixelOffset(uint32_t x);
  void PutIndexedPixel(size_t offset, uint32_t index);
  void PutPixel(size_t offset, const uint8_t* bytes);

  uint64_t pixelLimit;
  PngPixelFormat format;
  uint32_t linePixels = 0;  // pixels per line of the image or of the current pass
  uint32_t lineCount = 0;   // lines of the image or of the current pass

  int lineFilter = 0;
  int64_t pixelX = -1;  // -1 while the next byte is a line's filter byte
  uint32_t lineY = 0;
  size_t byteX = 0;
  int pixelBytes = 0;
  size_t outOffset = 0;
  int pass = 1;
  std::vector<uint8_t> currentLine;
  std::vector<uint8_t> previousLine;
};

}  // namespace genshoku::png::literal
