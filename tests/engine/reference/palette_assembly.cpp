#include "tests/engine/reference/palette_assembly.h"

namespace genshoku::reference {

void AssemblePalette(int64_t pixelCount, const int16_t* pixelLabel, const double* planeY,
                     const double* planeU, const double* planeV, const ClusterTable& table,
                     WorkingPalette& palette, EngineRun& run) {
  run.Pump();
  // The palette arrays first hold per-label sums. Each entry adds its pixels in pixel
  // order, which is all that fixes the doubles.
  palette = WorkingPalette{};
  for (int64_t i = 0; i < pixelCount; ++i) {
    const int label = pixelLabel[i];
    if (label < 0 || label >= kPaletteSize) continue;
    palette.Y[label] += planeY[i];
    palette.U[label] += planeU[i];
    palette.V[label] += planeV[i];
  }

  const ClusterRecord* records = table.PT[table.MEN];
  int32_t heldByClusters = 0;
  for (int position = 0; position < kPaletteSize; ++position) {
    heldByClusters += records[position].COUNT;
  }
  run.diagnostics().Out("edge denai gasosuu = %d\n", table.nonEdgeCount);
  run.diagnostics().Out("palette sou gasosuu=%d\n", heldByClusters);

  for (int position = 0; position < kPaletteSize; ++position) {
    const int entry = records[position].INDEXNO;
    const int32_t count = records[position].COUNT;
    if (count != 0) {
      const double n = static_cast<double>(count);
      palette.Y[entry] /= n;
      palette.U[entry] /= n;
      palette.V[entry] /= n;
    } else {
      palette.Y[entry] = 255.0;
      palette.U[entry] = 255.0;
      palette.V[entry] = 255.0;
    }
  }
}

}  // namespace genshoku::reference
