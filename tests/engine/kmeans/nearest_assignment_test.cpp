#include "engine/kmeans/nearest_assignment.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "engine/nearest_entries.h"
#include "tests/engine/clustering_test_support.h"
#include "tests/engine/support_colour_table.h"

namespace genshoku {
namespace {

// The colours of a random table with their entries, assigned pass after pass.
struct Assigning {
  ColourTable table;
  std::vector<uint32_t> taking;
  std::vector<uint8_t> entryOf;
  test_support::TestRun test;
  NearestAssignment assignment;

  Assigning(int threads, unsigned seed)
      : table(test_support::RandomColourTable(20'000, 60'000, seed, 255.0, 13)),
        taking(TakingColours(table)),
        entryOf(size_t(table.colourCount), 0),
        assignment(table, taking, entryOf, test.run, threads) {}

  static std::vector<uint32_t> TakingColours(const ColourTable& table) {
    std::vector<uint32_t> taking;
    for (uint32_t c = 0; c < table.colourCount; ++c) {
      if (table.takingPart[c] != 0) taking.push_back(c);
    }
    return taking;
  }

  // One pass under `current` (exact entries `truth` where it holds bounds); the moves are
  // applied as the refinement applies them.
  size_t Pass(PaletteBounds& current, const PaletteBounds& previous, bool haveBounds,
              const WorkingPalette& truth) {
    if (!assignment.Assign(current, previous, haveBounds)) {
      for (int e = 0; e < kPaletteSize; ++e)
        current.SetExact(e, truth.Y[e], truth.U[e], truth.V[e]);
      assignment.SearchUndecided(current);
    }
    size_t moved = 0;
    for (const auto& part : assignment.moves()) {
      for (const ColourMove& move : part) entryOf[taking[move.k]] = uint8_t(move.to), ++moved;
    }
    return moved;
  }

  void ExpectNearest(const WorkingPalette& palette, const std::string& what) {
    int wrong = 0;
    for (const uint32_t c : taking) {
      const ColourTable::Working& w = table.working[c];
      wrong += entryOf[c] != NearestEntry(palette, w.y, w.u, w.v);
    }
    EXPECT_EQ(wrong, 0) << what;
  }
};

PaletteBounds ExactPalette(const WorkingPalette& palette) {
  PaletteBounds bounds;
  for (int e = 0; e < kPaletteSize; ++e)
    bounds.SetExact(e, palette.Y[e], palette.U[e], palette.V[e]);
  return bounds;
}

// Passes whose entries drift a little (the bounds carry over), then jump far (the bounds
// start again), then drift again: every colour ends each pass at its nearest entry, the
// lowest index among equals, on one thread as on two.
TEST(NearestAssignment, EveryPassEndsWithEachColourAtItsNearestEntry) {
  for (int threads : {1, 2}) {
    Assigning assigning(threads, 17);
    std::mt19937 generator(5);
    std::uniform_real_distribution<double> place(0.0, 255.0), step(-0.3, 0.3);
    WorkingPalette palette;
    for (int e = 0; e < kPaletteSize; ++e) {
      palette.Y[e] = place(generator), palette.U[e] = place(generator),
      palette.V[e] = place(generator);
    }
    // Two entries in the same place: their colours go to the lower index.
    palette.Y[200] = palette.Y[3], palette.U[200] = palette.U[3], palette.V[200] = palette.V[3];
    PaletteBounds previous, current = ExactPalette(palette);
    std::vector<size_t> moves;
    for (int pass = 1; pass <= 12; ++pass) {
      moves.push_back(assigning.Pass(current, previous, pass > 1, palette));
      assigning.ExpectNearest(palette,
                              std::to_string(threads) + " thread(s), pass " + std::to_string(pass));
      for (int e = 0; e < kPaletteSize; ++e) {
        const double scale = pass == 6 ? 200.0 : 1.0;
        palette.Y[e] += step(generator) * scale;
        palette.U[e] += step(generator) * scale;
        palette.V[e] += step(generator) * scale;
      }
      previous = current;
      current = ExactPalette(palette);
    }
    EXPECT_GT(moves[1], 0u);
  }
}

// Entries known only within wide bounds leave colours undecided; once the palette is made
// exact they are searched again and end at their nearest entries all the same.
TEST(NearestAssignment, ColoursTheBoundsCannotTellAreSearchedOnTheExactPalette) {
  Assigning assigning(2, 23);
  std::mt19937 generator(8);
  std::uniform_real_distribution<double> place(0.0, 255.0);
  WorkingPalette palette;
  for (int e = 0; e < kPaletteSize; ++e) {
    palette.Y[e] = place(generator), palette.U[e] = place(generator),
    palette.V[e] = place(generator);
  }
  PaletteBounds previous = ExactPalette(palette);
  assigning.Pass(previous, previous, false, palette);
  for (int e = 0; e < kPaletteSize; ++e) palette.Y[e] += 0.5;
  PaletteBounds current;
  for (int e = 0; e < kPaletteSize; ++e) {
    const DoubleInterval box[3] = {{palette.Y[e] - 4.0, palette.Y[e] + 4.0},
                                   {palette.U[e] - 4.0, palette.U[e] + 4.0},
                                   {palette.V[e], palette.V[e]}};
    current.SetBounds(e, box, 1.0);
  }
  EXPECT_FALSE(assigning.assignment.Assign(current, previous, true));
  for (int e = 0; e < kPaletteSize; ++e)
    current.SetExact(e, palette.Y[e], palette.U[e], palette.V[e]);
  assigning.assignment.SearchUndecided(current);
  for (const auto& part : assigning.assignment.moves()) {
    for (const ColourMove& move : part)
      assigning.entryOf[assigning.taking[move.k]] = uint8_t(move.to);
  }
  assigning.ExpectNearest(palette, "after the undecided colours were searched");
}

}  // namespace
}  // namespace genshoku
