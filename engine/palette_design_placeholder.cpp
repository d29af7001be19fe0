#include "engine/palette_design_placeholder.h"

namespace genshoku {

void DesignPalettePlaceholder(int64_t pixelCount, const double* planeY, const double* planeU,
                              const double* planeV, WorkingPalette& palette,
                              uint8_t* indexPlane, EngineRun& run) {
  double sumY = 0, sumU = 0, sumV = 0;
  for (int64_t i = 0; i < pixelCount; ++i) {
    sumY += planeY[i];
    sumU += planeU[i];
    sumV += planeV[i];
    indexPlane[i] = 0;
  }
  run.Pump();
  const double n = static_cast<double>(pixelCount);
  for (int i = 0; i < kPaletteSize; ++i) {
    palette.Y[i] = sumY / n;
    palette.U[i] = sumU / n;
    palette.V[i] = sumV / n;
  }
}

}  // namespace genshoku
