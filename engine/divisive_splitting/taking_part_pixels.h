#pragma once
// Passes over the pixels of the whole picture that take part in the clustering (those that
// are not edge pixels), in pixel order, as the first split makes them.

#include <algorithm>
#include <cstdint>

#include "engine/colour_table.h"
#include "engine/divisive_splitting/clusters.h"
#include "engine/engine_run.h"
#include "engine/parallel.h"
#include "engine/progress_points.h"

namespace genshoku {

// Calls visit(pixel, colour) for every taking-part pixel in pixel order. The visits read
// their colour's working values, which are fetched ahead. Passes progress points to `run`
// unless it is null (only the engine's own thread may).
template <typename Visit>
void ForEachTakingPartPixel(const ColourTable& colours, EngineRun* run, Visit&& visit) {
  const uint32_t* pixelColour = colours.pixelColour.data();
  const ColourTable::Working* working = colours.working.data();
  const int64_t pixelCount = colours.pixelCount;
  for (int64_t start = 0; start < pixelCount; start += kItemsPerProgressPoint) {
    if (run) run->Pump();
    const int64_t end = std::min(pixelCount, start + kItemsPerProgressPoint);
    for (int64_t i = start; i < end; ++i) {
      if (i + kFetchAhead < pixelCount) {
        __builtin_prefetch(&working[pixelColour[i + kFetchAhead] & ColourTable::kColourMask]);
      }
      const uint32_t colour = pixelColour[i];
      if ((colour & ColourTable::kEdgeBit) == 0) visit(i, colour);
    }
  }
}

// Calls visit(part, state, pixel, colour) for parts 0 and 1 and every taking-part pixel,
// each part in pixel order and with its own state (states[part]): with two threads each
// part passes over the pixels on its own thread, otherwise one pass visits both parts of
// each pixel in turn. The states are worked on as local copies, which can stay in
// registers. Part 0 passes progress points to `run`.
template <typename State, typename Visit>
void ForEachTakingPartPixelInTwoParts(const ColourTable& colours, EngineRun& run, int threads,
                                      State (&states)[2], Visit&& visit) {
  if (threads < 2) {
    State first = states[0], second = states[1];
    ForEachTakingPartPixel(colours, &run, [&](int64_t i, uint32_t c) {
      visit(0, first, i, c);
      visit(1, second, i, c);
    });
    states[0] = first;
    states[1] = second;
    return;
  }
  RunInTwoParts(2, [&](int part) {
    State state = states[part];
    ForEachTakingPartPixel(colours, part == 0 ? &run : nullptr,
                           [&](int64_t i, uint32_t c) { visit(part, state, i, c); });
    states[part] = state;
  });
}

}  // namespace genshoku
