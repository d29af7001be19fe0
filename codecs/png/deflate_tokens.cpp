#include "codecs/png/deflate_tokens.h"

namespace genshoku::png {

uint64_t ExtraBitsOf(const DeflateHistogram& histogram) {
  uint64_t bits = 0;
  for (int code = 0; code < 29; ++code) {
    bits += uint64_t{histogram.literalLength[kFirstLengthCode + code]} *
            static_cast<uint64_t>(LengthExtraBits(kFirstLengthCode + code));
  }
  for (int code = 0; code < kDistanceSymbols; ++code) {
    bits += uint64_t{histogram.distance[code]} * static_cast<uint64_t>(DistanceExtraBits(code));
  }
  return bits;
}

}  // namespace genshoku::png
