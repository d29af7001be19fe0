#include "engine/divisive_splitting/threshold_of_colours.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "engine/integer_parts.h"
#include "tests/engine/clustering_test_support.h"
#include "tests/engine/support_allocation_count.h"
#include "tests/engine/support_colour_table.h"

namespace genshoku {
namespace {

// A colour set of all colours of a random table, with along-axis values from `value`.
struct Colours {
  ColourTable table;
  ColourSet set;
  AxisCoordinates frame;

  template <typename Value>
  Colours(int64_t colourCount, int64_t pixels, unsigned seed, Value&& value)
      : table(test_support::RandomColourTable(colourCount, pixels, seed, 255.0, 5)),
        set{table.working.data(), table.takingPart.data(), {}} {
    const size_t n = static_cast<size_t>(colourCount);
    // The frame's own rotation is left as it starts: centred on 0 and turned by nothing, so
    // the coordinates across the axis are the colours' u and v.
    frame.along.resize(n);
    for (uint32_t c = 0; c < n; ++c) {
      if (table.takingPart[c] != 0) set.numbers.push_back(c);
      frame.along[c] = value(c);
    }
  }
};

TEST(ThresholdOfColours, ColoursComeSortedByValueWhateverHowTheValuesSpread) {
  std::mt19937 generator(4);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const std::vector<std::pair<std::string, std::function<double(uint32_t)>>> spreads = {
      {"dense", [&](uint32_t) { return unit(generator) * 40.0 - 20.0; }},
      {"many ties", [&](uint32_t c) { return double(c % 17) * 0.25; }},
      {"far apart", [&](uint32_t c) { return c % 2 ? 1e9 * unit(generator) : -unit(generator); }},
      {"one value", [&](uint32_t) { return 3.5; }},
  };
  for (const auto& [name, value] : spreads) {
    for (int64_t colourCount : {10, 63, 64, 3000}) {
      const Colours colours(colourCount, colourCount * 3, 9, value);
      const auto sorted = SortedByAlongValue(colours.set, colours.frame.along);
      std::vector<std::pair<double, uint32_t>> pairs;
      for (uint32_t c : colours.set.numbers) pairs.push_back({colours.frame.along[c], c});
      std::sort(pairs.begin(), pairs.end());
      std::vector<uint32_t> expected;
      for (const auto& pair : pairs) expected.push_back(pair.second);
      EXPECT_EQ(sorted, expected) << name << ", " << colourCount << " colours";
    }
  }
}

// The runs must be what a stable sort of the pixels by their along-axis value gives, equal
// neighbours (same colour) counted as one run.
std::vector<ThresholdRun> RunsOfStableSort(const Colours& colours, const MemberList* members) {
  std::vector<uint32_t> pixelColours;
  if (members) {
    for (const Member& member : *members) pixelColours.push_back(member.colour);
  } else {
    for (int64_t i = 0; i < colours.table.pixelCount; ++i) {
      const uint32_t word = colours.table.pixelColour[i];
      if ((word & ColourTable::kEdgeBit) == 0) pixelColours.push_back(word);
    }
  }
  std::stable_sort(pixelColours.begin(), pixelColours.end(), [&](uint32_t a, uint32_t b) {
    return colours.frame.along[a] < colours.frame.along[b];
  });
  std::vector<ThresholdRun> runs;
  for (size_t k = 0; k < pixelColours.size(); ++k) {
    const uint32_t c = pixelColours[k];
    if (k > 0 && pixelColours[k - 1] == c) {
      ++runs.back().repeat;
    } else {
      runs.push_back(
          {colours.frame.along[c], colours.table.working[c].u, colours.table.working[c].v, 1});
    }
  }
  return runs;
}

void ExpectSameRuns(const std::vector<ThresholdRun>& actual,
                    const std::vector<ThresholdRun>& expected, const std::string& what) {
  ASSERT_EQ(actual.size(), expected.size()) << what;
  for (size_t k = 0; k < actual.size(); ++k) {
    ASSERT_TRUE(actual[k].v == expected[k].v && actual[k].p1 == expected[k].p1 &&
                actual[k].p2 == expected[k].p2 && actual[k].repeat == expected[k].repeat)
        << what << ", run " << k;
  }
}

TEST(ThresholdOfColours, RunsFollowAStableSortOfThePixelsAlsoWhereColoursShareAValue) {
  // Values shared by several colours force the pixel-order pass over the tied colours.
  const Colours colours(400, 5000, 6, [](uint32_t c) { return double(c % 37) - 18.0; });
  test_support::TestRun test;
  ExpectSameRuns(SortedRuns(colours.set, colours.frame, {nullptr, &colours.table}, test.run),
                 RunsOfStableSort(colours, nullptr), "whole picture");
  // A cluster's own list names the colours of the set (here: numbered as in the table).
  MemberList members;
  std::vector<Member> list;
  for (int64_t i = 0; i < colours.table.pixelCount; i += 3) {
    const uint32_t word = colours.table.pixelColour[i];
    if ((word & ColourTable::kEdgeBit) == 0) list.push_back({uint32_t(i), word});
  }
  members.resize(list.size());
  std::copy(list.begin(), list.end(), members.begin());
  ColourSet set = colours.set;
  std::vector<uint32_t> pixels(colours.table.colourCount, 0);
  for (const Member& member : list) ++pixels[member.colour];
  set.pixels = pixels.data();
  set.numbers.clear();
  for (uint32_t c = 0; c < pixels.size(); ++c) {
    if (pixels[c] != 0) set.numbers.push_back(c);
  }
  const std::vector<ThresholdRun> runs =
      SortedRuns(set, colours.frame, {&members, nullptr}, test.run);
  ExpectSameRuns(runs, RunsOfStableSort(colours, &members), "cluster list");
}

TEST(ThresholdOfColours, TheHistogramCountsPixelsByRoundedValue) {
  const Colours colours(50, 400, 2, [](uint32_t c) { return double(c) * 0.5 - 3.25; });
  int64_t pixels = 0;
  for (uint32_t c : colours.set.numbers) pixels += colours.table.takingPart[c];
  const IntegerHistogram histogram = HistogramOfColours(colours.set, colours.frame, pixels);
  EXPECT_EQ(histogram.count, pixels);
  int64_t binned = 0;
  for (const int64_t bin : histogram.bins) binned += bin;
  EXPECT_EQ(binned, pixels);
  for (uint32_t c : colours.set.numbers) {
    const int32_t value = RoundHalfUpTruncated(colours.frame.along[c]);
    EXPECT_GE(value, histogram.minimum);
    EXPECT_LE(value, histogram.maximum);
    EXPECT_GE(histogram.bins[size_t(value - histogram.minimum)], colours.table.takingPart[c]);
  }
}

// The search on the colours, whose records are worked out as the sums ask for them, must
// choose what the search on every pixel's own coordinates chooses (rotated one by one and
// sorted stably), with one thread or two, also where colours share a value.
TEST(ThresholdOfColours, TheSearchOnColoursChoosesWhatTheSearchOnPixelsChooses) {
  // Enough pixels for the two-thread sums; a few colours repeat others' working colours, so
  // groups of colours tie on the axis (each group costs a pass over the pixels).
  const int64_t colourCount = 6000, pixelCount = int64_t{1} << 17;
  ColourTable table = test_support::RandomColourTable(colourCount, pixelCount, 21, 255.0, 7);
  for (int64_t c = 300; c < colourCount; c += 300) table.working[c] = table.working[c % 7];
  ColourSet set{table.working.data(), table.takingPart.data(), {}};
  for (uint32_t c = 0; c < colourCount; ++c) {
    if (table.takingPart[c] != 0) set.numbers.push_back(c);
  }
  std::vector<double> y, u, v;
  for (int64_t i = 0; i < pixelCount; ++i) {
    const uint32_t word = table.pixelColour[i];
    if ((word & ColourTable::kEdgeBit) != 0) continue;
    y.push_back(table.working[word].y);
    u.push_back(table.working[word].u);
    v.push_back(table.working[word].v);
  }
  const int64_t count = static_cast<int64_t>(y.size());
  const Triple mean{110.0, 120.5, 130.25};
  for (const Triple& axis :
       {Triple{0.3, -0.5, 0.8}, Triple{1.0, 0.0, 0.0}, Triple{-0.2, 0.9, 0.1}}) {
    AxisCoordinates frame;
    frame.Rotate(set, static_cast<size_t>(colourCount), mean, axis);
    std::vector<double> centredY(y), centredU(u), centredV(v);
    for (int64_t i = 0; i < count; ++i) {
      centredY[i] -= mean.z;
      centredU[i] -= mean.y;
      centredV[i] -= mean.x;
    }
    std::vector<double> along(count), across1(count), across2(count);
    RotateOntoAxis(count, axis, centredY.data(), centredU.data(), centredV.data(), along.data(),
                   across1.data(), across2.data());
    for (const int mode : {3, 4}) {
      test_support::TestRun test;
      const int expected =
          OtsuThresholdReal(count, along.data(), across1.data(), across2.data(), mode, test.run);
      for (const int threads : {1, 2}) {
        const ThresholdRule rule{mode, false, 0};
        EXPECT_EQ(
            ChooseSplitThreshold(set, frame, count, {nullptr, &table}, rule, test.run, threads),
            expected)
            << "mode " << mode << ", " << threads << " threads";
      }
    }
  }
}

// The threshold search of a cluster of many colours keeps a word or two per colour, not
// the records themselves (32 bytes each) nor (value, colour) pairs: on a picture of many
// distinct colours it runs at the peak of the engine's memory.
TEST(ThresholdOfColours, TheSearchKeepsLittleMorePerColourThanItsOrder) {
  const int64_t colourCount = 200000;
  const Colours colours(colourCount, colourCount, 8,
                        [](uint32_t c) { return double((c * 7919u) % 200000u) * 0.001; });
  test_support::TestRun test;
  int64_t pixels = 0;
  for (uint32_t c : colours.set.numbers) pixels += colours.table.takingPart[c];
  const test_support::AllocationCount counting;
  const ThresholdRule rule{4, false, 0};
  ChooseSplitThreshold(colours.set, colours.frame, pixels, {nullptr, &colours.table}, rule,
                       test.run, 2);
  EXPECT_LE(counting.PeakBytes(), 12 * colourCount);
}

}  // namespace
}  // namespace genshoku
