// The pruned nearest-entry search and the candidate grid built on it must give exactly the
// answer of the plain scan (first of equal squared distances) for every point, inside the
// grid's box or not, whichever thread makes a cell first; the bounds of the search for
// the runners-up must never exceed the true distances they bound.

#include "engine/nearest_entry_search.h"
#include "engine/candidate_grid.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <thread>
#include <vector>

namespace genshoku {
namespace {

struct Palette {
  std::vector<double> c[3];
};

// Entries spread over [0, spread) in each coordinate; some repeat an earlier entry, some
// lie in a tight crowd around one spot (so that cells list many candidates).
Palette RandomPalette(std::mt19937& generator, int count, double spread) {
  std::uniform_real_distribution<double> unit(0.0, spread);
  std::normal_distribution<double> crowd(0.0, spread * 0.002);
  Palette palette;
  for (int e = 0; e < count; ++e) {
    const unsigned kind = generator() % 6;
    for (int k = 0; k < 3; ++k) {
      double value = unit(generator);
      if (kind == 0 && e > 0) value = palette.c[k][e - 1];
      if (kind == 1) value = spread * 0.5 + crowd(generator);
      palette.c[k].push_back(value);
    }
  }
  return palette;
}

struct Grid {
  NearestEntrySearch search;
  std::unique_ptr<CandidateGrid> grid;

