#pragma once
// The nearest palette entry of every colour and every pixel, once the palette is final.

#include <cstdint>
#include <vector>

#include "engine/colour_table.h"
#include "engine/engine_run.h"
#include "engine/engine_types.h"

namespace genshoku {

// Index of the entry nearest to (y, u, v) by squared distance; the lowest index wins ties.
int NearestEntry(const WorkingPalette& palette, double y, double u, double v);

// The nearest of entries 0..entryCount-1 for every colour (taking part or not). `guess` (per
// colour, may be empty) names an entry near each colour, which saves work. Up to two threads; the
// calling one passes progress points to `run`.
std::vector<uint8_t> NearestEntriesOfColours(const ColourTable& colours,
                                             const WorkingPalette& palette, int entryCount,
                                             const std::vector<uint8_t>& guess, EngineRun& run,
                                             int threads);

// Writes the nearest entry of every pixel, whatever its label, into indexPlane. Needs the
// per-pixel colour numbers of the colour table.
void AssignNearestEntries(const ColourTable& colours, const std::vector<uint8_t>& nearest,
                          uint8_t* indexPlane);

}  // namespace genshoku
