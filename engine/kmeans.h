#pragma once
// K-means refinement of the working palette.
//
// The nearest entry of a pixel depends only on its colour, so each pass finds it once per
// distinct colour, and for most colours not at all: a colour keeps bounds of its distance
// to its entry and to every other entry, widened by how far the entries moved, and is
// measured again only when the bounds no longer settle it. An entry whose set of pixels
// did not change in a pass keeps its sums (the same pixels added in the same order give the
// same doubles); for the others, exact totals of their values bound the mean (see
// kmeans/sum_bounds.h), and their pixels are added again in pixel order only where a decision
// depends on where within those bounds the mean lies.
//
// The steps live in kmeans/: the colours' pixel numbers made again from the clusters
// (pixel_colours.h), the palette known within bounds (palette_bounds.h), the assignment
// (nearest_assignment.h) with the bounds it carries from pass to pass (bound_chains.h),
// and the update of the entries' counts, totals and means (entry_statistics.h) with the
// bounds of a mean from exact totals (sum_bounds.h) and the sums added again in pixel order
// (entry_sums.h).

#include <cstdint>
#include <vector>

#include "engine/colour_table.h"
#include "engine/divisive_splitting.h"
#include "engine/engine_run.h"
#include "engine/engine_types.h"
#include "engine/reduction_params.h"

namespace genshoku {

// The refinement stops after this many passes even when the palette still moves.
inline constexpr int KMEANS_MAX_PASSES = 300;

// Lloyd passes over the pixels that take part in clustering, starting from the clusters
// (whose pixel lists and sums it takes over): each pass assigns them to their nearest
// entries and computes a candidate palette of the means; entries that attract no pixel are
// drawn at random from run.random() within the weighted ranges and reported with
// "RAND de dasita palette = %f %f %f\n" on standard output. Every pass shows its number
// through run.ShowKmeansProgress and "%d iter\n" on standard error. The passes end when the
// candidate equals the palette in the integer parts of all entries; also, for pictures with
// fewer distinct colours among those pixels than entries, when only entries without pixels
// still change, and in every case after KMEANS_MAX_PASSES passes. The palette then keeps
// the values of the last assignment, and "%d iter\n" is printed once more. entryOfColour
// receives, for every colour that takes part, its entry in the last assignment.
// srcR, srcG, srcB are the prepared planes the colour table was made from; before the
// clusters' pixel lists are let go, the colour table's per-pixel colour numbers are made
// again from the lists and, for edge pixels, from the planes.
// Entries 0..entryCount-1 (2..256) of the palette take part; the others are left alone.
// boundsWidening is a testing seam (EngineOptions::kmeansBoundsWidening): above 1 it
// widens the bounds within which the means of changed entries are known, so that more
// decisions are taken on the pixels added again; the results must not change.
void RefinePaletteKMeans(ColourTable& colours, const uint8_t* srcR, const uint8_t* srcG,
                         const uint8_t* srcB, Clusters& clusters, const ReductionParams& params,
                         WorkingPalette& palette, std::vector<uint8_t>& entryOfColour,
                         EngineRun& run, int threads, int entryCount = kPaletteSize,
                         double boundsWidening = 1.0);

}  // namespace genshoku
