#include "engine/kmeans/bound_chains.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <random>

namespace genshoku {
namespace {

// The near-shift tables as their definition reads, step after step: the largest shift among
// the neighbours whose listed distance is at most the step's upper end, rounded up as the
// tables round it.
float PlainRoundedUp(double value) {
  if (!(value < 1e30)) return HUGE_VALF;
  const float rounded = static_cast<float>(value * (1.0 + 1e-6));
  return value > 0.0 && rounded < FLT_MIN ? FLT_MIN : rounded;
}

float PlainNearShift(const NearestEntrySearch& search,
                     const std::array<double, kPaletteSize>& shift, int entry, float stepEnd) {
  const float* distances = search.NeighbourDistances(entry);
  const uint8_t* neighbours = search.NeighbourIndices(entry);
  double largest = 0.0;
  for (int k = 0; k < search.count() - 1; ++k) {
    if (distances[k] <= stepEnd) largest = std::max(largest, shift[neighbours[k]]);
  }
  return PlainRoundedUp(largest);
}

// Upper end of reach step `step` (the bits above the lowest 20 of a float, counted from 2^-16).
float StepEnd(int step) {
  const uint32_t bits = ((0x37800000u >> 20) + static_cast<uint32_t>(step) + 1) << 20;
  float end;
  std::memcpy(&end, &bits, sizeof end);
  return end;
}

// Palettes of every spread, from entries far closer than the first reach step to entries
// beyond the last, with shifts that are often 0 and sometimes huge or infinite.
TEST(BoundChainsTest, NearShiftTablesHoldTheLargestShiftWithinEveryReachStep) {
  std::mt19937 random(20261208);
  for (int trial = 0; trial < 60; ++trial) {
    const int count = trial % 3 == 0 ? 256 : 2 + static_cast<int>(random() % 255);
    const double spread = std::ldexp(1.0, static_cast<int>(random() % 60) - 30);
    std::uniform_real_distribution<double> coordinate(0.0, spread);
    double c0[256], c1[256], c2[256];
    for (int e = 0; e < count; ++e) {
      // Some entries share a place, so that neighbours at distance 0 occur.
      const int copy = e > 0 && random() % 8 == 0 ? static_cast<int>(random() % e) : -1;
      c0[e] = copy >= 0 ? c0[copy] : coordinate(random);
      c1[e] = copy >= 0 ? c1[copy] : coordinate(random);
      c2[e] = copy >= 0 ? c2[copy] : coordinate(random) * (trial % 5 == 0 ? 1e7 : 1.0);
    }
    NearestEntrySearch search;
    search.SetPalette(c0, c1, c2, count);
    search.MakeAllNeighbourLists();
    std::array<double, kPaletteSize> shift{};
    for (int e = 0; e < count; ++e) {
      const unsigned kind = random() % 10;
      shift[e] = kind < 3    ? 0.0
                 : kind < 9  ? std::ldexp(coordinate(random), -static_cast<int>(random() % 40))
                 : trial % 2 ? HUGE_VAL
                             : 1e40;
    }
    BoundChains chains(1);
    chains.MakeNearShiftTables(search, shift, 0, count / 2);
    chains.MakeNearShiftTables(search, shift, count / 2, count);
    for (int e = 0; e < count; ++e) {
      for (int step = 0; step < 320; ++step) {
        // A reach just below the step's upper end falls into that step.
        const double reach = static_cast<double>(StepEnd(step)) * (1.0 - 1e-5);
        ASSERT_EQ(chains.NearShift(e, reach), PlainNearShift(search, shift, e, StepEnd(step)))
            << "trial " << trial << " entry " << e << " step " << step;
      }
      ASSERT_EQ(chains.NearShift(e, HUGE_VAL), PlainNearShift(search, shift, e, HUGE_VALF))
          << "trial " << trial << " entry " << e << " beyond the last step";
    }
  }
}

}  // namespace
}  // namespace genshoku
