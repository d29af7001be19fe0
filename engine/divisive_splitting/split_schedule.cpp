#include "engine/divisive_splitting/split_schedule.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "engine/divisive_splitting/cluster_table.h"
#include "engine/parallel.h"

namespace genshoku {

namespace {

// Clusters smaller than this are split without a second thread.
constexpr int32_t kPixelsWorthAThread = int32_t{1} << 15;

}  // namespace

SplitSchedule::SplitSchedule(const SplitContext& context, Clusters& clusters,
                             const ClusterTable& table, int threads)
    : context_(context),
      clusters_(clusters),
      table_(table),
      threads_(threads),
      ahead_(threads >= 2 && context.params.thresholdMode != 1 &&
             (context.params.spreadMode == 0 || context.params.spreadMode == 1)),
      quietRun_(idleHost_, SilentDiagnostics(), unusedRandom_),
      helperContext_{context.colours, context.edgeStrength, context.params, quietRun_} {}

std::unique_ptr<WorkedSplit> SplitSchedule::SplitAt(int n, int k, int previousAxisIndex,
                                                    int previousThreshold) {
  const ClusterRecord chosen = table_.PT[table_.MEN][k];
  std::unique_ptr<WorkedSplit> mine = std::move(worked_[chosen.INDEXNO]);
  if (mine && !mine->axisFromEigenvalues) {
    clusters_[chosen.INDEXNO] = RejoinedCluster(*mine);
    mine.reset();
  }
  if (mine) return mine;
  int next = -1;
  if (ahead_) {
    std::array<bool, kPaletteSize> workedAlready;
    for (int label = 0; label < kPaletteSize; ++label)
      workedAlready[label] = worked_[label] != nullptr;
    next = LikeliestNextSplit(table_, n, k, context_.params.spreadMode, workedAlready);
  }
  if (next >= 0 && WorthTwoSplitsAtOnce(chosen, table_.PT[table_.MEN][next])) {
    const ClusterRecord guess = table_.PT[table_.MEN][next];
    std::unique_ptr<WorkedSplit>& theirs = worked_[guess.INDEXNO];
    RunInTwoParts(2, [&](int part) {
      if (part == 0) {
        mine = WorkOutSplit(context_, clusters_, chosen.INDEXNO, chosen.COUNT, 1, previousAxisIndex,
                            previousThreshold);
      } else {
        theirs = WorkOutSplit(helperContext_, clusters_, guess.INDEXNO, guess.COUNT, 1,
                              previousAxisIndex, previousThreshold);
      }
    });
    return mine;
  }
  return WorkOutSplit(context_, clusters_, chosen.INDEXNO, chosen.COUNT, threads_,
                      previousAxisIndex, previousThreshold);
}

// Two splits at once hold, besides the lists of both clusters, new lists for their smaller
// parts; with the two clusters at most a quarter of the pixels that stays well below what
// the first split needs.
bool SplitSchedule::WorthTwoSplitsAtOnce(const ClusterRecord& chosen,
                                         const ClusterRecord& next) const {
  return chosen.COUNT >= kPixelsWorthAThread && int64_t{next.COUNT} * 3 >= int64_t{chosen.COUNT} &&
         (int64_t{chosen.COUNT} + next.COUNT) * 4 <= int64_t{table_.nonEdgeCount};
}

void SplitSchedule::Finish() {
  for (int label = 0; label < kPaletteSize; ++label) {
    if (worked_[label]) clusters_[label] = RejoinedCluster(*worked_[label]);
    worked_[label].reset();
  }
#if defined(__GLIBC__)
  // The helper thread's lists came from its own memory pool, where the memory they left
  // stays with the process unless handed back.
  if (threads_ >= 2) malloc_trim(0);
#endif
}

}  // namespace genshoku
