#pragma once
// The working palette from the 256 clusters: entry i is the mean working colour of the
// pixels labelled i.

#include <cstdint>

#include "tests/engine/reference/divisive_splitting.h"
#include "tests/engine/reference/engine_run.h"
#include "tests/engine/reference/engine_types.h"

namespace genshoku::reference {

// Fills every entry of `palette`: the mean of the pixels labelled with the entry's index,
// or (255, 255, 255) for a cluster without pixels. Edge pixels (LABEL_EDGE) count for no
// entry. Prints "edge denai gasosuu = %d\n" (pixels that took part) and
// "palette sou gasosuu=%d\n" (pixels held by the clusters) on standard output.
void AssemblePalette(int64_t pixelCount, const int16_t* pixelLabel, const double* planeY,
                     const double* planeU, const double* planeV, const ClusterTable& table,
                     WorkingPalette& palette, EngineRun& run);

}  // namespace genshoku::reference
