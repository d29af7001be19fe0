#pragma once
// Choosing from the cluster table which cluster to split, and entering a split into it.

#include <array>

#include "engine/divisive_splitting/clusters.h"

namespace genshoku {

// The key by which clusters are chosen for splitting: SPREAD, or COUNT x SPREAD for spread
// rule 0.
inline double SplitKey(const ClusterRecord& record, int spreadMode) {
  return spreadMode == 0 ? static_cast<double>(record.COUNT) * record.SPREAD : record.SPREAD;
}

// Position in PT[MEN] of the cluster to split next among the first n: the largest key,
// the lowest position among equal keys. Spread rules outside 0..5 always give 0.
int SelectClusterToSplit(const ClusterTable& table, int n, int spreadMode);

// Position in PT[MEN], among the first n, of the cluster other than the one at position k
// with the largest key that holds pixels and whose label is not marked in `skip`, or -1:
// the likeliest to be split after it.
int LikeliestNextSplit(const ClusterTable& table, int n, int k, int spreadMode,
                       const std::array<bool, kPaletteSize>& skip);

// Enters the split of the cluster at position k of PT[MEN] as the split that makes
// cluster n: the other side becomes current, with the two parts at positions 0 and 1 and
// the other clusters after them in their previous order.
void EnterSplit(ClusterTable& table, int k, int n, const ClusterRecord& staying,
                const ClusterRecord& moving);

}  // namespace genshoku
