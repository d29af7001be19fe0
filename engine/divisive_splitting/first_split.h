#pragma once
// The first split: all pixels that take part in the clustering, cut in two along their
// principal axis, give the first two clusters.

#include "engine/colour_table.h"
#include "engine/divisive_splitting/clusters.h"

namespace genshoku {

// What the next split reads of the first one.
struct FirstSplitResult {
  int axisIndex = 0;  // the principal axis's column among the eigenvectors
  int threshold = 0;
};

// Computes the mean and covariance of the taking-part pixels, cuts them at the threshold
// along their principal axis and fills the first assignment: pixels at or above the
// threshold form cluster 0 (at position 0 of PT[0]), the others cluster 1, each with its
// SPREAD; table.nonEdgeCount counts them. Announces EnginePhase::Splitting once the
// threshold is chosen, and releases the colour table's per-pixel colour numbers once the
// clusters hold them. Up to two threads.
FirstSplitResult FirstSplit(ColourTable& colours, const SplitContext& context, int threads,
                            ClusterTable& table, Clusters& clusters);

}  // namespace genshoku