  Grid(const Palette& palette, int count, double low, double high, int64_t budget) {
    search.SetPalette(palette.c[0].data(), palette.c[1].data(), palette.c[2].data(), count);
    search.MakeAllNeighbourLists();
    const double lows[3] = {low, low, low}, highs[3] = {high, high, high};
    grid = std::make_unique<CandidateGrid>(search, lows, highs, budget);
  }
};

// Points anywhere near the box, on entries, half-way between two, and a little off those.
std::vector<std::array<double, 3>> Points(std::mt19937& generator, const Palette& palette,
                                          int count, double spread, int howMany) {
  std::uniform_real_distribution<double> anywhere(-0.3 * spread, 1.3 * spread);
  std::vector<std::array<double, 3>> points;
  for (int q = 0; q < howMany; ++q) {
    std::array<double, 3> x;
    const int a = int(generator() % unsigned(count)), b = int(generator() % unsigned(count));
    for (int k = 0; k < 3; ++k) {
      switch (q % 4) {
        case 0: x[k] = anywhere(generator); break;
        case 1: x[k] = palette.c[k][a]; break;
        case 2: x[k] = (palette.c[k][a] + palette.c[k][b]) * 0.5; break;
        default: x[k] = std::nextafter(palette.c[k][a], q % 8 < 4 ? -HUGE_VAL : HUGE_VAL);
      }
    }
    points.push_back(x);
  }
  return points;
}

// Two threads look up the same points at once, each from its own start; cells are made by
// whichever comes first, and the other meanwhile takes the pruned search: every answer is
// the plain scan's.
void ExpectTwoThreadsFindWhatTheScanFinds(const Grid& grid,
                                          const std::vector<std::array<double, 3>>& points) {
  std::vector<int> answers[2];
  auto lookUp = [&](int part) {
    for (const auto& x : points) answers[part].push_back(grid.grid->Find(x[0], x[1], x[2], part));
  };
  std::thread helper(lookUp, 1);
  lookUp(0);
  helper.join();
  for (size_t q = 0; q < points.size(); ++q) {
    const int expected = grid.search.FindByScan(points[q][0], points[q][1], points[q][2]);
    ASSERT_EQ(answers[0][q], expected) << q;
    ASSERT_EQ(answers[1][q], expected) << q;
  }
}

TEST(CandidateGrid, AgreesWithThePlainScan) {
  std::mt19937 generator(29);
  for (int trial = 0; trial < 30; ++trial) {
    const int count = 1 + int(generator() % 256);
    const double spread = trial % 3 == 0 ? 6.0 : 2000.0;
    const Palette palette = RandomPalette(generator, count, spread);
    // A box around part of the palette only, and budgets from a handful of cells up.
    const int64_t budget = trial % 2 ? 64 : 200000;
    Grid grid(palette, count, 0.1 * spread, 0.9 * spread, budget);
    for (const auto& x : Points(generator, palette, count, spread, 3000)) {
      const int expected = grid.search.FindByScan(x[0], x[1], x[2]);
      const int start = int(generator() % unsigned(count));
      ASSERT_EQ(grid.grid->Find(x[0], x[1], x[2], start), expected) << trial;
      // Once the cell is made, the same answer from it.
      ASSERT_EQ(grid.grid->Find(x[0], x[1], x[2], start), expected) << trial;
    }
    if (count >= 2 && budget > 64) {
      EXPECT_GT(grid.grid->CellsMade(), 0) << trial;
    }
  }
}

TEST(CandidateGrid, CellsListFewEntriesAndFarPointsStillGetAnAnswer) {
  std::mt19937 generator(31);
  Palette palette;
  std::uniform_real_distribution<double> unit(0.0, 1000.0);
  for (int e = 0; e < 256; ++e) {
    for (int k = 0; k < 3; ++k) palette.c[k].push_back(unit(generator));
  }
  Grid grid(palette, 256, 0.0, 1000.0, 1 << 20);
  std::uniform_real_distribution<double> inside(0.0, 1000.0);
  for (int q = 0; q < 20000; ++q) {
    const double x0 = inside(generator), x1 = inside(generator), x2 = inside(generator);
    ASSERT_EQ(grid.grid->Find(x0, x1, x2, 0), grid.search.FindByScan(x0, x1, x2));
  }
  // Evenly spread entries leave only a few candidates per cell.
  EXPECT_LT(grid.grid->CandidatesListed(), 8 * grid.grid->CellsMade());
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(grid.grid->Find(nan, 1, 2, 7), grid.search.FindByScan(nan, 1, 2));
  EXPECT_EQ(grid.grid->Find(inf, 0, 0, 7), grid.search.FindByScan(inf, 0, 0));
  EXPECT_EQ(grid.grid->Find(-1e300, 5, 5, 7), grid.search.FindByScan(-1e300, 5, 5));
  EXPECT_EQ(grid.grid->Find(1e6, -1e6, 3, 7), grid.search.FindByScan(1e6, -1e6, 3));
}

// A night sky's palette: most entries packed near black, a few spread over the rest. The
// cells near black list too many entries and are cut into fine cells; every answer there,
// from either of two threads making the fine cells, is still the scan's.
TEST(CandidateGrid, CrowdedCellsAreCutAndStillAgreeWithThePlainScan) {
  std::mt19937 generator(41);
  std::uniform_real_distribution<double> dark(0.0, 6.0), anywhere(0.0, 255.0);
  Palette palette;
  for (int e = 0; e < 256; ++e) {
    for (int k = 0; k < 3; ++k)
      palette.c[k].push_back(e < 180 ? dark(generator) : anywhere(generator));
  }
  Grid grid(palette, 256, 0.0, 255.0, 1 << 19);
  std::uniform_real_distribution<double> nearBlack(-1.0, 8.0);
  std::vector<std::array<double, 3>> points;
  for (int q = 0; q < 60000; ++q) {
    points.push_back({nearBlack(generator), nearBlack(generator), nearBlack(generator)});
  }
  // Points on a lattice finer than any cell meet the borders of fine cells too.
  for (int i = 0; i < 40; ++i) {
    for (int j = 0; j < 40; ++j) points.push_back({i * 0.125, j * 0.125, 2.0});
  }
  ExpectTwoThreadsFindWhatTheScanFinds(grid, points);
  EXPECT_GT(grid.grid->CellsCut(), 0);
}

TEST(CandidateGrid, TwoThreadsMakingCellsAgree) {
  std::mt19937 generator(37);
  const Palette palette = RandomPalette(generator, 256, 500.0);
  Grid grid(palette, 256, 0.0, 500.0, 1 << 18);
  const auto points = Points(generator, palette, 256, 500.0, 40000);
  ExpectTwoThreadsFindWhatTheScanFinds(grid, points);
}

TEST(NearestEntrySearch, AgreesWithThePlainScanFromAnyStart) {
  std::mt19937 generator(17);
  for (int trial = 0; trial < 40; ++trial) {
    const int count = 1 + int(generator() % 256);
    const double spread = trial % 2 ? 2000.0 : 4.0;  // sparse, and crowded with near ties
    const Palette palette = RandomPalette(generator, count, spread);
    NearestEntrySearch search;
    search.SetPalette(palette.c[0].data(), palette.c[1].data(), palette.c[2].data(), count);
    std::uniform_real_distribution<double> point(-0.2 * spread, 1.2 * spread);
    for (int q = 0; q < 300; ++q) {
      double x0 = point(generator), x1 = point(generator), x2 = point(generator);
      if (q % 5 == 0) {
        // Exactly on an entry, or exactly half-way between two.
        const int a = int(generator() % unsigned(count)), b = int(generator() % unsigned(count));
        x0 = (palette.c[0][a] + palette.c[0][b]) * 0.5;
        x1 = (palette.c[1][a] + palette.c[1][b]) * 0.5;
        x2 = q % 10 == 0 ? palette.c[2][a] : (palette.c[2][a] + palette.c[2][b]) * 0.5;
      }
      const int expected = search.FindByScan(x0, x1, x2);
      const int start = int(generator() % unsigned(count));
      ASSERT_EQ(search.Find(x0, x1, x2, start), expected) << trial << " " << q;
      NearestEntrySearch::RunnersUp runnersUp;
      ASSERT_EQ(search.FindWithRunnersUp(x0, x1, x2, start, runnersUp), expected)
          << trial << " " << q;
      if (count < 2) continue;
      // The second entry and both bounds: never above a true distance they bound.
      ASSERT_NE(runnersUp.second, expected);
      const auto distance = [&](int e) {
        return std::sqrt(search.SquaredDistance(x0, x1, x2, e)) * (1 + 1e-12);
      };
      ASSERT_LE(runnersUp.secondDistance, distance(runnersUp.second));
      for (int e = 0; e < count; ++e) {
        if (e == expected) continue;
        ASSERT_LE(runnersUp.secondDistance, distance(e)) << trial << " " << q;
        if (e != runnersUp.second) {
          ASSERT_LE(runnersUp.othersBound, distance(e)) << trial << " " << q;
        }
      }
    }
  }
}

// A point too far out for the pruned search takes the plain scan; its second entry is still
// another entry than the nearest, whichever entry the search starts from.
TEST(NearestEntrySearch, RunnersUpOfAFarPointNameAnotherEntry) {
  const double c0[3] = {0.0, 10.0, 5.0}, c1[3] = {0.0, 0.0, 0.0}, c2[3] = {0.0, 0.0, 0.0};
  NearestEntrySearch search;
  search.SetPalette(c0, c1, c2, 3);
  for (const double x0 : {1e150, -1e150}) {
    for (int start = 0; start < 3; ++start) {
      NearestEntrySearch::RunnersUp runnersUp;
      const int nearest = search.FindWithRunnersUp(x0, 0.0, 0.0, start, runnersUp);
      EXPECT_EQ(nearest, search.FindByScan(x0, 0.0, 0.0));
      EXPECT_NE(runnersUp.second, nearest) << x0 << " from " << start;
    }
  }
}

// Neighbour lists made from the previous palette's lists equal lists sorted afresh, list
// every other entry once by increasing distance, and never overstate a distance: whether
// every entry moved, only some, or some lists were skipped for a palette (made by a search
// or not at all) while entries moved.
TEST(NearestEntrySearch, NeighbourListsFollowAMovingPalette) {
  std::mt19937 generator(23);
  std::normal_distribution<double> step(0.0, 0.5);
  for (const int count : {2, 17, 256}) {
    Palette palette = RandomPalette(generator, count, 60.0);
    NearestEntrySearch moving;
    for (int pass = 0; pass < 8; ++pass) {
      moving.SetPalette(palette.c[0].data(), palette.c[1].data(), palette.c[2].data(), count);
      if (pass == 3) {
        // Only the lists the searches need; the next palette starts from stale lists.
        moving.Find(palette.c[0][0], palette.c[1][0], palette.c[2][0], 0);
        moving.MakeNeighbourLists(count / 2, count);
        palette.c[0][1] += 3.0;
        continue;
      }
      moving.MakeAllNeighbourLists();
      NearestEntrySearch fresh;
      fresh.SetPalette(palette.c[0].data(), palette.c[1].data(), palette.c[2].data(), count);
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
      // Every entry moves a little and a few swap places, or every third entry moves.
      for (int e = 0; e < count; ++e) {
        if (pass % 2 == 1 && e % 3 != 0) continue;
        palette.c[0][e] += step(generator);
        palette.c[1][e] += step(generator);
      }
      if (pass % 2 == 0) std::swap(palette.c[2][0], palette.c[2][count - 1]);
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
