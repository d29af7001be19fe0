#include "engine/divisive_splitting.h"

#include <memory>
#include <utility>

#include "engine/divisive_splitting/cluster_split.h"
#include "engine/divisive_splitting/first_split.h"
#include "engine/divisive_splitting/split_schedule.h"

namespace genshoku {

namespace {

// Clusters at which the splitting shows its state on standard error: at 41 the chosen
// position (NUM), its label and its covariance; at 5 and 6 the labels and counts of the two
// new clusters.
constexpr int kMatrixDumpClusters = 41;
constexpr int kFirstCountDumpClusters = 5;
constexpr int kSecondCountDumpClusters = 6;

// The first split, then one split after another until there are `clusterCount` clusters,
// each entered into the table with its diagnostic lines.
class Splitter {
 public:
  Splitter(ColourTable& colours, const double* edgeStrength, const ReductionParams& params,
           int threads, int clusterCount, ClusterTable& table, Clusters& clusters, EngineRun& run)
      : colours_(colours),
        context_{colours, edgeStrength, params, run},
        threads_(threads),
        clusterCount_(clusterCount),
        table_(table),
        clusters_(clusters) {}

  void Run() {
    const FirstSplitResult first = FirstSplit(colours_, context_, threads_, table_, clusters_);
    lastAxisIndex_ = first.axisIndex;
    lastThreshold_ = first.threshold;
    SplitSchedule schedule(context_, clusters_, table_, threads_);
    for (int n = 2; n < clusterCount_; ++n) {
      if (n > 2) context_.run.Pump();
      const int k = SelectClusterToSplit(table_, n, context_.params.spreadMode);
      const std::unique_ptr<WorkedSplit> worked =
          schedule.SplitAt(n, k, lastAxisIndex_, lastThreshold_);
      Commit(k, n, *worked);
    }
    schedule.Finish();
  }

 private:
  // Enters a worked-out split of the cluster at position k into the table as the split that
  // makes cluster n, with the diagnostics of that step.
  void Commit(int k, int n, WorkedSplit& worked) {
    Diagnostics& err = context_.run.diagnostics();
    const int label = table_.PT[table_.MEN][k].INDEXNO;
    if (n == kMatrixDumpClusters) {
      err.Err("NUM= %d\n", k);
      err.Err("PT[MEN][%d].INDEXNO=%d\n", k, label);
      for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) err.Err("%f ", worked.covariance.m[row][col]);
        err.Err("\n");
      }
    }
    if (!worked.converged) {
      // Romanised Japanese: "Jacobi does not converge".
      err.Err("Jacobi syuusoku simasen!!\n");
      throw EigenNotConverged{};
    }
    lastAxisIndex_ = worked.axisIndex;
    lastThreshold_ = worked.threshold;
    clusters_[label] = std::move(worked.staying);
    clusters_[n] = std::move(worked.moving);
    const ClusterRecord staying{static_cast<int32_t>(clusters_[label].pixels.size()), label,
                                worked.spread[0]};
    const ClusterRecord moving{static_cast<int32_t>(clusters_[n].pixels.size()), n,
                               worked.spread[1]};
    EnterSplit(table_, k, n, staying, moving);
    const int clusterCount = n + 1;
    if (clusterCount == kFirstCountDumpClusters || clusterCount == kSecondCountDumpClusters) {
      err.Err("INDEXNO%d %d\n", label, staying.COUNT);
      err.Err("INDEXNO%d %d\n", n, moving.COUNT);
    }
  }

  ColourTable& colours_;
  const SplitContext context_;
  const int threads_;
  const int clusterCount_;
  ClusterTable& table_;
  Clusters& clusters_;
  // What the next split reads of the last one entered.
  int lastThreshold_ = 0;
  int lastAxisIndex_ = 0;
};

}  // namespace

void RenumberColoursByCluster(ColourTable& colours, Clusters& clusters) {
  const uint32_t unset = UINT32_MAX;
  std::vector<uint32_t> newNumber(static_cast<size_t>(colours.colourCount), unset);
  uint32_t next = 0;
  for (const ClusterMembers& cluster : clusters) {
    for (const uint32_t c : cluster.colours) newNumber[c] = next++;
  }
  for (uint32_t& number : newNumber) {
    if (number == unset) number = next++;
  }
  // The members name places in their cluster's table, which stay as they are.
  for (ClusterMembers& cluster : clusters) {
    for (uint32_t& c : cluster.colours) c = newNumber[c];
  }
  colours.Renumber(newNumber);
}

void SplitIntoClusters(ColourTable& colours, const double* edgeStrength,
                       const ReductionParams& params, int threads, int clusterCount,
                       ClusterTable& table, Clusters& clusters, EngineRun& run) {
  Splitter splitter(colours, edgeStrength, params, threads, clusterCount, table, clusters, run);
  splitter.Run();
}

}  // namespace genshoku
