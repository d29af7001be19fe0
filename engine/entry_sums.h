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

// Marks pixels without a colour of their own in a colour plane (edge pixels).
inline constexpr uint32_t kNoColour = UINT32_MAX;

struct EntrySums {
  double y = 0.0, u = 0.0, v = 0.0;
};

// For every entry e with wanted[e], sums[e] receives the sums over the pixels i with
// pixelColour[i] != kNoColour and entryOfColour[pixelColour[i]] == e, in pixel order. The
// other entries' sums are left as they are. `pixelCount` is the weight of each entry (its
// pixel count), used to share the entries out between the threads.
void SumEntriesInPixelOrder(const std::vector<uint32_t>& pixelColour,
                            const std::vector<ColourTable::Working>& working,
                            const uint8_t* entryOfColour,
                            const std::array<bool, kPaletteSize>& wanted,
                            const std::array<int64_t, kPaletteSize>& pixelCount,
                            std::array<EntrySums, kPaletteSize>& sums, EngineRun& run,
                            int threads);

}  // namespace genshoku
