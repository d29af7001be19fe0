#include "engine/reduce_colors.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <regex>
#include <string>
#include <vector>

#include "tests/engine/clustering_test_support.h"
#include "tests/engine/support_reduction.h"

namespace genshoku {
namespace {

using test_support::Picture;

// A reduction whose k-means passes are recorded.
struct Recorded {
  test_support::Reduction reduction;
  std::vector<int> kmeansPasses;
};

Recorded ReduceRecorded(Picture& picture, const ReductionParams& params = {},
                        EngineRandom* random = nullptr) {
  test_support::RecordingHost host;
  EngineServices services;
  services.host = &host;
  services.random = random;
  Recorded recorded{test_support::Reduce(picture, params, services), {}};
  recorded.kmeansPasses = host.kmeansPasses;
  return recorded;
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
  using namespace test_support;
  struct Case {
    const char* name;
    Picture picture;
    ReductionParams params;
  };
  ReductionParams allEdges;
  allEdges.edgeThreshold = 0;  // every pixel counts as an edge pixel
  ReductionParams noKMeans;
  noKMeans.kmeansOn = 0;
  std::vector<Case> cases = {
      {"1x1", NoisePicture(1, 1, 1), {}},
      {"1x9", NoisePicture(1, 9, 2), {}},
      {"9x1", NoisePicture(9, 1, 3), {}},
      {"flat", FlatPicture(8, 8, 200, 120, 40), {}},
      {"noise", NoisePicture(16, 16, 4), {}},
      {"all edges", NoisePicture(12, 12, 5), allEdges},
      {"no k-means", NoisePicture(8, 8, 11), noKMeans},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Picture before = c.picture;
    const Recorded recorded = ReduceRecorded(c.picture, c.params);
    const Reduction& reduction = recorded.reduction;
    ASSERT_EQ(reduction.result, ReduceResult::Ok);
    const CountLines counts = ExpectStandardOutputShape(reduction.out);
    const int pixels = static_cast<int>(c.picture.r.size());
    EXPECT_EQ(counts.held, counts.takingPart);
    if (counts.edges < pixels) {
      EXPECT_EQ(counts.takingPart, pixels - counts.edges);
    } else {
      EXPECT_EQ(counts.takingPart, pixels);  // nobody left out: all pixels take part
    }
    EXPECT_EQ(c.picture.r, before.r);  // the source planes are not touched
    EXPECT_EQ(c.picture.g, before.g);
    EXPECT_EQ(c.picture.b, before.b);
    if (!c.params.kmeansOn) {
      EXPECT_TRUE(recorded.kmeansPasses.empty());
      EXPECT_EQ(reduction.err.find("iter"), std::string::npos);
      continue;
    }
    // The k-means passes report themselves on standard error and end with the last pass
    // printed twice.
    std::smatch last;
    ASSERT_TRUE(std::regex_search(reduction.err, last, std::regex("(\\d+) iter\n(\\d+) iter\n$")));
    EXPECT_EQ(last[1], last[2]);
    EXPECT_EQ(recorded.kmeansPasses.size(), static_cast<size_t>(std::stoi(last[1])));
  }
}

TEST(ReduceColors, FewColoursFinishAndMapEveryPixelToItsOwnColour) {
  Picture stripes(20, 20);
  const uint8_t colours[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {250, 250, 250}};
  for (int y = 0; y < 20; ++y) {
    for (int x = 0; x < 20; ++x) {
      const uint8_t* c = colours[x / 5];  // four vertical stripes
      stripes.Set(x, y, c[0], c[1], c[2]);
    }
  }
  for (Picture picture : {test_support::FlatPicture(6, 5, 200, 120, 40), stripes}) {
    const Recorded recorded = ReduceRecorded(picture);
    const test_support::Reduction& reduction = recorded.reduction;
    ASSERT_EQ(reduction.result, ReduceResult::Ok);
    ExpectStandardOutputShape(reduction.out);
    EXPECT_LE(recorded.kmeansPasses.size(), 3u);
    for (size_t i = 0; i < picture.r.size(); ++i) {
      const uint8_t entry = reduction.indices[i];
      EXPECT_NEAR(reduction.red[entry], picture.r[i], 1) << i;
      EXPECT_NEAR(reduction.green[entry], picture.g[i], 1) << i;
      EXPECT_NEAR(reduction.blue[entry], picture.b[i], 1) << i;
    }
  }
}

TEST(ReduceColors, SameInputSameEdgeCountAndFirstThreshold) {
  Picture picture = test_support::NoisePicture(12, 10, 9);
  EngineRandom shared;  // the second run continues the random sequence of the first
  const test_support::Reduction first = ReduceRecorded(picture, {}, &shared).reduction;
  const test_support::Reduction second = ReduceRecorded(picture, {}, &shared).reduction;
  ASSERT_EQ(first.result, ReduceResult::Ok);
  ASSERT_EQ(second.result, ReduceResult::Ok);
  const std::regex head("^EDGE gasosuu=\\d+\nTHRESH OHTSU2=-?\\d+\n");
  std::smatch a, b;
  ASSERT_TRUE(std::regex_search(first.out, a, head));
  ASSERT_TRUE(std::regex_search(second.out, b, head));
  EXPECT_EQ(a.str(), b.str());
  // From the same generator state everything is the same, byte for byte.
  EXPECT_EQ(ReduceRecorded(picture).reduction.Hash(), ReduceRecorded(picture).reduction.Hash());
}

// Options outside their ranges are refused before anything is touched, each with a message
// that names it; a bounds widening below 1 would make the refinement decide on bounds that
// do not hold the true means.
TEST(ReduceColors, OptionsOutsideTheirRangesAreRefused) {
  EngineOptions defaults;
  const char* message = nullptr;
  EXPECT_TRUE(ValidateEngineOptions(defaults, &message));
  for (const double widening : {0.5, 0.0, -1.0, HUGE_VAL, std::nan("")}) {
    EngineOptions options;
    options.kmeansBoundsWidening = widening;
    message = nullptr;
    EXPECT_FALSE(ValidateEngineOptions(options, &message)) << widening;
    ASSERT_NE(message, nullptr);
    EXPECT_NE(std::string(message).find("kmeansBoundsWidening"), std::string::npos);
    Picture picture = test_support::NoisePicture(4, 4, 3);
    const test_support::Reduction reduction =
        test_support::Reduce(picture, {}, {}, test_support::EngineWithOptions(options));
    EXPECT_EQ(reduction.result, ReduceResult::InvalidArguments) << widening;
    EXPECT_TRUE(reduction.out.empty() && reduction.err.empty());
  }
}

}  // namespace
}  // namespace genshoku
