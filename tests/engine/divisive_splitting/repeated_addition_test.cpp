// Adding one value many times in closed form must end on the double that the additions one
// by one end on: across powers of two, at halfway cases, from zero, towards zero and
// through it, with tiny and huge values.

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <random>

#include "engine/divisive_splitting/split_threshold.h"

namespace genshoku {
namespace {

double OneByOne(double sum, double x, int64_t times) {
  for (int64_t i = 0; i < times; ++i) sum += x;
  return sum;
}

void ExpectSameAsOneByOne(double sum, double x, int64_t times) {
  const double expected = OneByOne(sum, x, times);
  const double actual = AddedRepeatedly(sum, x, times);
  // Compared bit for bit (also telling +0.0 from -0.0 and NaN from NaN).
  ASSERT_EQ(std::bit_cast<uint64_t>(expected), std::bit_cast<uint64_t>(actual))
      << std::hexfloat << "sum " << sum << " x " << x << " times " << times << ": " << expected
      << " vs " << actual;
}

TEST(AddedRepeatedly, EndsWhereTheAdditionsOneByOneEnd) {
  std::mt19937_64 generator(7);
  std::uniform_real_distribution<double> mantissa(1.0, 2.0);
  std::uniform_int_distribution<int> exponent(-30, 30);
  std::uniform_int_distribution<int64_t> count(0, 5000);
  for (int trial = 0; trial < 20000; ++trial) {
    double sum = std::ldexp(mantissa(generator), exponent(generator)) * (generator() % 3 ? 1 : -1);
    double x = std::ldexp(mantissa(generator), exponent(generator)) * (generator() % 2 ? 1 : -1);
    switch (trial % 5) {
      case 0: sum = 0.0; break;
      case 1:  // x an exact half of the sum's last place, or a multiple of it and a half
        x = std::ldexp(1.0, std::ilogb(sum) - 53) * double(1 + 2 * (generator() % 4));
        break;
      case 2: x = -sum / double(1 + generator() % 300); break;  // through zero
      default: break;
    }
    ExpectSameAsOneByOne(sum, x, count(generator));
  }
}

TEST(AddedRepeatedly, EdgeValues) {
  const double values[] = {0.0,
                           -0.0,
                           1.0,
                           -1.0,
                           0x1p-1074,
                           0x1p-1022,
                           0x1p-901,
                           0x1p899,
                           0x1p1000,
                           1e308,
                           -1e308,
                           HUGE_VAL,
                           -HUGE_VAL,
                           NAN,
                           0.1,
                           3.0,
                           0x1.fffffffffffffp0,
                           0x1p53,
                           0x1p52 + 1.0};
  for (const double sum : values) {
    for (const double x : values) {
      for (const int64_t times : {0, 1, 17, 100, 4097}) ExpectSameAsOneByOne(sum, x, times);
    }
  }
}

}  // namespace
}  // namespace genshoku
