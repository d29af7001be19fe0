#include "engine/kmeans/sum_bounds.h"

#include <bit>
#include <cmath>

namespace genshoku {

namespace {

// Relative slack added to every bound computed in doubles: far above the rounding of the
// few operations that compute it.
constexpr double kSlack = 1.0 + 0x1p-40;

}  // namespace

FixedPointScale::FixedPointScale(double largest, int64_t count) {
  if (!std::isfinite(largest) || count < 0) return;
  // largest < 2^largestBits and count < 2^countBits, so the magnitudes stay below 2^125
  // and every difference of two totals fits as well.
  const int largestBits = largest > 0.0 ? std::ilogb(largest) + 1 : 0;
  const int countBits = std::bit_width(static_cast<uint64_t>(count));
  int bits = 125 - largestBits - countBits;
  if (bits > 1000) bits = 1000;
  fractionBits_ = bits;
  unit_ = std::ldexp(1.0, -bits);
  // -963 <= F <= 1000: 2^F is a double, and multiplying by it rounds as ldexp does.
  powerOfTwo_ = std::ldexp(1.0, bits);
  usable_ = true;
}

double FixedPointScale::ToDouble(__int128 q) const {
  return std::ldexp(static_cast<double>(q), -fractionBits_);
}

DoubleInterval BoundsOfSequentialMean(const FixedTotal& total, int64_t count,
                                      const FixedPointScale& scale) {
  const double n = static_cast<double>(count);
  const double unit = scale.unit();
  // The exact total lies within n units of the fixed-point one (each value was truncated
  // by less than a unit); the conversion to double rounds by less than 2^-52 of it.
  const double sum = scale.ToDouble(total.sum);
  const double magnitudes = (scale.ToDouble(total.magnitude) + n * unit) * kSlack;
  // Each of the n additions rounds by at most u times its partial sum, and no partial sum
  // exceeds the magnitudes plus the roundings so far.
  const double un = 0x1p-53 * n;
  if (!(un < 0.25)) return {-HUGE_VAL, HUGE_VAL};
  const double rounding = un * magnitudes / (1.0 - un) * kSlack;
  const double pad = (n * unit + rounding + std::fabs(sum) * 0x1p-50) * kSlack;
  // Division by n rounds monotonically, so the bounds of the sum give those of the mean.
  return {(sum - pad) / n, (sum + pad) / n};
}

}  // namespace genshoku
