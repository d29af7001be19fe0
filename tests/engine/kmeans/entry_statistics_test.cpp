#include "engine/kmeans/entry_statistics.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "tests/engine/clustering_test_support.h"
#include "tests/engine/support_colour_table.h"

namespace genshoku {
namespace {

using test_support::SameBits;

// Per entry, the sums of its pixels in pixel order under an assignment of the colours.
std::array<EntrySums, kPaletteSize> PlainSums(const ColourTable& table,
                                              const std::vector<uint8_t>& entryOf) {
  std::array<EntrySums, kPaletteSize> sums{};
  for (int64_t i = 0; i < table.pixelCount; ++i) {
    const uint32_t word = table.pixelColour[i];
    if ((word & ColourTable::kEdgeBit) != 0) continue;
    const ColourTable::Working& w = table.working[word];
    EntrySums& s = sums[entryOf[word]];
    s.y += w.y, s.u += w.u, s.v += w.v;
  }
  return sums;
}

std::array<int64_t, kPaletteSize> Counts(const ColourTable& table,
                                         const std::vector<uint8_t>& entryOf) {
  std::array<int64_t, kPaletteSize> counts{};
  for (uint32_t c = 0; c < table.colourCount; ++c) counts[entryOf[c]] += table.takingPart[c];
  return counts;
}

// A random assignment of a random table, then moves of some colours to other entries.
struct Moving {
  ColourTable table = test_support::RandomColourTable(6000, 90'000, 31, 255.0, 6);
  std::vector<uint32_t> taking;
  std::vector<uint8_t> entryOf;
  std::vector<ColourMove> moves[2];
  test_support::TestRun test;

  explicit Moving(int moveEvery) {
    std::mt19937 generator(3);
    entryOf.assign(size_t(table.colourCount), 0);
    for (uint32_t c = 0; c < table.colourCount; ++c) {
      entryOf[c] = uint8_t(generator() % 200);  // entries 200..255 hold nothing
      if (table.takingPart[c] != 0) taking.push_back(c);
    }
    for (uint32_t k = 0; k < taking.size(); ++k) {
      if (k % moveEvery == 0) moves[k % 2].push_back({k, uint32_t(generator() % 256)});
    }
  }
};

TEST(EntryStatistics, MeansOfChangedEntriesAreBoundedAndMadeExactOnTheirPixelsInOrder) {
  for (int threads : {1, 2}) {
    // A few moves stay on one thread; every colour moving is enough for two.
    Moving moving(threads == 1 ? 40 : 1);
    const std::vector<uint8_t> before = moving.entryOf;
    EntryStatistics statistics(moving.table, moving.taking, moving.entryOf, moving.test.run,
                               threads);
    statistics.Start(Counts(moving.table, before), PlainSums(moving.table, before));
    statistics.Move(moving.moves);
    const std::array<int64_t, kPaletteSize> counts = Counts(moving.table, moving.entryOf);
    const std::array<EntrySums, kPaletteSize> sums = PlainSums(moving.table, moving.entryOf);
    PaletteBounds candidate;
    statistics.MeansInto(candidate, 1.0);
    const std::string what = std::to_string(threads) + " thread(s)";
    for (int e = 0; e < kPaletteSize; ++e) {
      ASSERT_EQ(statistics.count(e), counts[e]) << what << ", entry " << e;
      if (counts[e] == 0) continue;
      const double n = double(counts[e]);
      const double mean[3] = {sums[e].y / n, sums[e].u / n, sums[e].v / n};
      const double* lows[3] = {&candidate.low.Y[e], &candidate.low.U[e], &candidate.low.V[e]};
      const double* highs[3] = {&candidate.high.Y[e], &candidate.high.U[e], &candidate.high.V[e]};
      for (int k = 0; k < 3; ++k) {
        EXPECT_LE(*lows[k], mean[k]) << what << ", entry " << e;
        EXPECT_GE(*highs[k], mean[k]) << what << ", entry " << e;
      }
    }
    // Made exact, the candidate holds the means of the pixels added in pixel order.
    std::array<bool, kPaletteSize> wanted{};
    for (int e = 0; e < kPaletteSize; ++e) wanted[e] = counts[e] > 0 && !candidate.Exact(e);
    statistics.MakeExact(wanted, candidate);
    for (int e = 0; e < kPaletteSize; ++e) {
      if (counts[e] == 0) continue;
      const double n = double(counts[e]);
      EXPECT_TRUE(SameBits(candidate.centre.Y[e], sums[e].y / n) &&
                  SameBits(candidate.centre.U[e], sums[e].u / n) &&
                  SameBits(candidate.centre.V[e], sums[e].v / n))
          << what << ", entry " << e;
    }
  }
}

TEST(EntryStatistics, APaletteOfTheAssignmentBeforeTheMovesIsMadeExactOnThatAssignment) {
  Moving moving(3);
  const std::vector<uint8_t> before = moving.entryOf;
  const std::array<int64_t, kPaletteSize> countsBefore = Counts(moving.table, before);
  const std::array<EntrySums, kPaletteSize> sumsBefore = PlainSums(moving.table, before);
  EntryStatistics statistics(moving.table, moving.taking, moving.entryOf, moving.test.run, 1);
  statistics.Start(countsBefore, sumsBefore);
  statistics.Move(moving.moves);
  // A palette known only roughly, as if made from the totals before the moves.
  PaletteBounds palette;
  for (int e = 0; e < kPaletteSize; ++e) {
    const DoubleInterval rough[3] = {{0.0, 1.0}, {0.0, 1.0}, {0.0, 1.0}};
    palette.SetBounds(e, rough, 1.0);
  }
  std::array<bool, kPaletteSize> only{};
  for (int e = 0; e < 100; ++e) only[e] = true;
  statistics.MakeExact(palette, EntryStatistics::MadeFrom::BeforeLastMoves, &only);
  for (int e = 0; e < kPaletteSize; ++e) {
    EXPECT_EQ(palette.Exact(e), e < 100) << e;
    if (e >= 100) continue;
    const double n = double(countsBefore[e]);
    EXPECT_TRUE(SameBits(palette.centre.Y[e], sumsBefore[e].y / n) &&
                SameBits(palette.centre.V[e], sumsBefore[e].v / n))
        << e;
  }
}

}  // namespace
}  // namespace genshoku
