#include "engine/palette_assembly.h"

namespace genshoku {

void AssemblePalette(const ClusterTable& table, const Clusters& clusters, int entryCount,
                     WorkingPalette& palette, EngineRun& run) {
  run.Pump();
  const ClusterRecord* records = table.PT[table.MEN];
  int32_t heldByClusters = 0;
  for (int position = 0; position < entryCount; ++position) {
    heldByClusters += records[position].COUNT;
  }
  run.diagnostics().Out("edge denai gasosuu = %d\n", table.nonEdgeCount);
  run.diagnostics().Out("palette sou gasosuu=%d\n", heldByClusters);

  for (int position = 0; position < entryCount; ++position) {
    const int entry = records[position].INDEXNO;
    const int32_t count = records[position].COUNT;
    if (count != 0) {
      const double n = static_cast<double>(count);
      const Triple& sums = clusters[entry].sums;
      palette.Y[entry] = sums.z / n;
      palette.U[entry] = sums.y / n;
      palette.V[entry] = sums.x / n;
    } else {
      palette.Y[entry] = 255.0;
      palette.U[entry] = 255.0;
      palette.V[entry] = 255.0;
    }
  }
}

}  // namespace genshoku
