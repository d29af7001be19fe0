#include "codecs/png/canonical_codes.h"

namespace genshoku::png {

void AssignCanonicalCodes(const int32_t* lengths, int32_t* codes, int count) {
  int32_t lengthCount[kMaxCodeLength + 1] = {};
  for (int symbol = 0; symbol < count; ++symbol) {
    const int32_t length = lengths[symbol];
    if (length > 0 && length <= kMaxCodeLength) ++lengthCount[length];
  }
  lengthCount[0] = 0;
  int32_t nextCode[kMaxCodeLength + 2] = {};
  int32_t code = 0;
  for (int length = 1; length <= kMaxCodeLength; ++length) {
    code = (code + lengthCount[length - 1]) << 1;
    nextCode[length] = code;
  }
  for (int symbol = 0; symbol < count; ++symbol) {
    const int32_t length = lengths[symbol];
    if (length > 0 && length <= kMaxCodeLength) {
      codes[symbol] = nextCode[length]++;
    } else {
      codes[symbol] = 0;
    }
  }
}

uint32_t ReverseBits(uint32_t code, int length) {
  uint32_t reversed = 0;
  for (int bit = 0; bit < length; ++bit) {
    reversed = (reversed << 1) | (code & 1u);
    code >>= 1;
  }
  return reversed;
}

}  // namespace genshoku::png
