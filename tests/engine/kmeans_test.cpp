#include "tests/engine/reference/kmeans.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "tests/engine/clustering_test_support.h"

namespace genshoku::reference {
namespace {

using test_support::TestRun;

// Pixels with their working colours, labels and source bytes.
struct KMeansPicture {
  std::vector<double> y, u, v;
  std::vector<int16_t> labels;
  std::vector<uint8_t> r, g, b, index;

  void Add(double py, double pu, double pv, uint8_t sourceRed, int16_t label = 0) {
    y.push_back(py);
    u.push_back(pu);
    v.push_back(pv);
    labels.push_back(label);
    r.push_back(sourceRed);
    g.push_back(0);
    b.push_back(0);
    index.push_back(0);
  }
  int64_t size() const { return static_cast<int64_t>(y.size()); }

  void Refine(WorkingPalette& palette, TestRun& test, const ReductionParams& params = {}) {
    RefinePaletteKMeans(size(), y.data(), u.data(), v.data(), labels.data(), r.data(), g.data(),
                        b.data(), params, palette, index.data(), test.run);
  }
};

// 256 entries far apart from each other, entry i at (20 i, i, 0).
WorkingPalette SpreadPalette() {
  WorkingPalette palette;
  for (int i = 0; i < kPaletteSize; ++i) {
    palette.Y[i] = 20.0 * i;
    palette.U[i] = i;
    palette.V[i] = 0.0;
  }
  return palette;
}

int CountLines(const std::string& text, const std::string& prefix) {
  int count = 0;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) count += line.rfind(prefix, 0) == 0;
  return count;
}

TEST(NearestEntry, LowestIndexWinsTies) {
  WorkingPalette palette;
  palette.Y.fill(1e6);
  palette.Y[9] = 0.0;
  palette.Y[5] = 2.0;
  EXPECT_EQ(NearestEntry(palette, 1.0, 0.0, 0.0), 5);  // half-way
  EXPECT_EQ(NearestEntry(palette, 0.9, 0.0, 0.0), 9);
  palette.Y[5] = 0.0;  // duplicate entries
  EXPECT_EQ(NearestEntry(palette, 0.0, 0.0, 0.0), 5);
}

TEST(RefinePaletteKMeans, FixedPointConvergesInPassOneOnIntegerParts) {
  KMeansPicture picture;
  WorkingPalette palette = SpreadPalette();
  palette.Y[0] = 10.2;
  for (int i = 0; i < kPaletteSize; ++i) {
    // Pixel 0 would pull entry 0 to 10.9: the same integer part, so nothing moves.
    picture.Add(i == 0 ? 10.9 : palette.Y[i], palette.U[i], palette.V[i], static_cast<uint8_t>(i));
  }
  // An edge pixel far away influences no mean and keeps its index byte.
  picture.Add(1e5, 0.0, 0.0, 0, LABEL_EDGE);
  picture.index.back() = 77;

  TestRun test;
  picture.Refine(palette, test);
  EXPECT_EQ(test.Err(), "1 iter\n1 iter\n");
  EXPECT_EQ(test.Out(), "");
  EXPECT_EQ(test.host.kmeansPasses, std::vector<int>{1});
  EXPECT_EQ(palette.Y[0], 10.2);
  for (int i = 0; i < kPaletteSize; ++i) EXPECT_EQ(picture.index[i], i);
  EXPECT_EQ(picture.index.back(), 77);

  // The final assignment gives every pixel an index, edge pixels included.
  AssignNearestEntries(picture.size(), picture.y.data(), picture.u.data(), picture.v.data(),
                       palette, picture.index.data());
  EXPECT_EQ(picture.index.back(), 255);
}

TEST(RefinePaletteKMeans, FewColoursStopOnceOnlyEmptyEntriesMove) {
  KMeansPicture picture;
  for (int i = 0; i < 10; ++i) picture.Add(i % 2 ? 100.0 : 0.0, 5.0, 5.0, i % 2);
  WorkingPalette palette;
  palette.Y.fill(255.0);
  palette.U.fill(255.0);
  palette.V.fill(255.0);
  palette.Y[0] = 0.0;
  palette.U[0] = palette.V[0] = 5.0;
  palette.Y[1] = 100.0;
  palette.U[1] = palette.V[1] = 5.0;

  TestRun test;
  picture.Refine(palette, test);
  EXPECT_EQ(test.Err(), "1 iter\n1 iter\n");
  // The redrawn entries were dropped with the candidate palette.
  EXPECT_EQ(palette.Y[2], 255.0);
  EXPECT_EQ(palette.Y[1], 100.0);

  // Entries 2..255 attracted no pixel and were drawn from the engine's generator, in entry
  // order, Y then U then V, within the weighted ranges 1920, 768 and 1024.
  EXPECT_EQ(CountLines(test.Out(), "RAND de dasita palette = "), 254);
  EngineRandom expected;
  std::istringstream lines(test.Out());
  for (std::string line; std::getline(lines, line);) {
    const double ry = expected.Draw() % 1920, ru = expected.Draw() % 768,
                 rv = expected.Draw() % 1024;
    char text[128];
    std::snprintf(text, sizeof text, "RAND de dasita palette = %f %f %f", ry, ru, rv);
    ASSERT_EQ(line, text);
  }
  EXPECT_EQ(test.random.state(), expected.state());
}

TEST(RefinePaletteKMeans, EndsAfterTheLastAllowedPass) {
  // Many distinct source colours, but one working colour: the empty entries are redrawn in
  // every pass and the palette never settles.
  KMeansPicture picture;
  for (int i = 0; i < 300; ++i) {
    picture.Add(50.0, 50.0, 50.0, static_cast<uint8_t>(i % 256));
    picture.g.back() = static_cast<uint8_t>(i / 256);
  }
  WorkingPalette palette = SpreadPalette();
  TestRun test;
  picture.Refine(palette, test);
  ASSERT_EQ(test.host.kmeansPasses.size(), static_cast<size_t>(KMEANS_MAX_PASSES));
  EXPECT_EQ(test.host.kmeansPasses.back(), KMEANS_MAX_PASSES);
  EXPECT_EQ(CountLines(test.Err(), "300 iter"), 2);
  EXPECT_EQ(CountLines(test.Err(), ""), KMEANS_MAX_PASSES + 1);
}

TEST(RefinePaletteKMeans, TinyWeightsDrawZeroInsteadOfDividingByZero) {
  KMeansPicture picture;
  picture.Add(0.0, 0.0, 0.0, 0);
  WorkingPalette palette;
  ReductionParams params;
  params.weightU = 0.001;
  TestRun test;
  picture.Refine(palette, test, params);
  ASSERT_EQ(CountLines(test.Out(), "RAND de dasita palette = "), 255);
  std::istringstream lines(test.Out());
  for (std::string line; std::getline(lines, line);) {
    double ry = -1, ru = -1, rv = -1;
    ASSERT_EQ(std::sscanf(line.c_str(), "RAND de dasita palette = %lf %lf %lf", &ry, &ru, &rv), 3);
    EXPECT_EQ(ru, 0.0) << line;
  }
}

}  // namespace
}  // namespace genshoku::reference
