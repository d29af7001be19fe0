#include "codecs/png/png_standard_pixels.h"

#include <algorithm>

#include "codecs/png/png_decoder.h"

namespace genshoku::png {

namespace {

constexpr uint8_t kOpaque = 255;
constexpr uint8_t kTransparent = 0;

uint32_t Sample16(const uint8_t* bytes) { return uint32_t{bytes[0]} << 8 | bytes[1]; }

void PutGrey(uint8_t grey, uint8_t alpha, uint8_t* pixel) {
  pixel[0] = pixel[1] = pixel[2] = grey;
  pixel[3] = alpha;
}

}  // namespace

StandardPixelConverter::StandardPixelConverter(const PngPixelFormat& format,
                                               const std::vector<uint8_t>& palette,
                                               const std::vector<uint8_t>& paletteAlpha,
                                               const int32_t key[3])
    : format_(format), palette_(&palette), paletteAlpha_(&paletteAlpha) {
  const int keySamples = format.colorType == kGrey ? 1 : format.colorType == kTruecolour ? 3 : 0;
  if (keySamples == 0) return;
  const uint32_t sampleMask = format.bitDepth >= 16 ? 0xFFFFu : (1u << format.bitDepth) - 1;
  hasKey_ = true;
  for (int i = 0; i < keySamples; ++i) {
    if (key[i] == kNoTransparentValue) hasKey_ = false;
    key_[i] = static_cast<uint32_t>(key[i]) & sampleMask;
  }
}

void StandardPixelConverter::FromSample(uint32_t sample, uint8_t* pixel) const {
  if (format_.colorType == kPalette) {
    if (sample >= palette_->size() / 3) return;
    std::copy_n(palette_->data() + 3 * sample, 3, pixel);
    pixel[3] = sample < paletteAlpha_->size() ? (*paletteAlpha_)[sample] : kOpaque;
    return;
  }
  const uint32_t largest = (1u << format_.bitDepth) - 1;
  const bool keyed = hasKey_ && sample == key_[0];
  PutGrey(static_cast<uint8_t>(sample * 255 / largest), keyed ? kTransparent : kOpaque, pixel);
}

void StandardPixelConverter::FromBytes(const uint8_t* bytes, uint8_t* pixel) const {
  const bool wide = format_.bitDepth == 16;
  switch (format_.colorType) {
    case kGrey:
      if (!wide) {
        FromSample(bytes[0], pixel);
      } else {
        const uint32_t grey = Sample16(bytes);
        PutGrey(RoundSixteenBits(grey), hasKey_ && grey == key_[0] ? kTransparent : kOpaque, pixel);
      }
      break;
    case kPalette: FromSample(bytes[0], pixel); break;
    case kTruecolour: {
      uint32_t samples[3];
      for (int i = 0; i < 3; ++i) {
        samples[i] = wide ? Sample16(bytes + 2 * i) : bytes[i];
        pixel[i] = wide ? RoundSixteenBits(samples[i]) : bytes[i];
      }
      const bool keyed =
          hasKey_ && samples[0] == key_[0] && samples[1] == key_[1] && samples[2] == key_[2];
      pixel[3] = keyed ? kTransparent : kOpaque;
      break;
    }
    case kGreyAlpha:
      if (wide) {
        PutGrey(RoundSixteenBits(Sample16(bytes)), RoundSixteenBits(Sample16(bytes + 2)), pixel);
      } else {
        PutGrey(bytes[0], bytes[1], pixel);
      }
      break;
    case kTruecolourAlpha:
      if (wide) {
        for (int i = 0; i < 4; ++i) pixel[i] = RoundSixteenBits(Sample16(bytes + 2 * i));
      } else {
        std::copy_n(bytes, 4, pixel);
      }
      break;
    default: break;
  }
}

}  // namespace genshoku::png
