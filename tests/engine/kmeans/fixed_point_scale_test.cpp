#include "engine/kmeans/sum_bounds.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace genshoku {
namespace {

// The fixed-point value of x as the plain conversion of the library gives it.
__int128 LibraryFixed(double x, int fractionBits) {
  return static_cast<__int128>(std::ldexp(x, fractionBits));
}

int FractionBitsOf(const FixedPointScale& scale) { return -std::ilogb(scale.unit()); }

// The conversion from the bits of the product must agree with the library's, including
// signs, values below one unit, subnormal numbers and the largest values the scale allows.
TEST(FixedPointScale, ToFixedTruncatesLikeTheLibraryConversion) {
  struct Case {
    double largest;
    int64_t count;
  };
  const Case cases[] = {{255.0, 12'000'000}, {1.0, 1}, {0.75, 100'000'000}, {1e-300, 5},
                        {1e300, 1'000'000},  {0.0, 3}, {DBL_TRUE_MIN, 1},   {4096.5, 7}};
  std::mt19937_64 random(20261207);
  for (const Case& c : cases) {
    const FixedPointScale scale(c.largest, c.count);
    ASSERT_TRUE(scale.usable());
    const int bits = FractionBitsOf(scale);
    std::vector<double> values = {0.0,
                                  -0.0,
                                  c.largest,
                                  -c.largest,
                                  scale.unit(),
                                  -scale.unit(),
                                  scale.unit() * 0.5,
                                  -scale.unit() * 0.999,
                                  DBL_TRUE_MIN,
                                  -DBL_TRUE_MIN,
                                  DBL_MIN,
                                  c.largest * 0.5};
    std::uniform_real_distribution<double> fraction(-1.0, 1.0);
    std::uniform_int_distribution<int> exponent(-60, 0);
    for (int k = 0; k < 20000; ++k) {
      values.push_back(c.largest * fraction(random) * std::ldexp(1.0, exponent(random)));
    }
    for (const double x : values) {
      // The scale holds values up to `largest`; the smallest normal number fits every scale.
      if (!(std::fabs(x) <= std::max(c.largest, DBL_MIN))) continue;
      ASSERT_TRUE(scale.ToFixed(x) == LibraryFixed(x, bits))
          << "x=" << x << " largest=" << c.largest << " bits=" << bits;
    }
  }
}

}  // namespace
}  // namespace genshoku
