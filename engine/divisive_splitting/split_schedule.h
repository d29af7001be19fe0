#pragma once
// When each split is worked out, and on which thread.
//
// The splits are entered into the table one by one in their fixed order. With two threads,
// the cluster that will most likely be split next is worked out on the second thread while
// the chosen one is split on the first: a split depends only on its cluster's pixels, so
// the result is the same whenever it is made, and it waits until its cluster's turn comes.
// (Only the median rule prints at every split, and the spread rules other than the squared
// distances and the largest distance may diagonalise again; with those everything runs in
// turn.)

#include <array>
#include <memory>

#include "engine/divisive_splitting/cluster_split.h"
#include "engine/divisive_splitting/clusters.h"
#include "engine/engine_run.h"

namespace genshoku {

class SplitSchedule {
 public:
  SplitSchedule(const SplitContext& context, Clusters& clusters, const ClusterTable& table,
                int threads);

  // The worked-out split of the cluster at position k of PT[MEN], whose turn has come as the
  // split that makes cluster n; its members are taken out of the clusters. A split worked
  // out ahead is used when its axis came from its own eigenvalues; otherwise the cluster is
  // put back together and split again with the previous split's axis and threshold.
  std::unique_ptr<WorkedSplit> SplitAt(int n, int k, int previousAxisIndex, int previousThreshold);

  // Puts back whole every cluster whose split was worked out ahead but whose turn never
  // came, and hands the helper thread's memory back.
  void Finish();

 private:
  // Whether the chosen cluster and the likeliest next one are worth a thread each.
  bool WorthTwoSplitsAtOnce(const ClusterRecord& chosen, const ClusterRecord& next) const;

  const SplitContext& context_;
  Clusters& clusters_;
  const ClusterTable& table_;
  const int threads_;
  const bool ahead_;  // splits may be worked out ahead of their turn
  // The helper thread's own run: its host is never asked, its lines go nowhere.
  EngineHost idleHost_;
  EngineRandom unusedRandom_;
  EngineRun quietRun_;
  SplitContext helperContext_;
  std::array<std::unique_ptr<WorkedSplit>, kPaletteSize> worked_;  // by label
};

}  // namespace genshoku
