#pragma once
// The sums of the working colours of the pixels of some palette entries, each added in
// pixel order from 0.0, as a pass over the whole picture adds them.

#include <array>
#include <cstdint>
#include <vector>

#include "engine/colour_table.h"
#include "engine/engine_run.h"
#include "engine/engine_types.h"

namespace genshoku {

struct EntrySums {
  double y = 0.0, u = 0.0, v = 0.0;
};

// For every entry e with wanted[e], sums[e] receives the sums over the pixels that take
// part (not edge pixels) whose colour has entryOfColour[colour] == e, in pixel order. The
// pixels' colours are the colour table's per-pixel colour numbers. The other
// entries' sums are left as they are. `pixelCount` is the weight of each entry (its pixel
// count), used to share the entries out between the threads.
void SumEntriesInPixelOrder(const ColourTable& colours, const uint8_t* entryOfColour,
                            const std::array<bool, kPaletteSize>& wanted,
                            const std::array<int64_t, kPaletteSize>& pixelCount,
                            std::array<EntrySums, kPaletteSize>& sums, EngineRun& run, int threads);

}  // namespace genshoku
