#include "tests/engine/reference/split_threshold.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "tests/engine/reference/engine_types.h"
#include "tests/engine/reference/integer_parts.h"

namespace genshoku::reference {

namespace {

// The rotation about the unit vector (0, k1, k2) by the angle between the axis and the
// first coordinate direction, with its per-call constants worked out once. The products
// are grouped exactly as the per-pixel formula reads left to right, so hoisting them does
// not change a single bit.
class AxisRotation {
 public:
  explicit AxisRotation(const Triple& axis) {
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

  void Apply(double a, double b, double c, double& along, double& across1, double& across2) const {
    along = along_[0] * a - along_[1] * b + along_[2] * c;
    across1 = across1_[0] * a + across1_[1] * b + across1_[2] * c;
    across2 = across2_[0] * a + across2_[1] * b + across2_[2] * c;
  }

 private:
  double along_[3] = {};
  double across1_[3] = {};
  double across2_[3] = {};
};

// Counts and sums of the values on one side of a candidate threshold.
struct ThresholdStats {
  double sumV = 0.0, sumP1 = 0.0, sumP2 = 0.0;
  double sumV2 = 0.0, sumP12 = 0.0, sumP22 = 0.0;
  int64_t count = 0;
};

struct ThresholdRecord {
  double v, p1, p2;
};

void Add(ThresholdStats& stats, const ThresholdRecord& record) {
  stats.sumV += record.v;
  stats.sumP1 += record.p1;
  stats.sumP2 += record.p2;
  stats.sumV2 += record.v * record.v;
  stats.sumP12 += record.p1 * record.p1;
  stats.sumP22 += record.p2 * record.p2;
  ++stats.count;
}

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

template <typename T>
void MinMax(int64_t count, const T* values, T& minimum, T& maximum) {
  minimum = maximum = values[0];
  for (int64_t i = 1; i < count; ++i) {
    if (values[i] < minimum) minimum = values[i];
    if (values[i] > maximum) maximum = values[i];
  }
}

// Histogram of integers from `minimum` on; bin b counts the value minimum + b.
std::vector<int64_t> Histogram(int64_t count, const int32_t* values, int32_t minimum,
                               int32_t maximum) {
  std::vector<int64_t> bins(static_cast<size_t>(int64_t{maximum} - minimum + 1), 0);
  for (int64_t i = 0; i < count; ++i) ++bins[static_cast<size_t>(values[i] - minimum)];
  return bins;
}

}  // namespace

void RotateOntoAxis(int64_t pixelCount, const Triple& axis, const double* inY, const double* inU,
                    const double* inV, double* outAlong, double* outAcross1, double* outAcross2) {
  const AxisRotation rotation(axis);
  for (int64_t i = 0; i < pixelCount; ++i) {
    rotation.Apply(inY[i], inU[i], inV[i], outAlong[i], outAcross1[i], outAcross2[i]);
  }
}

void RotateOntoAxisWithLabel(int64_t pixelCount, const Triple& axis, const double* inY,
                             const double* inU, const double* inV, const int16_t* labels,
                             int16_t key, double* outAlong, double* outAcross1,
                             double* outAcross2) {
  const AxisRotation rotation(axis);
  for (int64_t i = 0; i < pixelCount; ++i) {
    if (labels[i] != key) continue;
    rotation.Apply(inY[i], inU[i], inV[i], outAlong[i], outAcross1[i], outAcross2[i]);
  }
}

int OtsuThresholdReal(int64_t count, const double* v, const double* p1, const double* p2,
                      int criterion, EngineRun& run) {
  if (criterion != 3 && criterion != 4) return 0;
  if (count <= 0) return 0;

  double minimum, maximum;
  MinMax(count, v, minimum, maximum);
  const int32_t hi = TruncateToInt32(std::floor(maximum));
  // Values in (-1, 0) truncate to 0, so the first candidate is never below 1 there.
  const int32_t lo =
      minimum <= -1.0 ? TruncateToInt32(std::floor(minimum)) : TruncateToInt32(minimum);
  const int64_t K = int64_t{hi} - lo + 1;
  if (K < 2) return lo;

  // Equal values keep pixel order, so every sum below is added in one defined order.
  std::vector<ThresholdRecord> records(static_cast<size_t>(count));
  for (int64_t i = 0; i < count; ++i) records[i] = {v[i], p1[i], p2[i]};
  std::stable_sort(records.begin(), records.end(),
                   [](const ThresholdRecord& a, const ThresholdRecord& b) { return a.v < b.v; });

  // lower[j]: every record below lo + j, added from the smallest up; upper[j]: every record
  // at or above lo + j, added from the largest down.
  std::vector<ThresholdStats> lower(static_cast<size_t>(K)), upper(static_cast<size_t>(K));
  ThresholdStats running;
  int64_t next = 0;
  for (int64_t j = 1; j < K; ++j) {
    const double cut = static_cast<double>(lo + j);
    while (next < count && records[next].v < cut) Add(running, records[next++]);
    lower[j] = running;
  }
  running = ThresholdStats{};
  next = count - 1;
  for (int64_t j = K - 1; j >= 1; --j) {
    const double cut = static_cast<double>(lo + j);
    while (next >= 0 && records[next].v >= cut) Add(running, records[next--]);
    upper[j] = running;
  }

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

int OtsuThresholdInt(int64_t count, const int32_t* values) {
  if (count <= 0) return 0;
  int32_t minimum, maximum;
  MinMax(count, values, minimum, maximum);
  const std::vector<int64_t> bins = Histogram(count, values, minimum, maximum);
  const int64_t K = static_cast<int64_t>(bins.size());

  float bestScore = 0.0f;
  int64_t bestIndex = 0;
  for (int64_t t = 1; t < K; ++t) {
    // Both sides are summed from scratch, bin by bin upwards, for every candidate.
    int64_t nL = 0, nU = 0;
    float sL = 0.0f, sU = 0.0f;
    for (int64_t b = 0; b < t; ++b) {
      nL += bins[b];
      sL += static_cast<float>((minimum + b) * bins[b]);
    }
    for (int64_t b = t; b < K; ++b) {
      nU += bins[b];
      sU += static_cast<float>((minimum + b) * bins[b]);
    }
    const float difference = sL / static_cast<float>(nL) - sU / static_cast<float>(nU);
    const float score = static_cast<float>(nU) * static_cast<float>(nL) * (difference * difference);
    if (score > bestScore) {
      bestScore = score;
      bestIndex = t;
    }
  }
  return static_cast<int>(minimum + bestIndex);
}

int MedianThreshold(int64_t count, const int32_t* values, Diagnostics& diagnostics) {
  if (count <= 0) return 0;
  int32_t minimum, maximum;
  MinMax(count, values, minimum, maximum);
  const std::vector<int64_t> bins = Histogram(count, values, minimum, maximum);

  int32_t median = minimum;
  int64_t runningTotal = 0;
  for (size_t b = 0; b < bins.size(); ++b) {
    runningTotal += bins[b];
    if (runningTotal > count / 2) {
      median = b == 0 ? minimum : static_cast<int32_t>(minimum + static_cast<int64_t>(b) - 1);
      break;
    }
  }
  diagnostics.Out("MIN=%d,MED=%d,MAX=%d\n", minimum, median, maximum);
  return median;
}

int SplitThreshold(int thresholdMode, int64_t count, const int32_t* intValues, const double* along,
                   const double* across1, const double* across2, bool firstSplit,
                   int previousThreshold, EngineRun& run) {
  Diagnostics& out = run.diagnostics();
  switch (thresholdMode) {
    case 0: {
      const int threshold = OtsuThresholdInt(count, intValues);
      if (firstSplit && count > 0) out.Out("THRESH OHTSU=%d\n", threshold);
      return threshold;
    }
    case 1: return MedianThreshold(count, intValues, out);
    case 2:
      // The cluster's colours are centred, so 0 is its mean.
      return 0;
    case 3:
    case 4: {
      const int threshold = OtsuThresholdReal(count, along, across1, across2, thresholdMode, run);
      if (firstSplit && count > 0) out.Out("THRESH OHTSU2=%d\n", threshold);
      return threshold;
    }
    default: return previousThreshold;
  }
}

SplitBuffers::SplitBuffers(int64_t pixelCount)
    : centredY(pixelCount),
      centredU(pixelCount),
      centredV(pixelCount),
      alongAxis(pixelCount),
      acrossAxis1(pixelCount),
      acrossAxis2(pixelCount),
      relabelCopy(pixelCount),
      intProjection(pixelCount) {}

FirstSplitResult FirstSplit(int64_t pixelCount, const double* planeY, const double* planeU,
                            const double* planeV, int16_t* pixelLabel, int64_t edgeCount,
                            int thresholdMode, SplitBuffers& buffers, EngineRun& run) {
  int64_t takingPart = pixelCount - edgeCount;
  if (takingPart <= 0) {
    // No pixel would be left to design a palette from: let every pixel take part.
    std::fill(pixelLabel, pixelLabel + pixelCount, LABEL_NONEDGE);
    takingPart = pixelCount;
  }

  const Triple sums =
      SumComponentsWithoutLabel(pixelCount, pixelLabel, LABEL_EDGE, planeY, planeU, planeV);
  const Triple mean = MeanOfSums(sums, takingPart);
  Matrix3 covariance, diag, vectors;
  CovarianceWithoutLabel(pixelCount, pixelLabel, LABEL_EDGE, planeY, planeU, planeV, mean,
                         covariance);
  DiagonaliseCovariance(covariance, diag, vectors, run);
  const PrincipalAxisChoice principal = PrincipalAxis(diag, vectors);

  for (int64_t i = 0; i < pixelCount; ++i) {
    if (pixelLabel[i] == LABEL_EDGE) continue;
    buffers.centredY[i] = planeY[i] - mean.z;
    buffers.centredU[i] = planeU[i] - mean.y;
    buffers.centredV[i] = planeV[i] - mean.x;
  }
  RotateOntoAxis(pixelCount, principal.axis, buffers.centredY.data(), buffers.centredU.data(),
                 buffers.centredV.data(), buffers.alongAxis.data(), buffers.acrossAxis1.data(),
                 buffers.acrossAxis2.data());

  int64_t listed = 0;
  for (int64_t i = 0; i < pixelCount; ++i) {
    if (pixelLabel[i] == LABEL_EDGE) continue;
    buffers.intProjection[listed] = RoundHalfUpTruncated(buffers.alongAxis[i]);
    buffers.compactAlong()[listed] = buffers.alongAxis[i];
    buffers.compactAcross1()[listed] = buffers.acrossAxis1[i];
    buffers.compactAcross2()[listed] = buffers.acrossAxis2[i];
    ++listed;
  }

  FirstSplitResult result;
  result.axisIndex = principal.index;
  result.threshold =
      SplitThreshold(thresholdMode, listed, buffers.intProjection.data(), buffers.compactAlong(),
                     buffers.compactAcross1(), buffers.compactAcross2(), true, 0, run);
  return result;
}

}  // namespace genshoku::reference
