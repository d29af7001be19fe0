#pragma once
// K-means refinement of the working palette and the nearest-entry assignment of every
// pixel.

#include <cstdint>

#include "engine/reduction_params.h"
#include "tests/engine/reference/engine_run.h"
#include "tests/engine/reference/engine_types.h"

namespace genshoku::reference {

// The refinement stops after this many passes even when the palette still moves.
inline constexpr int KMEANS_MAX_PASSES = 300;

// Index of the entry nearest to (y, u, v) by squared distance; the lowest index wins ties.
int NearestEntry(const WorkingPalette& palette, double y, double u, double v);

// Number of distinct source (R, G, B) triples among the pixels not labelled LABEL_EDGE,
// counted up to `limit` (the result never exceeds it).
int CountDistinctColours(int64_t pixelCount, const int16_t* pixelLabel, const uint8_t* srcR,
                         const uint8_t* srcG, const uint8_t* srcB, int limit);

// Lloyd passes over the pixels not labelled LABEL_EDGE: each pass assigns them to their
// nearest entries (written into indexPlane) and computes a candidate palette of the means;
// entries that attract no pixel are drawn at random from run.random() within the weighted
// ranges and reported with "RAND de dasita palette = %f %f %f\n" on standard output.
// Every pass shows its number through run.ShowKmeansProgress and "%d iter\n" on standard
// error. The passes end when the candidate equals the palette in the integer parts of all
// entries; also, for pictures with fewer than 256 distinct source colours among those
// pixels, when only entries without pixels still change, and in every case after
// KMEANS_MAX_PASSES passes. The palette then keeps the values of the last assignment
// and "%d iter\n" is printed once more.
void RefinePaletteKMeans(int64_t pixelCount, const double* planeY, const double* planeU,
                         const double* planeV, const int16_t* pixelLabel, const uint8_t* srcR,
                         const uint8_t* srcG, const uint8_t* srcB, const ReductionParams& params,
                         WorkingPalette& palette, uint8_t* indexPlane, EngineRun& run);

// Writes the nearest entry of every pixel, whatever its label, into indexPlane.
void AssignNearestEntries(int64_t pixelCount, const double* planeY, const double* planeU,
                          const double* planeV, const WorkingPalette& palette, uint8_t* indexPlane);

}  // namespace genshoku::reference
