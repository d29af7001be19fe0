#pragma once
// The update step of a k-means pass: what the refinement knows of each entry's pixels under
// the present assignment, kept up as colours move between entries, and the entries' means
// made from it.
//
// Every entry's mean is the sum of its pixels' working colours in pixel order divided by
// their count. An entry whose set of pixels did not change keeps its sums (the same pixels
// added in the same order give the same doubles); for the others the exact totals of their
// values bound the mean between two doubles (sum_bounds.h), and their pixels are added
// again only when a decision depends on where in between it lies.

#include <array>
#include <cstdint>
#include <vector>

#include "engine/colour_table.h"
#include "engine/engine_run.h"
#include "engine/kmeans/entry_sums.h"
#include "engine/kmeans/nearest_assignment.h"
#include "engine/kmeans/palette_bounds.h"
#include "engine/kmeans/sum_bounds.h"
#include "engine/kmeans/taking_colours.h"

namespace genshoku {

class EntryStatistics {
 public:
  // `taking` lists the colours that take part; entryOf (per colour) is their entry in the
  // present assignment, which Move keeps up.
  EntryStatistics(const ColourTable& colours, TakingColourSet taking, std::vector<uint8_t>& entryOf,
                  EngineRun& run, int threads);

  // The first assignment (entryOf as it stands): per entry, its pixel count and the sums
  // of its pixels in pixel order.
  void Start(const std::array<int64_t, kPaletteSize>& counts,
             const std::array<EntrySums, kPaletteSize>& sums);

  int64_t count(int e) const { return counts_[e]; }

  // Moves the colours whose entry changed, keeping up the counts and totals; the
  // assignment before becomes the previous one. `moves` must stay as they are while the
  // previous assignment is used (MakeExact with MadeFrom::BeforeLastMoves).
  void Move(const std::vector<ColourMove> (&moves)[2]);

  // Entry e's mean (e holds pixels) into `candidate`: exact where its sums are known,
  // otherwise within the bounds of its totals, widened by `widening` (a testing seam, 1:
  // as they are). Where the totals cannot bound the mean, the sums are added again.
  void MeansInto(PaletteBounds& candidate, double widening);

  // Makes the entries of `candidate` in `wanted` exact: their sums are added again under
  // the present assignment.
  void MakeExact(const std::array<bool, kPaletteSize>& wanted, PaletteBounds& candidate);

  // The assignments a palette can have been made from.
  enum class MadeFrom { Present, BeforeLastMoves };
  // Makes every entry of `palette` exact (or only those in `only`): the means of the
  // assignment it was made from.
  void MakeExact(PaletteBounds& palette, MadeFrom madeFrom,
                 const std::array<bool, kPaletteSize>* only = nullptr);

 private:
  // The sums of the wanted entries under the present assignment, added over their pixels.
  void AddSumsAgain(const std::array<bool, kPaletteSize>& wanted);

  // What one part of the moves changes: per entry, its totals and its count.
  struct MoveChanges {
    std::array<std::array<FixedTotal, 3>, kPaletteSize> totals{};
    std::array<int64_t, kPaletteSize> counts{};
    std::array<bool, kPaletteSize> touched{};
  };
  // `from` receives the entry each move leaves.
  void GatherMoves(const std::vector<ColourMove>& moves, MoveChanges& changes,
                   std::vector<uint8_t>& from);

  const ColourTable& colours_;
  const TakingColourSet taking_;
  std::vector<uint8_t>& entryOf_;
  EngineRun& run_;
  const int threads_;
  // Per entry under the present assignment: pixel count, exact totals, and the sums in
  // pixel order where known.
  std::array<int64_t, kPaletteSize> counts_{};
  FixedPointScale scale_;
  std::array<std::array<FixedTotal, 3>, kPaletteSize> totals_{};
  std::array<EntrySums, kPaletteSize> sums_{};
  std::array<bool, kPaletteSize> sumsExact_{};
  // The assignment before the last moves: the present one with the last moves undone in
  // place while it is used (a copy in every pass would cost a byte per colour and pass).
  // The moves are those given to Move, which the caller keeps until the next assignment;
  // with them the entries they left, one list per part. And the counts before them.
  const std::vector<ColourMove> (*lastMoves_)[2] = nullptr;
  std::vector<uint8_t> lastFrom_[2];
  std::array<int64_t, kPaletteSize> previousCounts_{};
};

}  // namespace genshoku
