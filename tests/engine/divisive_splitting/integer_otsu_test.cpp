// The Otsu cut on integers against the literal search, which sums both sides of every
// candidate afresh in single precision: sums small enough to be exact, sums large enough to
// round at every step, sparse histograms with wide empty stretches, ties.

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "engine/divisive_splitting/split_threshold.h"
#include "tests/engine/reference/split_threshold.h"

namespace genshoku {
namespace {

int Literal(const std::vector<int32_t>& values) {
  return reference::OtsuThresholdInt(static_cast<int64_t>(values.size()), values.data());
}
int Engine(const std::vector<int32_t>& values) {
  return OtsuThresholdInt(static_cast<int64_t>(values.size()), values.data());
}

TEST(OtsuThresholdInt, MatchesTheLiteralSearchWhereverItsSumsRound) {
  std::mt19937 generator(5);
  struct Shape {
    const char* name;
    int count;
    int32_t low, high;  // values drawn uniformly from low..high
    int clusters;       // 0: uniform; else values gather around this many centres
  };
  const Shape shapes[] = {
      {"exact sums", 3000, -200, 300, 0},
      {"rounding sums, uniform", 40000, -2500, 2500, 0},
      {"rounding sums, two groups", 40000, -2000, 2000, 2},
      {"rounding sums, many groups", 60000, -3000, 1500, 9},
      {"sparse, wide", 300, -8000, 8000, 0},
      {"sparse, few groups", 5000, -6000, 6000, 3},
      {"one side heavy", 50000, 0, 4000, 1},
  };
  for (const Shape& shape : shapes) {
    for (int trial = 0; trial < 3; ++trial) {
      std::vector<int32_t> centres;
      std::uniform_int_distribution<int32_t> anywhere(shape.low, shape.high);
      for (int c = 0; c < shape.clusters; ++c) centres.push_back(anywhere(generator));
      std::normal_distribution<double> spread(0.0, (shape.high - shape.low) / 40.0);
      std::vector<int32_t> values(static_cast<size_t>(shape.count));
      for (int32_t& v : values) {
        if (centres.empty()) {
          v = anywhere(generator);
        } else {
          const int32_t centre = centres[generator() % centres.size()];
          v = std::clamp(static_cast<int32_t>(centre + spread(generator)), shape.low, shape.high);
        }
      }
      EXPECT_EQ(Engine(values), Literal(values)) << shape.name << ", trial " << trial;
    }
  }
}

TEST(OtsuThresholdInt, EqualScoresKeepTheFirstCut) {
  // Symmetric groups with empty bins between them: every cut in the gap scores alike.
  const std::vector<int32_t> gap = {-7, -7, -6, 9, 10, 10};
  EXPECT_EQ(Engine(gap), Literal(gap));
  EXPECT_EQ(Engine(gap), -5);
  const std::vector<int32_t> single = {4, 4, 4};
  EXPECT_EQ(Engine(single), 4);
  // Two million bins, all cuts between the two values alike: the literal search would
  // take hours here.
  const std::vector<int32_t> apart = {-1000000, 1000000};
  EXPECT_EQ(Engine(apart), -999999);
  EXPECT_EQ(OtsuThresholdInt(0, nullptr), 0);
}

}  // namespace
}  // namespace genshoku
