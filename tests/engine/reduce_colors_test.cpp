#include "engine/reduce_colors.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "tests/engine/clustering_test_support.h"

namespace genshoku {
namespace {

struct Picture {
  int width = 0, height = 0;
  std::vector<uint8_t> r, g, b;

  Picture(int w, int h) : width(w), height(h), r(w * h), g(w * h), b(w * h) {}
  size_t size() const { return r.size(); }
};

struct Reduction {
  ReduceResult result = ReduceResult::InvalidArguments;
  std::vector<uint8_t> indices;
  std::vector<uint8_t> red, green, blue;
  CapturedDiagnostics diagnostics;
  test_support::RecordingHost host;

  std::string Out() const { return diagnostics.Text(DiagnosticStream::Out); }
  std::string Err() const { return diagnostics.Text(DiagnosticStream::Err); }
};

void Reduce(Picture& picture, Reduction& reduction, const ReductionParams& params = {},
            EngineRandom* random = nullptr) {
  reduction.indices.assign(picture.size(), 0);
  reduction.red.assign(256, 0);
  reduction.green.assign(256, 0);
  reduction.blue.assign(256, 0);
  EngineServices services;
  services.host = &reduction.host;
  services.diagnostics = &reduction.diagnostics;
  services.random = random;
  reduction.result = ReduceColors(picture.width, picture.height, picture.r.data(),
                                  picture.g.data(), picture.b.data(), reduction.indices.data(),
                                  reduction.red.data(), reduction.green.data(),
                                  reduction.blue.data(), params, services);
}

Picture Noise(int width, int height, unsigned seed) {
  Picture picture(width, height);
  std::mt19937 generator(seed);
  for (size_t i = 0; i < picture.size(); ++i) {
    picture.r[i] = static_cast<uint8_t>(generator());
    picture.g[i] = static_cast<uint8_t>(generator());
    picture.b[i] = static_cast<uint8_t>(generator());
  }
  return picture;
}

Picture Flat(int width, int height) {
  Picture picture(width, height);
  for (size_t i = 0; i < picture.size(); ++i) {
    picture.r[i] = 200;
    picture.g[i] = 120;
    picture.b[i] = 40;
  }
  return picture;
}

// The standard-output lines every reduction prints, in this order, with the counts read
// back: edge pixels, pixels taking part, pixels held by the clusters.
struct CountLines {
  int edges = -1, takingPart = -1, held = -1;
};

CountLines ExpectStandardOutputShape(const std::string& out) {
  const std::regex shape(
      "EDGE gasosuu=(\\d+)\nTHRESH OHTSU2=-?\\d+\n"
      "edge denai gasosuu = (\\d+)\npalette sou gasosuu=(\\d+)\n"
      "(RAND de dasita palette = \\d+\\.0{6} \\d+\\.0{6} \\d+\\.0{6}\n)*");
  std::smatch match;
  CountLines counts;
  EXPECT_TRUE(std::regex_match(out, match, shape)) << out.substr(0, 400);
  if (match.empty()) return counts;
  counts.edges = std::stoi(match[1]);
  counts.takingPart = std::stoi(match[2]);
  counts.held = std::stoi(match[3]);
  return counts;
}

TEST(ReduceColors, DegeneratePicturesAreReduced) {
  struct Case {
    const char* name;
    Picture picture;
    ReductionParams params;
  };
  ReductionParams allEdges;
  allEdges.edgeThreshold = 0;  // every pixel counts as an edge pixel
  std::vector<Case> cases = {
      {"1x1", Noise(1, 1, 1), {}},        {"1x9", Noise(1, 9, 2), {}},
      {"9x1", Noise(9, 1, 3), {}},        {"flat", Flat(8, 8), {}},
      {"noise", Noise(16, 16, 4), {}},    {"all edges", Noise(12, 12, 5), allEdges},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Picture before = c.picture;
    Reduction reduction;
    Reduce(c.picture, reduction, c.params);
    ASSERT_EQ(reduction.result, ReduceResult::Ok);
    const CountLines counts = ExpectStandardOutputShape(reduction.Out());
    const int pixels = static_cast<int>(c.picture.size());
    EXPECT_EQ(counts.held, counts.takingPart);
    if (counts.edges < pixels) {
      EXPECT_EQ(counts.takingPart, pixels - counts.edges);
    } else {
      EXPECT_EQ(counts.takingPart, pixels);  // nobody left out: all pixels take part
    }
    EXPECT_EQ(c.picture.r, before.r);  // the source planes are not touched
    EXPECT_EQ(c.picture.g, before.g);
    EXPECT_EQ(c.picture.b, before.b);
    // The k-means passes report themselves on standard error and end with the last pass
    // printed twice.
    const std::string err = reduction.Err();
    std::smatch last;
    ASSERT_TRUE(std::regex_search(err, last, std::regex("(\\d+) iter\n(\\d+) iter\n$")));
    EXPECT_EQ(last[1], last[2]);
    EXPECT_EQ(reduction.host.kmeansPasses.size(), static_cast<size_t>(std::stoi(last[1])));
  }
}

TEST(ReduceColors, FlatPictureMapsEveryPixelToItsColour) {
  Picture picture = Flat(6, 5);
  Reduction reduction;
  Reduce(picture, reduction);
  ASSERT_EQ(reduction.result, ReduceResult::Ok);
  const uint8_t entry = reduction.indices[0];
  for (uint8_t index : reduction.indices) EXPECT_EQ(index, entry);
  EXPECT_NEAR(reduction.red[entry], 200, 1);
  EXPECT_NEAR(reduction.green[entry], 120, 1);
  EXPECT_NEAR(reduction.blue[entry], 40, 1);
}

TEST(ReduceColors, FewColoursFinishAndUseOnlyTheirEntries) {
  Picture picture(20, 20);
  const uint8_t colours[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {250, 250, 250}};
  for (size_t i = 0; i < picture.size(); ++i) {
    const int c = static_cast<int>((i % 20) / 5);  // four vertical stripes
    picture.r[i] = colours[c][0];
    picture.g[i] = colours[c][1];
    picture.b[i] = colours[c][2];
  }
  Reduction reduction;
  Reduce(picture, reduction);
  ASSERT_EQ(reduction.result, ReduceResult::Ok);
  ExpectStandardOutputShape(reduction.Out());
  EXPECT_LE(reduction.host.kmeansPasses.size(), 3u);
  for (size_t i = 0; i < picture.size(); ++i) {
    const uint8_t entry = reduction.indices[i];
    EXPECT_NEAR(reduction.red[entry], picture.r[i], 1) << i;
    EXPECT_NEAR(reduction.green[entry], picture.g[i], 1) << i;
    EXPECT_NEAR(reduction.blue[entry], picture.b[i], 1) << i;
  }
}

TEST(ReduceColors, SameInputSameEdgeCountAndFirstThreshold) {
  Picture picture = Noise(12, 10, 9);
  EngineRandom shared;  // the second run continues the random sequence of the first
  Reduction first, second;
  Reduce(picture, first, {}, &shared);
  Reduce(picture, second, {}, &shared);
  ASSERT_EQ(first.result, ReduceResult::Ok);
  ASSERT_EQ(second.result, ReduceResult::Ok);
  const std::regex head("^EDGE gasosuu=\\d+\nTHRESH OHTSU2=-?\\d+\n");
  std::smatch a, b;
  const std::string outA = first.Out(), outB = second.Out();
  ASSERT_TRUE(std::regex_search(outA, a, head));
  ASSERT_TRUE(std::regex_search(outB, b, head));
  EXPECT_EQ(a.str(), b.str());

  // From the same generator state everything is the same, byte for byte.
  Reduction third, fourth;
  Reduce(picture, third);
  Reduce(picture, fourth);
  EXPECT_EQ(third.indices, fourth.indices);
  EXPECT_EQ(third.red, fourth.red);
  EXPECT_EQ(third.green, fourth.green);
  EXPECT_EQ(third.blue, fourth.blue);
  EXPECT_EQ(third.diagnostics.AllText(), fourth.diagnostics.AllText());
}

TEST(ReduceColors, WithoutKMeansNoPassRuns) {
  Picture picture = Noise(8, 8, 11);
  ReductionParams params;
  params.kmeansOn = 0;
  Reduction reduction;
  Reduce(picture, reduction, params);
  ASSERT_EQ(reduction.result, ReduceResult::Ok);
  EXPECT_TRUE(reduction.host.kmeansPasses.empty());
  EXPECT_EQ(reduction.Err().find("iter"), std::string::npos);
}

TEST(ReduceColors, EveryThresholdAndSpreadModeRuns) {
  for (int thresholdMode = 0; thresholdMode <= 4; ++thresholdMode) {
    for (int spreadMode = 0; spreadMode <= 5; ++spreadMode) {
      SCOPED_TRACE(std::to_string(thresholdMode) + "/" + std::to_string(spreadMode));
      Picture picture = Noise(7, 6, 13);
      ReductionParams params;
      params.thresholdMode = thresholdMode;
      params.spreadMode = spreadMode;
      params.kmeansOn = 0;
      Reduction reduction;
      Reduce(picture, reduction, params);
      EXPECT_EQ(reduction.result, ReduceResult::Ok);
    }
  }
  ReductionParams edgeWeighted;
  edgeWeighted.edgeOperator = 4;
  Picture picture = Noise(9, 9, 17);
  Reduction reduction;
  Reduce(picture, reduction, edgeWeighted);
  EXPECT_EQ(reduction.result, ReduceResult::Ok);
}

TEST(ReduceColors, HostCanStopTheReduction) {
  Picture picture = Noise(10, 10, 21);
  for (int64_t stopAfter : {0, 1, 50, 2000}) {
    Reduction reduction;
    reduction.host.stopAfter = stopAfter;
    Reduce(picture, reduction);
    EXPECT_EQ(reduction.result, ReduceResult::Stopped) << stopAfter;
  }
}

}  // namespace
}  // namespace genshoku
