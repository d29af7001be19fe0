#pragma once
// Divisive splitting: from the first split of all taking-part pixels to exactly 256
// clusters, always cutting the cluster with the largest split priority along its own
// principal axis.
//
// Cluster membership lives only in pixelLabel: a taking-part pixel carries the INDEXNO of
// its cluster, edge pixels keep LABEL_EDGE and are never touched here.

#include <cstdint>

#include "engine/reduction_params.h"
#include "tests/engine/reference/engine_run.h"
#include "tests/engine/reference/engine_types.h"
#include "tests/engine/reference/split_threshold.h"

namespace genshoku::reference {

struct ClusterRecord {
  int32_t COUNT = 0;    // pixels whose label is INDEXNO
  int32_t INDEXNO = 0;  // the cluster's label, 0..255
  double SPREAD = 0.0;  // split priority (see ComputeSpread)
};

// Two sides of 256 records; each split rebuilds the table into the other side and makes
// it current. Between two splits with n clusters, positions 0..n-1 of PT[MEN] hold the
// labels 0..n-1 once each, the two clusters of the latest split at positions 0 and 1 and
// the others in their previous order (selection ties go to the lower position).
struct ClusterTable {
  ClusterRecord PT[2][kPaletteSize];
  int MEN = 0;
  int32_t nonEdgeCount = 0;  // pixels that take part in the clustering
};

// Everything the splitting reads and writes during one reduction.
struct SplittingState {
  int64_t pixelCount = 0;
  const double* planeY = nullptr;
  const double* planeU = nullptr;
  const double* planeV = nullptr;
  const double* edgeStrength = nullptr;  // needed only for edgeOperator 4
  int16_t* pixelLabel = nullptr;
  const ReductionParams* params = nullptr;
  SplitBuffers* buffers = nullptr;
  ClusterTable* table = nullptr;
  EngineRun* run = nullptr;
  int lastThreshold = 0;  // threshold of the latest split (modes that keep it reuse it)
  int lastAxisIndex = 0;  // eigenvector column of the latest split
};

// The first assignment (pixels with buffers->alongAxis >= firstThreshold form cluster 0,
// the others cluster 1) and the splits up to 256 clusters. On return every taking-part
// pixel carries a label 0..255 and PT[MEN] describes the 256 clusters.
void SplitClusters(SplittingState& state, int firstThreshold);

// Computes and stores SPREAD of PT[side][position] from the pixels carrying its INDEXNO,
// by params->spreadMode: 0 largest squared distance from the mean, 1 summed distance
// terms, 2 count x largest eigenvalue, 3 largest eigenvalue, 4 extent along the principal
// axis, 5 count x that extent; an empty cluster gets 0.
void ComputeSpread(SplittingState& state, int side, int position);

// Position in PT[MEN] of the cluster to split next among the first n: the largest key
// (SPREAD, or COUNT x SPREAD for spreadMode 0), the lowest position among equal keys.
int SelectClusterToSplit(const ClusterTable& table, int n, int spreadMode);

// Splits the cluster at position k of PT[MEN] (n clusters so far): its pixels at or above
// the threshold on its principal axis move to the new label n.
void SplitCluster(SplittingState& state, int k, int n);

}  // namespace genshoku::reference
