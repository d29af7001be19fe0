#pragma once
// The split of one cluster, worked out before it is entered into the table: its principal
// axis, its threshold, its two parts and their split priorities.

#include <cstdint>
#include <memory>

#include "engine/divisive_splitting/clusters.h"

namespace genshoku {

// What a worked-out split holds depends only on the cluster's pixels, except where noted.
struct WorkedSplit {
  // The cluster's own sums, for putting it back together when the split is dropped.
  Triple parentSums;
  CovarianceSums parentProducts;
  double parentTermSum = 0.0;
  bool converged = true;  // the covariance could be diagonalised
  // The axis came from the eigenvalues; otherwise it is the previous split's, and a split
  // worked out ahead of its turn cannot be used.
  bool axisFromEigenvalues = true;
  Matrix3 covariance;
  int axisIndex = 0;
  int threshold = 0;
  ClusterMembers staying, moving;  // below the threshold, and at or above it
  double spread[2] = {0.0, 0.0};   // SPREAD of staying and moving
};

// Works out the split of the cluster labelled `label` (m pixels), taking its members out
// of `clusters`. A cluster whose covariance cannot be diagonalised is kept whole in
// `staying`. Uses up to `threads` threads.
std::unique_ptr<WorkedSplit> WorkOutSplit(const SplitContext& context, Clusters& clusters,
                                          int label, int64_t m, int threads, int previousAxisIndex,
                                          int previousThreshold);

// The cluster of a worked-out split, put back together when the split is dropped.
ClusterMembers RejoinedCluster(WorkedSplit& worked);

}  // namespace genshoku
