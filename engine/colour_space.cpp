#include "engine/colour_space.h"

// Placeholder until the colour space is built: the working colour is the source bytes.
namespace genshoku {

void ConvertToWorkingSpace(int width, int height, uint8_t* srcR, uint8_t* srcG, uint8_t* srcB,
                           const ReductionParams&, double* planeY, double* planeU,
                           double* planeV) {
  const int64_t n = static_cast<int64_t>(width) * height;
  for (int64_t i = 0; i < n; ++i) {
    planeY[i] = srcG[i];
    planeU[i] = srcB[i];
    planeV[i] = srcR[i];
  }
}

}  // namespace genshoku
