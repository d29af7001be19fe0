#pragma once
// Where a sum of doubles added one after the other can lie, without adding them.
//
// The k-means refinement divides, for every palette entry, the sum of its pixels' working
// colours added in pixel order by their count. Adding every changed entry's pixels again
// in every pass is what would cost; instead each entry keeps the exact total of its values
// in fixed point (updated when colours come and go), and the rounding of the additions is
// bounded: each addition changes its partial sum by at most u (2^-53) of its magnitude, so
// n additions of values whose magnitudes add up to A end at most u * n * A / (1 - u * n)
// away from the exact total, whatever their order. The mean then lies between two doubles
// that are usually a few units in the last place apart; only where a decision depends on
// where in that interval it lies must the pixels be added again.

#include <bit>
#include <cstdint>

namespace genshoku {

// Fixed-point numbers with F fraction bits in 128-bit integers, F chosen so that the
// magnitudes of `count` values up to `largest` add up without overflow.
class FixedPointScale {
 public:
  FixedPointScale() = default;
  // Not usable when `largest` is not a finite number.
  FixedPointScale(double largest, int64_t count);

  bool usable() const { return usable_; }
  // x * 2^F truncated toward zero: |x * 2^F - ToFixed(x)| < 1. (x * 2^F is the product
  // with the power of two, rounded as ldexp rounds it; it stays below 2^125 in magnitude
  // for every x up to `largest`.)
  __int128 ToFixed(double x) const { return TruncatedToInt128(x * powerOfTwo_); }
  // q * 2^-F, rounded to the nearest double.
  double ToDouble(__int128 q) const;
  // 2^-F, the value of one fixed-point unit.
  double unit() const { return unit_; }

 private:
  // v truncated toward zero, from the bits of v: the processor has no instruction for it,
  // and the library's conversion costs a call. Needs |v| < 2^126.
  static __int128 TruncatedToInt128(double v) {
    const uint64_t bits = std::bit_cast<uint64_t>(v);
    const int exponent = static_cast<int>((bits >> 52) & 0x7FF);
    if (exponent < 1023) return 0;         // |v| < 1, zero and subnormal numbers included
    if (exponent >= 1023 + 126) return 0;  // outside the range asked for
    const uint64_t mantissa = (bits & ((uint64_t{1} << 52) - 1)) | (uint64_t{1} << 52);
    const int shift = exponent - 1075;  // |v| = mantissa * 2^shift
    const __int128 magnitude = shift >= 0 ? static_cast<__int128>(mantissa) << shift
                                          : static_cast<__int128>(mantissa >> -shift);
    return (bits >> 63) != 0 ? -magnitude : magnitude;
  }

  bool usable_ = false;
  int fractionBits_ = 0;
  double unit_ = 1.0;
  double powerOfTwo_ = 1.0;  // 2^F
};

// The exact total of some values in fixed point, and the total of their magnitudes.
struct FixedTotal {
  __int128 sum = 0;
  __int128 magnitude = 0;

  void Add(__int128 value, int64_t times) {
    sum += value * times;
    magnitude += (value < 0 ? -value : value) * times;
  }
  void Remove(__int128 value, int64_t times) {
    sum -= value * times;
    magnitude -= (value < 0 ? -value : value) * times;
  }
  // Adds the values of another total (which may hold removals as negative amounts).
  void AddTotal(const FixedTotal& other) {
    sum += other.sum;
    magnitude += other.magnitude;
  }
};

struct DoubleInterval {
  double low = 0.0;
  double high = 0.0;

  bool exact() const { return low == high; }
};

// Bounds of s / count, where s is the sum of the `count` values of `total` added one
// after the other in any order, starting from 0.0, and the division is the rounded double
// one. count must be at least 1.
DoubleInterval BoundsOfSequentialMean(const FixedTotal& total, int64_t count,
                                      const FixedPointScale& scale);

}  // namespace genshoku
