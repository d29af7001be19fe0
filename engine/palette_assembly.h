#pragma once
// The working palette from the clusters: entry i is the mean working colour of the
// pixels labelled i.

#include <cstdint>

#include "engine/divisive_splitting.h"
#include "engine/engine_run.h"
#include "engine/engine_types.h"

namespace genshoku {

// Fills entries 0..entryCount-1 of `palette` (one per cluster): the mean of the pixels labelled
// with the entry's index, or (255, 255, 255) for a cluster without pixels. The sums are the ones
// the splitting made over each cluster's pixels in pixel order. Prints "edge denai gasosuu = %d\n"
// (pixels that took part) and "palette sou gasosuu=%d\n" (pixels held by the clusters) on standard
// output.
void AssemblePalette(const ClusterTable& table, const Clusters& clusters, int entryCount,
                     WorkingPalette& palette, EngineRun& run);

}  // namespace genshoku
