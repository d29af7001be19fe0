#include "engine/kmeans/entry_sums.h"

#include <algorithm>
#include <numeric>

#include "engine/parallel.h"
#include "engine/progress_points.h"

namespace genshoku {

namespace {

// How many pixels ahead the values of a colour are fetched.
constexpr size_t kFetchAhead = 16;

}  // namespace

void SumEntriesInPixelOrder(const ColourTable& colours, const uint8_t* entryOfColour,
                            const std::array<bool, kPaletteSize>& wanted,
                            const std::array<int64_t, kPaletteSize>& pixelCount,
                            std::array<EntrySums, kPaletteSize>& sums, EngineRun& run,
                            int threads) {
  // Every thread passes over the whole picture and adds up its own entries; the larger
  // entries are shared out first, each to the thread with less work so far.
  std::array<int, kPaletteSize> order;
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(),
                   [&](int a, int b) { return pixelCount[a] > pixelCount[b]; });
  std::array<uint8_t, kPaletteSize> partOf{};
  int64_t load[2] = {0, 0};
  int wantedCount = 0;
  for (const int e : order) {
    if (!wanted[e]) continue;
    ++wantedCount;
    const int part = load[0] <= load[1] ? 0 : 1;
    partOf[e] = static_cast<uint8_t>(part);
    load[part] += pixelCount[e];
  }
  if (wantedCount == 0) return;
  const int64_t n = colours.pixelCount;
  const ColourTable::Working* values = colours.working.data();
  const uint32_t* pixelColour = colours.pixelColour.data();
  RunInTwoParts(load[1] > 0 ? threads : 1, [&](int part) {
    // 0: not this thread's entry; 1: this thread's.
    std::array<uint32_t, kPaletteSize> mine{};
    std::array<EntrySums, kPaletteSize> own{};
    for (int e = 0; e < kPaletteSize; ++e) mine[e] = wanted[e] && partOf[e] == part;
    // The colours of this thread's pixels of a stretch are listed first, without branches,
    // so that the look-ups of their values can be fetched ahead.
    std::vector<uint32_t> ownColours(static_cast<size_t>(kItemsPerProgressPoint));
    // The entry whose sums are in registers: consecutive pixels mostly share one.
    int current = -1;
    double y = 0.0, u = 0.0, v = 0.0;
    for (int64_t start = 0; start < n; start += kItemsPerProgressPoint) {
      if (part == 0) run.Pump();
      const int64_t end = std::min(n, start + kItemsPerProgressPoint);
      size_t owned = 0;
      for (int64_t i = start; i < end; ++i) {
        const uint32_t c = pixelColour[i];
        // An edge pixel's number still names a colour of the table.
        const uint32_t number = c & ColourTable::kColourMask;
        const uint32_t notEdge = (c & ColourTable::kEdgeBit) == 0 ? 1u : 0u;
        ownColours[owned] = number;
        owned += mine[entryOfColour[number]] & notEdge;
      }
      for (size_t k = 0; k < owned; ++k) {
        if (k + kFetchAhead < owned) __builtin_prefetch(&values[ownColours[k + kFetchAhead]]);
        const uint32_t c = ownColours[k];
        const int e = entryOfColour[c];
        if (e != current) {
          if (current >= 0) own[current] = {y, u, v};
          current = e;
          y = own[e].y;
          u = own[e].u;
          v = own[e].v;
        }
        const ColourTable::Working& w = values[c];
        y += w.y;
        u += w.u;
        v += w.v;
      }
    }
    if (current >= 0) own[current] = {y, u, v};
    for (int e = 0; e < kPaletteSize; ++e) {
      if (mine[e]) sums[e] = own[e];
    }
  });
}

}  // namespace genshoku
