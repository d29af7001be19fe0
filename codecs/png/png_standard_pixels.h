#pragma once
// One pixel's samples made into 8-bit red, green, blue and alpha by the PNG standard's
// rules, as libpng gives them when it expands to RGBA and scales 16-bit samples:
// grey samples of 1, 2 and 4 bits stretched to 0..255, 16-bit samples rounded to the nearest
// 8-bit value ((v * 255 + 32767) / 65535, not just their high byte), palette entries with
// the alpha of the transparency chunk, and a grey or colour key made fully transparent.

#include <cstdint>
#include <vector>

#include "codecs/png/png_pixel_formats.h"

namespace genshoku::png {

class StandardPixelConverter {
 public:
  StandardPixelConverter() = default;
  // `key` is the decoder's transparentValue (kNoTransparentValue where the file gave
  // none); a key has only as many bits as the samples, so higher ones are ignored.
  StandardPixelConverter(const PngPixelFormat& format, const std::vector<uint8_t>& palette,
                         const std::vector<uint8_t>& paletteAlpha, const int32_t key[3]);

  // A grey sample of 1 to 8 bits, or a palette index. An index past the palette leaves
  // the pixel as it was.
  void FromSample(uint32_t sample, uint8_t* pixel) const;
  // The bytes of one pixel of any format whose pixels take whole bytes.
  void FromBytes(const uint8_t* bytes, uint8_t* pixel) const;

  // Whether a key makes some pixels transparent.
  bool HasKey() const { return hasKey_; }

 private:
  PngPixelFormat format_;
  const std::vector<uint8_t>* palette_ = nullptr;
  const std::vector<uint8_t>* paletteAlpha_ = nullptr;
  bool hasKey_ = false;
  uint32_t key_[3] = {};
};

// The nearest 8-bit value of a 16-bit sample.
inline uint8_t RoundSixteenBits(uint32_t sample) {
  return static_cast<uint8_t>((sample * 255 + 32767) / 65535);
}

}  // namespace genshoku::png
