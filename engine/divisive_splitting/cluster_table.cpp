#include "engine/divisive_splitting/cluster_table.h"

namespace genshoku {

int SelectClusterToSplit(const ClusterTable& table, int n, int spreadMode) {
  if (spreadMode < 0 || spreadMode > 5) return 0;
  const ClusterRecord* records = table.PT[table.MEN];
  int best = 0;
  double bestKey = SplitKey(records[0], spreadMode);
  for (int position = 1; position < n; ++position) {
    const double key = SplitKey(records[position], spreadMode);
    if (key > bestKey) {
      bestKey = key;
      best = position;
    }
  }
  return best;
}

int LikeliestNextSplit(const ClusterTable& table, int n, int k, int spreadMode,
                       const std::array<bool, kPaletteSize>& skip) {
  const ClusterRecord* records = table.PT[table.MEN];
  int best = -1;
  double bestKey = 0.0;
  for (int position = 0; position < n; ++position) {
    const ClusterRecord& record = records[position];
    if (position == k || record.COUNT == 0 || skip[record.INDEXNO]) continue;
    const double key = SplitKey(record, spreadMode);
    if (best < 0 || key > bestKey) {
      best = position;
      bestKey = key;
    }
  }
  return best;
}

void EnterSplit(ClusterTable& table, int k, int n, const ClusterRecord& staying,
                const ClusterRecord& moving) {
  const ClusterRecord* previous = table.PT[table.MEN];
  ClusterRecord* rebuilt = table.PT[1 - table.MEN];
  rebuilt[0] = staying;
  rebuilt[1] = moving;
  for (int position = 0; position < k; ++position) rebuilt[position + 2] = previous[position];
  for (int position = k + 1; position < n; ++position) rebuilt[position + 1] = previous[position];
  table.MEN = 1 - table.MEN;
}

}  // namespace genshoku
