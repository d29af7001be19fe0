#pragma once
// The per-pixel colour numbers of the colour table, made again from the clusters before
// their pixel lists go (at the start of the k-means refinement, or at the end of the
// clustering without it).

#include <cstdint>

#include "engine/colour_table.h"
#include "engine/divisive_splitting/clusters.h"
#include "engine/engine_run.h"

namespace genshoku {

// The listed pixels take their numbers from their clusters' colour tables, and only the
// edge pixels look theirs up from their bytes (srcR, srcG, srcB, the prepared planes the
// colour table was made from). The look-up tables and the edge bits are let go afterwards.
// Up to two threads; the calling one passes progress points to `run`.
void RestorePixelColoursFromClusters(ColourTable& colours, const Clusters& clusters,
                                     const uint8_t* srcR, const uint8_t* srcG, const uint8_t* srcB,
                                     EngineRun& run, int threads);

}  // namespace genshoku
