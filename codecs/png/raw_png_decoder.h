#pragma once
// Makes a picture of 4 bytes per pixel (red, green, blue, alpha), top row first, out of a
// PNG file. Its rule is that of one decompressed byte at a time: each line's filter byte,
// then the bytes of one pixel, unfiltered against the line above as soon as the pixel is
// complete, converted and placed (for interlaced files at the spot its Adam7 pass gives).
// ConsumeByte follows it literally; ConsumeBytes takes the whole pixels of a run in one
// go with the same result, and falls back on ConsumeByte for everything else.
//
// The picture starts black and opaque, so whatever the data do not reach (a file cut
// short, palette indices beyond the palette) has a defined value. Files without alpha get
// alpha 255 everywhere.
//
// `pixelRules` chooses the formats and conversions: the window's (the default) or the PNG
// standard's (every format, transparency as alpha; see PngPixelRules).

#include <cstdint>
#include <vector>

#include "codecs/png/png_decoder.h"
#include "codecs/png/png_pixel_formats.h"
#include "codecs/png/png_standard_pixels.h"

namespace genshoku::png {

// Pictures with more pixels than this are refused before any memory is set aside.
inline constexpr uint64_t kMaxPngPixels = 100'000'000;

class VxRawPngDecoder : public VxGenericPngDecoder {
 public:
  explicit VxRawPngDecoder(Diagnostics& diagnostics = StandardDiagnostics(),
                           uint64_t pixelLimit = kMaxPngPixels);

  // False for unsupported formats, empty pictures and pictures over the pixel limit;
  // the picture is then left empty.
  bool BeginImage() override;
  // False once the picture is complete, and for every data byte of an unknown interlace
  // method. Final: ConsumeBytes takes whole stretches of a line without calling it.
  bool ConsumeByte(uint8_t byte) final;
  // Answers exactly as ConsumeByte byte by byte, but unfilters and converts the whole
  // pixels of a run in one go.
  size_t ConsumeBytes(const uint8_t* bytes, size_t count) final;
  bool EndImage() override;

  // Whether the last decoding produced a picture (it may be partly filled when the data
  // were damaged or cut short).
  bool HasPicture() const { return !pixels.empty(); }

  uint32_t outWidth = 0;
  uint32_t outHeight = 0;
  std::vector<uint8_t> pixels;  // outWidth * outHeight * 4 bytes

  PngPixelRules pixelRules = PngPixelRules::Window;

 protected:
  void ForgetImage() override;
  // Nothing for formats this decoder cannot make and pictures over the pixel limit.
  uint64_t ImageDataLimit() const override;
  bool ImageComplete() const override { return HasPicture() && PictureComplete(); }
  std::string ImageFlaw() const override;

 private:
  // The conversions ConsumeWholePixels makes a run at a time; the rest go pixel by pixel.
  enum class RunConversion { None, Rgb8, Rgb16HighBytes, Rgb16Rounded, Rgba8 };

  bool IsInterlaced() const { return interlaceMethod == 1; }
  bool StandardRules() const { return pixelRules == PngPixelRules::Standard; }
  RunConversion ChooseRunConversion() const;
  void ConvertRun(const uint8_t* source, uint32_t pixelCount);
  bool PictureComplete() const;
  // Moves to the next pass that has pixels; past pass 7 the picture is complete.
  void EnterPass(int firstCandidate);
  void ConsumePackedByte(uint8_t byte);
  void ConsumePixelByte(uint8_t byte);
  // Takes the bytes of `pixelCount` whole pixels of the current line, starting at a pixel
  // boundary.
  void ConsumeWholePixels(const uint8_t* bytes, uint32_t pixelCount);
  void FinishLine();
  // Byte offset in `pixels` of pixel `x` of the current line.
  size_t PixelOffset(uint32_t x);
  void PutIndexedPixel(size_t offset, uint32_t index);
  void PutPixel(size_t offset, const uint8_t* bytes);

  uint64_t pixelLimit;
  PngPixelFormat format;
  StandardPixelConverter standardPixels;
  RunConversion runConversion = RunConversion::None;
  uint32_t linePixels = 0;  // pixels per line of the image or of the current pass
  uint32_t lineCount = 0;   // lines of the image or of the current pass

  int lineFilter = 0;
  int unknownFilter = -1;  // the first line filter that does not exist, -1 while none
  int64_t pixelX = -1;     // -1 while the next byte is a line's filter byte
  uint32_t lineY = 0;
  size_t byteX = 0;
  int pixelBytes = 0;
  size_t outOffset = 0;
  int pass = 1;
  std::vector<uint8_t> currentLine;
  std::vector<uint8_t> previousLine;
};

}  // namespace genshoku::png
