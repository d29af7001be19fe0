// The pruned nearest-entry search must give exactly the answer of the plain scan (first of
// equal squared distances), and its second bound must never exceed the true distance to
// any other entry.

#include "engine/nearest_entry_search.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace genshoku {
namespace {

struct Palette {
  std::vector<double> c0, c1, c2;
};

Palette RandomPalette(std::mt19937& generator, int count, double spread, bool withDuplicates) {
  std::uniform_real_distribution<double> unit(0.0, spread);
  Palette palette;
  for (int e = 0; e < count; ++e) {
    if (withDuplicates && e > 0 && generator() % 4 == 0) {
      const int copy = int(generator() % unsigned(e));
      palette.c0.push_back(palette.c0[copy]);
      palette.c1.push_back(palette.c1[copy]);
      palette.c2.push_back(palette.c2[copy]);
    } else {
      palette.c0.push_back(unit(generator));
      palette.c1.push_back(unit(generator));
      palette.c2.push_back(unit(generator));
    }
  }
  return palette;
}

TEST(NearestEntrySearch, AgreesWithThePlainScanFromAnyStart) {
  std::mt19937 generator(17);
  for (int trial = 0; trial < 40; ++trial) {
    const int count = 1 + int(generator() % 256);
    const double spread = trial % 2 ? 2000.0 : 4.0;  // sparse, and crowded with near ties
    const Palette palette = RandomPalette(generator, count, spread, trial % 3 == 0);
    NearestEntrySearch search;
    search.SetPalette(palette.c0.data(), palette.c1.data(), palette.c2.data(), count);
    std::uniform_real_distribution<double> point(-0.2 * spread, 1.2 * spread);
    for (int q = 0; q < 300; ++q) {
      double x0 = point(generator), x1 = point(generator), x2 = point(generator);
      if (q % 5 == 0) {
        // Exactly on an entry, or exactly half-way between two.
        const int a = int(generator() % unsigned(count)), b = int(generator() % unsigned(count));
        x0 = (palette.c0[a] + palette.c0[b]) * 0.5;
        x1 = (palette.c1[a] + palette.c1[b]) * 0.5;
        x2 = q % 10 == 0 ? palette.c2[a] : (palette.c2[a] + palette.c2[b]) * 0.5;
      }
      const int expected = search.FindByScan(x0, x1, x2);
      const int start = int(generator() % unsigned(count));
      double second = 0.0;
      ASSERT_EQ(search.Find(x0, x1, x2, start, &second), expected) << trial << " " << q;
      ASSERT_EQ(search.Find(x0, x1, x2, start), expected) << trial << " " << q;
      for (int e = 0; e < count; ++e) {
        if (e == expected) continue;
        ASSERT_LE(second, std::sqrt(search.SquaredDistance(x0, x1, x2, e)) * (1 + 1e-12));
      }
    }
  }
}

// Neighbour lists made from the previous palette's order equal lists sorted afresh, list
// every other entry once by increasing distance, and never overstate a distance.
TEST(NearestEntrySearch, NeighbourListsFollowAMovingPalette) {
  std::mt19937 generator(23);
  std::normal_distribution<double> step(0.0, 0.5);
  for (const int count : {2, 17, 256}) {
    Palette palette = RandomPalette(generator, count, 60.0, true);
    NearestEntrySearch moving;
    for (int pass = 0; pass < 6; ++pass) {
      moving.SetPalette(palette.c0.data(), palette.c1.data(), palette.c2.data(), count);
      moving.MakeAllNeighbourLists();
      NearestEntrySearch fresh;
      fresh.SetPalette(palette.c0.data(), palette.c1.data(), palette.c2.data(), count);
      fresh.MakeAllNeighbourLists();
      for (int e = 0; e < count; ++e) {
        std::vector<bool> seen(count, false);
        for (int k = 0; k < count - 1; ++k) {
          const int other = moving.NeighbourIndices(e)[k];
          ASSERT_EQ(other, fresh.NeighbourIndices(e)[k]) << count << " " << pass << " " << e;
          ASSERT_EQ(moving.NeighbourDistances(e)[k], fresh.NeighbourDistances(e)[k]);
          ASSERT_NE(other, e);
          ASSERT_FALSE(seen[other]);
          seen[other] = true;
          ASSERT_LE(moving.NeighbourDistances(e)[k], moving.EntryDistance(e, other));
          if (k > 0) {
            ASSERT_LE(moving.NeighbourDistances(e)[k - 1], moving.NeighbourDistances(e)[k]);
          }
        }
      }
      // Every entry moves a little; a few swap places.
      for (int e = 0; e < count; ++e) {
        palette.c0[e] += step(generator);
        palette.c1[e] += step(generator);
      }
      std::swap(palette.c2[0], palette.c2[count - 1]);
    }
  }
}

TEST(NearestEntrySearch, PointsOutOfRangeFallBackToTheScan) {
  const double c0[] = {0, 10, 20}, c1[] = {0, 10, 20}, c2[] = {0, 10, 20};
  NearestEntrySearch search;
  search.SetPalette(c0, c1, c2, 3);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(search.Find(nan, 0, 0, 2), search.FindByScan(nan, 0, 0));
  EXPECT_EQ(search.Find(inf, inf, 0, 1), search.FindByScan(inf, inf, 0));
  EXPECT_EQ(search.Find(-1e300, 0, 0, 2), 0);
}

TEST(NearestEntrySearch, CertainlyBelowKeepsAMargin) {
  EXPECT_TRUE(CertainlyBelow(1.0, 1.001));
  EXPECT_FALSE(CertainlyBelow(1.0, 1.0));
  EXPECT_FALSE(CertainlyBelow(1.0, 1.0 + 1e-12));
  EXPECT_FALSE(CertainlyBelow(0.0, 0.0));
}

}  // namespace
}  // namespace genshoku
