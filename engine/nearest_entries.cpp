#include "engine/nearest_entries.h"

#include <cfloat>

#include "engine/nearest_entry_search.h"
#include "engine/parallel.h"
#include "engine/progress_points.h"

namespace genshoku {

int NearestEntry(const WorkingPalette& palette, double y, double u, double v) {
  double bestDistance = DBL_MAX;
  int best = 0;
  for (int i = 0; i < kPaletteSize; ++i) {
    const double dY = y - palette.Y[i];
    const double dU = u - palette.U[i];
    const double dV = v - palette.V[i];
    const double distance = dY * dY + dU * dU + dV * dV;
    if (distance < bestDistance) {
      bestDistance = distance;
      best = i;
    }
  }
  return best;
}

std::vector<uint8_t> NearestEntriesOfColours(const ColourTable& colours,
                                             const WorkingPalette& palette, int entryCount,
                                             const std::vector<uint8_t>& guess, EngineRun& run,
                                             int threads) {
  NearestEntrySearch search;
  search.SetPalette(palette.Y.data(), palette.U.data(), palette.V.data(), entryCount);
  std::vector<uint8_t> nearest(static_cast<size_t>(colours.colourCount));
  RunInTwoParts(threads, [&](int part) {
    int64_t begin, end;
    HalfRange(colours.colourCount, part, begin, end);
    int previous = 0;
    for (int64_t c = begin; c < end; ++c) {
      if (part == 0 && AtProgressPoint(c - begin)) run.Pump();
      const int start = guess.empty() ? previous : guess[c];
      previous =
          search.Find(colours.working[c].y, colours.working[c].u, colours.working[c].v, start);
      nearest[c] = static_cast<uint8_t>(previous);
    }
  });
  return nearest;
}

void AssignNearestEntries(const ColourTable& colours, const std::vector<uint8_t>& nearest,
                          uint8_t* indexPlane) {
  for (int64_t i = 0; i < colours.pixelCount; ++i) indexPlane[i] = nearest[colours.ColourOf(i)];
}

}  // namespace genshoku
