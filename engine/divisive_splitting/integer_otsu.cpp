// The one-dimensional Otsu cut of a histogram of integers, scored in single precision.
//
// The score of a cut t reads the count and the single-precision sum of the values below t
// (bins added upwards from the lowest) and of those at or above t (added upwards from bin
// t, afresh for every t). Done literally that is quadratic in the bins. Here:
// - A cut just above an empty bin scores exactly as the cut below it (adding an empty bin
//   adds +0.0), so it can never be the first best: only cuts just above a filled bin are
//   scored, and the sums run over the filled bins only.
// - The upper sum of a cut is exact, and so found from exact integer sums, where no
//   partial sum of its bins goes beyond 2^24 in size: every such sum is a float.
// - Elsewhere the rounding of the partial sums bounds how far the upper sum can lie from
//   the exact one, and the score, monotonic in the upper sum on either side of its turning
//   point, lies between the scores at the ends of that interval. Only the cuts whose
//   highest possible score reaches the best lowest one are summed as literally as before.
// The answer is the first cut of the highest score, as in the literal search.

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "engine/divisive_splitting/split_threshold.h"

namespace genshoku {

namespace {

// A filled bin: its place, its count and the single-precision product value x count.
struct FilledBin {
  int64_t place;
  int64_t count;
  float term;
};

float Score(float lowerSum, int64_t lowerCount, float upperSum, int64_t upperCount) {
  const float difference =
      lowerSum / static_cast<float>(lowerCount) - upperSum / static_cast<float>(upperCount);
  return static_cast<float>(upperCount) * static_cast<float>(lowerCount) *
         (difference * difference);
}

// The literal upper sum of the cut after filled bin i: the terms of bins i+1.. added
// upwards in single precision.
float UpperSumAsAdded(const std::vector<FilledBin>& filled, size_t i) {
  float sum = 0.0f;
  for (size_t b = i + 1; b < filled.size(); ++b) sum += filled[b].term;
  return sum;
}

// The float at or below (at or above) the double x.
float FloatBelow(double x) {
  float f = static_cast<float>(x);
  if (static_cast<double>(f) > x) f = std::nextafter(f, -std::numeric_limits<float>::infinity());
  return f;
}
float FloatAbove(double x) {
  float f = static_cast<float>(x);
  if (static_cast<double>(f) < x) f = std::nextafter(f, std::numeric_limits<float>::infinity());
  return f;
}

// What is known of one cut's score: its value, or bounds of it.
struct ScoreBounds {
  float low, high;
  bool exact;
};

// The literal search over the filled bins alone (the upper sums added afresh per cut).
int64_t FirstBestByAdding(const std::vector<FilledBin>& filled) {
  float bestScore = 0.0f;
  int64_t bestPlace = 0;
  int64_t lowerCount = 0;
  float lowerSum = 0.0f;
  int64_t upperCount = 0;
  for (const FilledBin& bin : filled) upperCount += bin.count;
  for (size_t i = 0; i + 1 < filled.size(); ++i) {
    lowerCount += filled[i].count;
    lowerSum += filled[i].term;
    upperCount -= filled[i].count;
    const float score = Score(lowerSum, lowerCount, UpperSumAsAdded(filled, i), upperCount);
    if (score > bestScore) {
      bestScore = score;
      bestPlace = filled[i].place + 1;
    }
  }
  return bestPlace;
}

}  // namespace

int OtsuThresholdInt(const IntegerHistogram& histogram) {
  if (histogram.count <= 0) return 0;
  const int32_t minimum = histogram.minimum;
  std::vector<FilledBin> filled;
  for (size_t b = 0; b < histogram.bins.size(); ++b) {
    const int64_t count = histogram.bins[b];
    if (count == 0) continue;
    const int64_t place = static_cast<int64_t>(b);
    filled.push_back({place, count, static_cast<float>((minimum + place) * count)});
  }
  const size_t n = filled.size();
  if (n < 2) return minimum;

  // Exact sums of the terms (each an integer-valued float): prefix[k] of terms 0..k-1, and
  // the largest and smallest prefix from k on. Terms too large for exact 64-bit sums leave
  // the literal search.
  constexpr double kExactLimit = 0x1p62;
  std::vector<int64_t> prefix(n + 1, 0);
  for (size_t k = 0; k < n; ++k) {
    const double term = static_cast<double>(filled[k].term);
    const double next = static_cast<double>(prefix[k]) + term;
    if (!(std::fabs(term) < kExactLimit && std::fabs(next) < kExactLimit)) {
      return static_cast<int>(minimum + FirstBestByAdding(filled));
    }
    prefix[k + 1] = prefix[k] + static_cast<int64_t>(term);
  }
  std::vector<int64_t> highestFrom(n + 1), lowestFrom(n + 1);
  highestFrom[n] = lowestFrom[n] = prefix[n];
  for (size_t k = n; k-- > 0;) {
    highestFrom[k] = std::max(highestFrom[k + 1], prefix[k]);
    lowestFrom[k] = std::min(lowestFrom[k + 1], prefix[k]);
  }

  // Bounds of every cut's score; the cut after filled bin i has bins i+1..n-1 above it.
  constexpr double kUnit = 0x1p-24;  // relative rounding of one float addition
  std::vector<ScoreBounds> bounds(n - 1);
  std::vector<float> lowerSums(n - 1);
  std::vector<int64_t> lowerCounts(n - 1);
  int64_t total = 0;
  for (const FilledBin& bin : filled) total += bin.count;
  int64_t lowerCount = 0;
  float lowerSum = 0.0f;
  float bestLow = 0.0f;
  for (size_t i = 0; i + 1 < n; ++i) {
    lowerCount += filled[i].count;
    lowerSum += filled[i].term;
    lowerSums[i] = lowerSum;
    lowerCounts[i] = lowerCount;
    const int64_t upperCount = total - lowerCount;
    const int64_t start = prefix[i + 1];
    const int64_t exactSum = prefix[n] - start;
    // The largest size of a partial sum of the bins above the cut.
    const int64_t reach = std::max(highestFrom[i + 2] - start, start - lowestFrom[i + 2]);
    ScoreBounds& b = bounds[i];
    if (reach <= (int64_t{1} << 24)) {
      b.low = b.high = Score(lowerSum, lowerCount, static_cast<float>(exactSum), upperCount);
      b.exact = true;
    } else {
      // Each of the n - i - 2 roundings errs by at most kUnit times the size of the sum
      // it rounds, which is at most reach plus the error so far.
      const double steps = static_cast<double>(n - i - 2);
      const double growth = steps * kUnit;
      b.exact = false;
      if (growth >= 0.5) {
        b.low = 0.0f;
        b.high = std::numeric_limits<float>::infinity();
      } else {
        const double centre = static_cast<double>(exactSum);
        // Widened by far more than the rounding of this arithmetic in doubles.
        const double error = (growth * static_cast<double>(reach) / (1.0 - growth)) * 1.001 +
                             std::fabs(centre) * 0x1p-40 + 1.0;
        const float low = FloatBelow(centre - error), high = FloatAbove(centre + error);
        const float atLow = Score(lowerSum, lowerCount, low, upperCount);
        const float atHigh = Score(lowerSum, lowerCount, high, upperCount);
        // The difference of the means falls as the upper sum grows: where it changes sign
        // inside the interval, the score may reach 0.
        const float meanBelow = lowerSum / static_cast<float>(lowerCount);
        const float differenceAtLow = meanBelow - low / static_cast<float>(upperCount);
        const float differenceAtHigh = meanBelow - high / static_cast<float>(upperCount);
        const bool crosses = !(differenceAtLow < 0.0f) && !(differenceAtHigh > 0.0f);
        b.low = crosses ? 0.0f : std::min(atLow, atHigh);
        b.high = std::max(atLow, atHigh);
      }
    }
    bestLow = std::max(bestLow, b.low);
  }

  // The first best cut among those that can reach the best lowest score; the others score
  // below some cut's and cannot be it.
  float bestScore = 0.0f;
  int64_t bestPlace = 0;
  for (size_t i = 0; i + 1 < n; ++i) {
    const ScoreBounds& b = bounds[i];
    if (!(b.high >= bestLow) || !(b.high > bestScore)) continue;
    const float score = b.exact ? b.low
                                : Score(lowerSums[i], lowerCounts[i], UpperSumAsAdded(filled, i),
                                        total - lowerCounts[i]);
    if (score > bestScore) {
      bestScore = score;
      bestPlace = filled[i].place + 1;
    }
  }
  return static_cast<int>(minimum + bestPlace);
}

}  // namespace genshoku
