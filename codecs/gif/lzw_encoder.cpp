#include "codecs/gif/lzw_encoder.h"

#include <algorithm>

namespace genshoku::gif {

namespace {
constexpr uint32_t kMaxCodes = 4096;
}

LzwEncoder::LzwEncoder(int colorBits)
    : colorBits_(colorBits),
      clear_(static_cast<uint16_t>(1u << colorBits)),
      stop_(static_cast<uint16_t>(clear_ + 1)),
      children_(kMaxCodes << colorBits, kNoChild) {}

void LzwEncoder::StartDictionary() {
  // The single-colour nodes are the root's children, one per colour, coded by the colour.
  std::fill(children_.begin(), children_.begin() + (static_cast<size_t>(clear_) << colorBits_),
            kNoChild);
  nextCode_ = stop_ + 1;
  codeBits_ = colorBits_ + 1;
}

void LzwEncoder::Encode(const uint8_t* frame, uint32_t frameWidth, const ImageRectangle& area,
                        SubBlockWriter& out) {
  const uint8_t colorMask = static_cast<uint8_t>(clear_ - 1);
  StartDictionary();
  out.EmitCode(clear_, codeBits_);

  bool started = false;
  uint16_t current = 0;
  for (uint32_t y = area.top; y < uint32_t(area.top) + area.height; ++y) {
    const uint8_t* row = frame + static_cast<size_t>(y) * frameWidth;
    for (uint32_t x = area.left; x < uint32_t(area.left) + area.width; ++x) {
      const uint8_t color = row[x] & colorMask;
      if (!started) {
        current = color;
        started = true;
        continue;
      }
      const uint16_t child = Child(current, color);
      if (child != kNoChild) {
        current = child;
        continue;
      }
      out.EmitCode(current, codeBits_);
      if (nextCode_ < kMaxCodes) {
        if (nextCode_ == (1u << codeBits_)) ++codeBits_;
        std::fill_n(children_.begin() + (static_cast<size_t>(nextCode_) << colorBits_),
                    size_t(1) << colorBits_, kNoChild);
        Child(current, color) = nextCode_++;
      } else {
        out.EmitCode(clear_, codeBits_);
        StartDictionary();
      }
      current = color;
    }
  }
  if (started) out.EmitCode(current, codeBits_);
  out.EmitCode(stop_, codeBits_);
  out.Close();
}

}  // namespace genshoku::gif
