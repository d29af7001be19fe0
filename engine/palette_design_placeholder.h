#pragma once
// Placeholder for the palette design (first split, divisive splitting, palette assembly,
// k-means, nearest entries) until those phases are built. Keeps the output valid: every
// entry is the mean working colour of the picture and every pixel gets index 0.

#include <cstdint>

#include "engine/engine_run.h"
#include "engine/engine_types.h"

namespace genshoku {

void DesignPalettePlaceholder(int64_t pixelCount, const double* planeY, const double* planeU,
                              const double* planeV, WorkingPalette& palette,
                              uint8_t* indexPlane, EngineRun& run);

}  // namespace genshoku
