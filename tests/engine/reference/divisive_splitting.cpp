#include "tests/engine/reference/divisive_splitting.h"

#include <algorithm>
#include <cmath>

#include "tests/engine/reference/cluster_statistics.h"
#include "tests/engine/reference/integer_parts.h"

namespace genshoku::reference {

namespace {

// Clusters at which the splitting shows its state on standard error.
constexpr int kMatrixDumpClusters = 41;
constexpr int kFirstCountDumpClusters = 5;
constexpr int kSecondCountDumpClusters = 6;

double SquaredDistance(const SplittingState& state, int64_t i, const Triple& mean) {
  const double dY = state.planeY[i] - mean.z;
  const double dU = state.planeU[i] - mean.y;
  const double dV = state.planeV[i] - mean.x;
  return dY * dY + dU * dU + dV * dV;
}

// Sum of the per-pixel distance terms of a cluster; edge-weighted when the edge map keeps a
// strength per pixel, so that pixels on strong edges count less.
double SumOfDistanceTerms(const SplittingState& state, int16_t label, const Triple& mean) {
  const ReductionParams& params = *state.params;
  const bool edgeWeighted = params.edgeOperator == 4;
  if (params.distancePowerOn != 0 && params.distancePowerOn != 1) return 0.0;
  const double power = params.distanceExponent * 0.5;
  double sum = 0.0;
  for (int64_t i = 0; i < state.pixelCount; ++i) {
    if (state.pixelLabel[i] != label) continue;
    const double d2 = SquaredDistance(state, i, mean);
    if (!edgeWeighted) {
      sum += params.distancePowerOn == 0 ? d2 : std::pow(d2, power);
    } else {
      const double strength = state.edgeStrength[i];
      if (params.distancePowerOn == 0) {
        sum += d2 * (255.0 - strength) / 255.0;
      } else {
        const double damped = 255.0 - std::min(255.0, strength * params.edgeStrengthGain);
        sum += std::pow(d2, power) * std::pow(damped / 255.0, params.edgeWeightExponent);
      }
    }
  }
  return sum;
}

// Extent (largest minus smallest coordinate) of a cluster along `axis`.
double ExtentAlongAxis(SplittingState& state, int16_t label, const Triple& mean,
                       const Triple& axis) {
  SplitBuffers& buffers = *state.buffers;
  for (int64_t i = 0; i < state.pixelCount; ++i) {
    if (state.pixelLabel[i] != label) continue;
    buffers.centredY[i] = state.planeY[i] - mean.z;
    buffers.centredU[i] = state.planeU[i] - mean.y;
    buffers.centredV[i] = state.planeV[i] - mean.x;
  }
  RotateOntoAxisWithLabel(state.pixelCount, axis, buffers.centredY.data(), buffers.centredU.data(),
                          buffers.centredV.data(), state.pixelLabel, label,
                          buffers.alongAxis.data(), buffers.acrossAxis1.data(),
                          buffers.acrossAxis2.data());
  double largest = -9.99e65, smallest = 9.99e65;
  for (int64_t i = 0; i < state.pixelCount; ++i) {
    if (state.pixelLabel[i] != label) continue;
    const double along = buffers.alongAxis[i];
    if (along > largest) largest = along;
    if (along < smallest) smallest = along;
  }
  return largest - smallest;
}

}  // namespace

void ComputeSpread(SplittingState& state, int side, int position) {
  ClusterRecord& record = state.table->PT[side][position];
  const int32_t m = record.COUNT;
  if (m == 0) {
    record.SPREAD = 0.0;
    return;
  }
  const int16_t label = static_cast<int16_t>(record.INDEXNO);
  const Triple mean = MeanOfSums(SumComponentsWithLabel(state.pixelCount, state.pixelLabel, label,
                                                        state.planeY, state.planeU, state.planeV),
                                 m);

  const int spreadMode = state.params->spreadMode;
  if (spreadMode == 0) {
    double largest = 0.0;
    for (int64_t i = 0; i < state.pixelCount; ++i) {
      if (state.pixelLabel[i] != label) continue;
      const double d2 = SquaredDistance(state, i, mean);
      if (d2 > largest) largest = d2;
    }
    record.SPREAD = largest;
  } else if (spreadMode == 1) {
    record.SPREAD = SumOfDistanceTerms(state, label, mean);
  } else if (spreadMode >= 2 && spreadMode <= 5) {
    Matrix3 covariance, diag, vectors;
    CovarianceWithLabel(state.pixelCount, state.pixelLabel, label, state.planeY, state.planeU,
                        state.planeV, mean, covariance);
    DiagonaliseCovariance(covariance, diag, vectors, *state.run);
    const PrincipalAxisChoice principal = PrincipalAxis(diag, vectors, state.lastAxisIndex);
    const double lambda = diag.m[principal.index][principal.index];
    switch (spreadMode) {
      case 2: record.SPREAD = static_cast<double>(m) * lambda; break;
      case 3: record.SPREAD = lambda; break;
      case 4: record.SPREAD = ExtentAlongAxis(state, label, mean, principal.axis); break;
      case 5:
        record.SPREAD =
            static_cast<double>(m) * ExtentAlongAxis(state, label, mean, principal.axis);
        break;
    }
  }
  // Any other mode leaves SPREAD as it was.
}

int SelectClusterToSplit(const ClusterTable& table, int n, int spreadMode) {
  if (spreadMode < 0 || spreadMode > 5) return 0;
  const ClusterRecord* records = table.PT[table.MEN];
  auto key = [&](int position) {
    const ClusterRecord& record = records[position];
    return spreadMode == 0 ? static_cast<double>(record.COUNT) * record.SPREAD : record.SPREAD;
  };
  int best = 0;
  double bestKey = key(0);
  for (int position = 1; position < n; ++position) {
    if (key(position) > bestKey) {
      bestKey = key(position);
      best = position;
    }
  }
  return best;
}

void SplitCluster(SplittingState& state, int k, int n) {
  ClusterTable& table = *state.table;
  SplitBuffers& buffers = *state.buffers;
  Diagnostics& err = state.run->diagnostics();
  const int side = table.MEN;
  const ClusterRecord chosen = table.PT[side][k];
  const int16_t label = static_cast<int16_t>(chosen.INDEXNO);
  const int16_t newLabel = static_cast<int16_t>(n);

  if (n == kMatrixDumpClusters) {
    err.Err("NUM= %d\n", k);
    err.Err("PT[MEN][%d].INDEXNO=%d\n", k, chosen.INDEXNO);
  }

  // An empty cluster gives 0/0 here; the NaNs make the diagonalisation stop at once and
  // touch no pixel below.
  const Triple mean = MeanOfSums(SumComponentsWithLabel(state.pixelCount, state.pixelLabel, label,
                                                        state.planeY, state.planeU, state.planeV),
                                 chosen.COUNT);
  Matrix3 covariance, diag, vectors;
  CovarianceWithLabel(state.pixelCount, state.pixelLabel, label, state.planeY, state.planeU,
                      state.planeV, mean, covariance);
  if (n == kMatrixDumpClusters) {
    for (int row = 0; row < 3; ++row) {
      for (int col = 0; col < 3; ++col) err.Err("%f ", covariance.m[row][col]);
      err.Err("\n");
    }
  }
  DiagonaliseCovariance(covariance, diag, vectors, *state.run);
  const PrincipalAxisChoice principal = PrincipalAxis(diag, vectors, state.lastAxisIndex);
  state.lastAxisIndex = principal.index;

  for (int64_t i = 0; i < state.pixelCount; ++i) {
    if (state.pixelLabel[i] != label) continue;
    buffers.centredY[i] = state.planeY[i] - mean.z;
    buffers.centredU[i] = state.planeU[i] - mean.y;
    buffers.centredV[i] = state.planeV[i] - mean.x;
  }
  RotateOntoAxisWithLabel(state.pixelCount, principal.axis, buffers.centredY.data(),
                          buffers.centredU.data(), buffers.centredV.data(), state.pixelLabel, label,
                          buffers.alongAxis.data(), buffers.acrossAxis1.data(),
                          buffers.acrossAxis2.data());
  // The relabelling reads a snapshot taken right after the rotation: it sees exactly the
  // coordinates the threshold is chosen from, whatever the search does with the buffers.
  std::copy(buffers.alongAxis.begin(), buffers.alongAxis.end(), buffers.relabelCopy.begin());

  int64_t listed = 0;
  for (int64_t i = 0; i < state.pixelCount; ++i) {
    if (state.pixelLabel[i] != label) continue;
    buffers.compactAlong()[listed] = buffers.alongAxis[i];
    buffers.compactAcross1()[listed] = buffers.acrossAxis1[i];
    buffers.compactAcross2()[listed] = buffers.acrossAxis2[i];
    ++listed;
  }
  for (int64_t j = 0; j < listed; ++j) {
    buffers.intProjection[j] = RoundHalfUpTruncated(buffers.compactAlong()[j]);
  }

  const int threshold = SplitThreshold(
      state.params->thresholdMode, listed, buffers.intProjection.data(), buffers.compactAlong(),
      buffers.compactAcross1(), buffers.compactAcross2(), false, state.lastThreshold, *state.run);
  state.lastThreshold = threshold;

  int32_t staying = 0, moving = 0;
  const double cut = static_cast<double>(threshold);
  for (int64_t i = 0; i < state.pixelCount; ++i) {
    if (state.pixelLabel[i] != label) continue;
    if (buffers.relabelCopy[i] >= cut) {
      state.pixelLabel[i] = newLabel;
      ++moving;
    } else {
      ++staying;
    }
  }

  const int other = 1 - side;
  ClusterRecord* rebuilt = table.PT[other];
  rebuilt[0].COUNT = staying;
  rebuilt[0].INDEXNO = chosen.INDEXNO;
  rebuilt[1].COUNT = moving;
  rebuilt[1].INDEXNO = n;
  table.MEN = other;
  const int clusters = n + 1;
  if (clusters == kFirstCountDumpClusters || clusters == kSecondCountDumpClusters) {
    err.Err("INDEXNO%d %d\n", chosen.INDEXNO, staying);
    err.Err("INDEXNO%d %d\n", n, moving);
  }
  ComputeSpread(state, other, 0);
  ComputeSpread(state, other, 1);
  const ClusterRecord* previous = table.PT[side];
  for (int position = 0; position < k; ++position) rebuilt[position + 2] = previous[position];
  for (int position = k + 1; position < n; ++position) rebuilt[position + 1] = previous[position];
}

void SplitClusters(SplittingState& state, int firstThreshold) {
  ClusterTable& table = *state.table;
  table.PT[0][0] = ClusterRecord{0, 0, 0.0};
  table.PT[0][1] = ClusterRecord{0, 1, 0.0};
  table.MEN = 0;
  table.nonEdgeCount = 0;

  // Pixels at or above the first threshold keep the lower label here; in every later split
  // they are the ones that move to the new label.
  const double cut = static_cast<double>(firstThreshold);
  for (int64_t i = 0; i < state.pixelCount; ++i) {
    if (state.pixelLabel[i] == LABEL_EDGE) continue;
    if (state.buffers->alongAxis[i] >= cut) {
      state.pixelLabel[i] = 0;
      ++table.PT[0][0].COUNT;
    } else {
      state.pixelLabel[i] = 1;
      ++table.PT[0][1].COUNT;
    }
    ++table.nonEdgeCount;
  }
  ComputeSpread(state, 0, 0);
  ComputeSpread(state, 0, 1);
  state.lastThreshold = firstThreshold;

  for (int n = 2; n < kPaletteSize; ++n) {
    if (n > 2) state.run->Pump();
    const int k = SelectClusterToSplit(table, n, state.params->spreadMode);
    SplitCluster(state, k, n);
  }
}

}  // namespace genshoku::reference
