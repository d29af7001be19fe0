#include "engine/divisive_splitting/split_threshold.h"

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "engine/engine_types.h"
#include "engine/integer_parts.h"
#include "engine/parallel.h"

namespace genshoku {

namespace {

// Runs up to this long are added one by one: the six sums advance side by side, which
// costs less than working out the shortcut of AddedRepeatedly for each.
constexpr int64_t kOneByOneRun = 48;

}  // namespace

void AddRepeated(ThresholdStats& stats, const ThresholdRun& record) {
  const double v2 = record.v * record.v;
  const double p12 = record.p1 * record.p1;
  const double p22 = record.p2 * record.p2;
  if (record.repeat <= kOneByOneRun) {
    // Short runs one by one, the six sums side by side.
#if defined(__SSE2__)
    // Two sums per vector; each lane is still its own sum.
    __m128d a = _mm_loadu_pd(&stats.sumV);    // sumV, sumP1
    __m128d b = _mm_loadu_pd(&stats.sumP2);   // sumP2, sumV2
    __m128d c = _mm_loadu_pd(&stats.sumP12);  // sumP12, sumP22
    const __m128d addA = _mm_set_pd(record.p1, record.v);
    const __m128d addB = _mm_set_pd(v2, record.p2);
    const __m128d addC = _mm_set_pd(p22, p12);
    for (int64_t r = 0; r < record.repeat; ++r) {
      a = _mm_add_pd(a, addA);
      b = _mm_add_pd(b, addB);
      c = _mm_add_pd(c, addC);
    }
    _mm_storeu_pd(&stats.sumV, a);
    _mm_storeu_pd(&stats.sumP2, b);
    _mm_storeu_pd(&stats.sumP12, c);
#else
    for (int64_t r = 0; r < record.repeat; ++r) {
      stats.sumV += record.v;
      stats.sumP1 += record.p1;
      stats.sumP2 += record.p2;
      stats.sumV2 += v2;
      stats.sumP12 += p12;
      stats.sumP22 += p22;
    }
#endif
    stats.count += record.repeat;
    return;
  }
  stats.sumV = AddedRepeatedly(stats.sumV, record.v, record.repeat);
  stats.sumP1 = AddedRepeatedly(stats.sumP1, record.p1, record.repeat);
  stats.sumP2 = AddedRepeatedly(stats.sumP2, record.p2, record.repeat);
  stats.sumV2 = AddedRepeatedly(stats.sumV2, v2, record.repeat);
  stats.sumP12 = AddedRepeatedly(stats.sumP12, p12, record.repeat);
  stats.sumP22 = AddedRepeatedly(stats.sumP22, p22, record.repeat);
  stats.count += record.repeat;
}

namespace {

double Variance(double sum, double sumOfSquares, double n) {
  return sumOfSquares / n - (sum / n) * (sum / n);
}

double OtsuSeparation(const ThresholdStats& lower, const ThresholdStats& upper) {
  const double nL = static_cast<double>(lower.count);
  const double nU = static_cast<double>(upper.count);
  const double difference = lower.sumV / nL - upper.sumV / nU;
  return nL * nU * (difference * difference);
}

double ScatterOfHalves(const ThresholdStats& lower, const ThresholdStats& upper) {
  const double nL = static_cast<double>(lower.count);
  const double nU = static_cast<double>(upper.count);
  return nU * (Variance(upper.sumV, upper.sumV2, nU) + Variance(upper.sumP1, upper.sumP12, nU) +
               Variance(upper.sumP2, upper.sumP22, nU)) +
         nL * (Variance(lower.sumV, lower.sumV2, nL) + Variance(lower.sumP1, lower.sumP12, nL) +
               Variance(lower.sumP2, lower.sumP22, nL));
}

}  // namespace

double AddedRepeatedly(double sum, double x, int64_t times) {
  // Runs this short are added one by one; so is every step that the shortcut below cannot
  // prove (near a power of two, at a tie, or with values far out of range).
  constexpr int64_t kShortRun = 16;
  while (times > 0) {
    if (times <= kShortRun || !(std::fabs(x) < 0x1p900)) {
      for (; times > 0; --times) sum += x;
      return sum;
    }
    const double magnitude = std::fabs(sum);
    if (!(magnitude >= 0x1p-900 && magnitude < 0x1p900)) {
      sum += x;
      --times;
      continue;
    }
    // While the sums stay between 2^e and 2^(e+1) in magnitude, every double there is a
    // multiple of `unit`, so each addition adds x rounded to a multiple of unit. The powers
    // of two are made from the exponent bits (e lies well inside the normal range here).
    const uint64_t biased = (std::bit_cast<uint64_t>(magnitude) >> 52) & 0x7FF;
    const double unit = std::bit_cast<double>((biased - 52) << 52);
    const double perUnit = std::bit_cast<double>((2046 - biased + 52) << 52);  // 1 / unit
    const double low = std::bit_cast<double>(biased << 52);
    const double high = std::bit_cast<double>((biased + 1) << 52);
    const double units = x * perUnit;  // a power of two: exact
    if (!(std::fabs(units) < 0x1p51)) {
      sum += x;
      --times;
      continue;
    }
    // Rounded to the nearest integer, halfway cases to even, by the addition itself.
    const double rounded = units >= 0.0 ? (units + 0x1p52) - 0x1p52 : -((0x1p52 - units) - 0x1p52);
    if (std::fabs(units - rounded) == 0.5) {
      // Halfway: the sum's last bit decides the rounding, step by step.
      sum += x;
      --times;
      continue;
    }
    const double step = rounded * unit;
    // Towards larger magnitudes or smaller ones.
    const bool negative = sum < 0.0;
    const double along = negative ? -x : x;
    const double stepAlong = negative ? -step : step;
    // Every exact sum before rounding must lie at least two units inside the range.
    const double first = magnitude + along;
    if (!(first >= low + 2.0 * unit && first <= high - 2.0 * unit)) {
      sum += x;
      --times;
      continue;
    }
    if (stepAlong == 0.0) return sum;  // each addition rounds back to the sum itself
    // Steps k = 0, 1, ... while first + k * stepAlong stays inside; one fewer than the
    // quotient allows, for its rounding.
    const double room = stepAlong > 0.0 ? (high - 2.0 * unit - first) / stepAlong
                                        : (first - low - 2.0 * unit) / -stepAlong;
    if (!(room >= 1.0)) {
      sum += x;
      --times;
      continue;
    }
    const int64_t fits = static_cast<int64_t>(std::min(room, 0x1p52));
    const int64_t steps = std::min(times, fits);
    sum += static_cast<double>(steps) * step;
    times -= steps;
  }
  return sum;
}

// The rotation about the unit vector (0, k1, k2) by the angle between the axis and the
// first coordinate direction.
AxisRotation::AxisRotation(const Triple& axis) {
  const double x = axis.x, y = axis.y, z = axis.z;
  const double g = y * y + z * z;
  if (g == 0.0) {
    // The axis already lies on the first coordinate: the general formula would divide
    // by zero. Keep the frame (x > 0) or turn it half about the third axis (x < 0).
    const double sign = x < 0.0 ? -1.0 : 1.0;
    along_[0] = sign;
    across1_[1] = sign;
    across2_[2] = 1.0;
    return;
  }
  const double h = x * x + y * y + z * z;
  const double sinTheta = std::sqrt(g / h);
  const double cosTheta = x / std::sqrt(h);
  const double t = 1.0 - cosTheta;
  const double k1 = z / std::sqrt(g);
  const double k2 = -y / std::sqrt(g);
  along_[0] = cosTheta;
  along_[1] = k2 * sinTheta;  // subtracted
  along_[2] = k1 * sinTheta;
  across1_[0] = k2 * sinTheta;
  across1_[1] = k1 * k1 * t + cosTheta;
  across1_[2] = k2 * k1 * t;
  across2_[0] = -k1 * sinTheta;
  across2_[1] = k2 * k1 * t;
  across2_[2] = k2 * k2 * t + cosTheta;
}

void RotateOntoAxis(int64_t pixelCount, const Triple& axis, const double* inY, const double* inU,
                    const double* inV, double* outAlong, double* outAcross1, double* outAcross2) {
  const AxisRotation rotation(axis);
  for (int64_t i = 0; i < pixelCount; ++i) {
    rotation.Apply(inY[i], inU[i], inV[i], outAlong[i], outAcross1[i], outAcross2[i]);
  }
}

bool ThresholdCandidates(double minimum, double maximum, int32_t& lo, int64_t& candidates) {
  const int32_t hi = TruncateToInt32(std::floor(maximum));
  // Values in (-1, 0) truncate to 0, so the first candidate is never below 1 there.
  lo = minimum <= -1.0 ? TruncateToInt32(std::floor(minimum)) : TruncateToInt32(minimum);
  candidates = int64_t{hi} - lo + 1;
  return candidates >= 2;
}

int BestThresholdCandidate(const std::vector<ThresholdStats>& lower,
                           const std::vector<ThresholdStats>& upper, int32_t lo, int criterion,
                           EngineRun& run) {
  const int64_t K = static_cast<int64_t>(lower.size());
  int64_t bestIndex = 0;
  double bestScore = criterion == 3 ? 0.0 : DBL_MAX;
  for (int64_t j = 1; j < K; ++j) {
    run.Pump();
    if (criterion == 3) {
      const double score = OtsuSeparation(lower[j], upper[j]);
      if (score > bestScore) {
        bestScore = score;
        bestIndex = j;
      }
    } else {
      const double score = ScatterOfHalves(lower[j], upper[j]);
      if (score < bestScore) {
        bestScore = score;
        bestIndex = j;
      }
    }
  }
  return static_cast<int>(lo + bestIndex);
}

int OtsuThresholdRuns(const std::vector<ThresholdRun>& runs, int64_t count, int criterion,
                      EngineRun& run, int threads) {
  struct Listed {
    const std::vector<ThresholdRun>& runs;
    size_t size() const { return runs.size(); }
    const ThresholdRun& operator[](size_t k) const { return runs[k]; }
    void Prefetch(size_t) const {}
  };
  return OtsuThresholdOfRecords(Listed{runs}, count, criterion, run, threads);
}

int OtsuThresholdReal(int64_t count, const double* v, const double* p1, const double* p2,
                      int criterion, EngineRun& run) {
  if (count <= 0) return OtsuThresholdRuns({}, 0, criterion, run);
  std::vector<ThresholdRun> runs(static_cast<size_t>(count));
  for (int64_t i = 0; i < count; ++i) runs[i] = {v[i], p1[i], p2[i], 1};
  // Equal values keep pixel order, so every sum is added in one defined order.
  std::stable_sort(runs.begin(), runs.end(),
                   [](const ThresholdRun& a, const ThresholdRun& b) { return a.v < b.v; });
  return OtsuThresholdRuns(runs, count, criterion, run);
}

IntegerHistogram HistogramOf(int64_t count, const int32_t* values) {
  IntegerHistogram histogram;
  histogram.count = count;
  if (count <= 0) return histogram;
  histogram.minimum = histogram.maximum = values[0];
  for (int64_t i = 1; i < count; ++i) {
    histogram.minimum = std::min(histogram.minimum, values[i]);
    histogram.maximum = std::max(histogram.maximum, values[i]);
  }
  histogram.bins.assign(static_cast<size_t>(int64_t{histogram.maximum} - histogram.minimum + 1), 0);
  for (int64_t i = 0; i < count; ++i)
    ++histogram.bins[static_cast<size_t>(values[i] - histogram.minimum)];
  return histogram;
}

// OtsuThresholdInt(const IntegerHistogram&) is in integer_otsu.cpp.

int OtsuThresholdInt(int64_t count, const int32_t* values) {
  return OtsuThresholdInt(HistogramOf(count, values));
}

int MedianThreshold(const IntegerHistogram& histogram, Diagnostics& diagnostics) {
  if (histogram.count <= 0) return 0;
  const int32_t minimum = histogram.minimum;
  int32_t median = minimum;
  int64_t runningTotal = 0;
  for (size_t b = 0; b < histogram.bins.size(); ++b) {
    runningTotal += histogram.bins[b];
    if (runningTotal > histogram.count / 2) {
      median = b == 0 ? minimum : static_cast<int32_t>(minimum + static_cast<int64_t>(b) - 1);
      break;
    }
  }
  diagnostics.Out("MIN=%d,MED=%d,MAX=%d\n", minimum, median, histogram.maximum);
  return median;
}

int MedianThreshold(int64_t count, const int32_t* values, Diagnostics& diagnostics) {
  return MedianThreshold(HistogramOf(count, values), diagnostics);
}

int SplitThreshold(int thresholdMode, int64_t count, const IntegerHistogram& histogram,
                   const std::vector<ThresholdRun>& runs, bool firstSplit, int previousThreshold,
                   EngineRun& run, int threads) {
  Diagnostics& out = run.diagnostics();
  switch (thresholdMode) {
    case 0: {
      const int threshold = OtsuThresholdInt(histogram);
      if (firstSplit && count > 0) out.Out("THRESH OHTSU=%d\n", threshold);
      return threshold;
    }
    case 1: return MedianThreshold(histogram, out);
    case 2:
      // The cluster's colours are centred, so 0 is its mean.
      return 0;
    case 3:
    case 4: {
      const int threshold = OtsuThresholdRuns(runs, count, thresholdMode, run, threads);
      if (firstSplit && count > 0) out.Out("THRESH OHTSU2=%d\n", threshold);
      return threshold;
    }
    default: return previousThreshold;
  }
}

int SplitThreshold(int thresholdMode, int64_t count, const int32_t* intValues, const double* along,
                   const double* across1, const double* across2, bool firstSplit,
                   int previousThreshold, EngineRun& run) {
  IntegerHistogram histogram;
  std::vector<ThresholdRun> runs;
  if (ThresholdNeedsHistogram(thresholdMode)) histogram = HistogramOf(count, intValues);
  if (ThresholdNeedsRuns(thresholdMode) && count > 0) {
    runs.resize(static_cast<size_t>(count));
    for (int64_t i = 0; i < count; ++i) runs[i] = {along[i], across1[i], across2[i], 1};
    std::stable_sort(runs.begin(), runs.end(),
                     [](const ThresholdRun& a, const ThresholdRun& b) { return a.v < b.v; });
  }
  return SplitThreshold(thresholdMode, count, histogram, runs, firstSplit, previousThreshold, run);
}

}  // namespace genshoku
