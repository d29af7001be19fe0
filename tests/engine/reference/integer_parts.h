#pragma once
// Integer parts of doubles, as the clustering phases take them.

#include <cmath>
#include <cstdint>
#include <limits>

namespace genshoku::reference {

// Truncation toward zero to a signed 32-bit integer. A value outside the int32 range or
// NaN gives INT32_MIN, as the processor's own conversion does, instead of undefined
// behaviour; the clustering phases never meet such values with finite working colours.
inline int32_t TruncateToInt32(double value) {
  if (!(value > -2147483649.0 && value < 2147483648.0)) {
    return std::numeric_limits<int32_t>::min();
  }
  return static_cast<int32_t>(value);
}

// A coordinate's integer position: (value + 0.5) truncated toward zero. For negative values
// this is not rounding to nearest: -1.2 gives 0 and -1.7 gives -1.
inline int32_t RoundHalfUpTruncated(double value) { return TruncateToInt32(value + 0.5); }

}  // namespace genshoku::reference
