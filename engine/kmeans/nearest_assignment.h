#pragma once
// The assignment step of a k-means pass: the nearest entry of every colour that takes part,
// found for most colours without a search (bound_chains.h), and listed as moves where it
// changes.

#include <array>
#include <cstdint>
#include <vector>

#include "engine/colour_table.h"
#include "engine/engine_run.h"
#include "engine/kmeans/bound_chains.h"
#include "engine/kmeans/palette_bounds.h"
#include "engine/kmeans/taking_colours.h"
#include "engine/nearest_entry_search.h"

namespace genshoku {

// A colour that changes its entry: its place among the taking colours and its new entry.
struct ColourMove {
  uint32_t k;
  uint32_t to;
};

class NearestAssignment {
 public:
  // `taking` lists the colours that take part; entryOf (per colour) is their entry in the
  // present assignment, which the moves start from and which the caller keeps up. Entries
  // 0..entryCount-1 of the palettes are searched.
  NearestAssignment(const ColourTable& colours, TakingColourSet taking,
                    const std::vector<uint8_t>& entryOf, EngineRun& run, int threads,
                    int entryCount = kPaletteSize);

  // Lists the moves of every colour whose nearest entry under `current` differs from its
  // present one. `previous` is the palette of the last pass (ignored in the first,
  // haveBounds false). Returns false when some colours lie too near the middle between
  // two entries for the bounds of `current`: make it exact and call SearchUndecided.
  bool Assign(const PaletteBounds& current, const PaletteBounds& previous, bool haveBounds);
  // Searches again, under the now exact `current`, the colours Assign left undecided.
  void SearchUndecided(const PaletteBounds& current);

  // The moves of the last assignment, in two parts (one per thread).
  const std::vector<ColourMove> (&moves() const)[2] { return moves_; }

 private:
  // Where the bounds of a pass stand: the palette measured from, how far true entries may
  // lie from the centres, and whether the chains go on.
  struct Pass {
    const PaletteBounds* current;
    double largestRadius;
    double centreSlack;
    bool haveBounds;
    bool chainsHold;
    std::vector<double> lowerBefore;  // per colour, when the chains restarted
  };
  // How far every entry can have moved since `previous`.
  static std::array<double, kPaletteSize> Shifts(const PaletteBounds& current,
                                                 const PaletteBounds& previous);
  // Part `part` of the colours: those whose bounds do not settle them are searched.
  void AssignPart(const Pass& pass, int part);
  // Colour k, due for a look: settled by its bounds, or searched. Kept inline in the pass,
  // which runs it for every colour its bounds no longer settle.
  [[gnu::always_inline]] inline void Visit(const Pass& pass, int64_t k, int part);
  // Searches the nearest entry of colour k (whose entry is `start`), lists it in `moves`
  // when that changes and starts its chain; false when the bounds of the entries cannot
  // tell it.
  bool Search(const PaletteBounds& current, int64_t k, int start, double largestRadius,
              std::vector<ColourMove>& moves);

  const ColourTable& colours_;
  const TakingColourSet taking_;
  const std::vector<uint8_t>& entryOf_;
  const int entryCount_;
  EngineRun& run_;
  const int threads_;
  NearestEntrySearch search_;
  BoundChains chains_;
  std::vector<ColourMove> moves_[2];   // per part of the last assignment
  std::vector<int64_t> undecided_[2];  // per part: colours the bounds could not tell
};

}  // namespace genshoku
