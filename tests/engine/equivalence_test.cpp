// The engine against the literal engine kept in tests/engine/reference: for every picture
// and every setting tried here both must give the same result, palette, indices, diagnostic
// lines, random draws, k-means progress and source planes. The literal engine computes
// every statistic the straightforward way, so any shortcut of the engine that changes a
// single rounding shows up here.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "tests/engine/clustering_test_support.h"
#include "tests/engine/reference/reduce_colors.h"
#include "tests/engine/support_reduction.h"

namespace genshoku {
namespace {

using test_support::Picture;

// A reduction with everything else it leaves behind: the source planes, the generator's
// state and what the host was shown.
struct Outcome {
  test_support::Reduction reduction;
  Picture source{0, 0};
  uint32_t randomState = 0;
  test_support::RecordingHost host;
};

Outcome RunEngine(test_support::ReduceFunction reduce, Picture picture,
                  const ReductionParams& params, int threads) {
  Outcome outcome;
  EngineRandom random(1);
  EngineServices services;
  services.host = &outcome.host;
  services.random = &random;
  services.threads = threads;
  outcome.reduction = test_support::Reduce(picture, params, services, reduce);
  outcome.source = std::move(picture);
  outcome.randomState = random.state();
  return outcome;
}

// Compares field by field so that a failure says what differs.
void ExpectSame(const Outcome& expectedOutcome, const Outcome& actualOutcome,
                const std::string& what) {
  const test_support::Reduction& expected = expectedOutcome.reduction;
  const test_support::Reduction& actual = actualOutcome.reduction;
  EXPECT_EQ(expected.result, actual.result) << what;
  EXPECT_EQ(expected.out, actual.out) << what;
  EXPECT_EQ(expected.err, actual.err) << what;
  EXPECT_TRUE(expected.red == actual.red && expected.green == actual.green &&
              expected.blue == actual.blue)
      << what << ": palettes differ";
  if (expected.indices != actual.indices) {
    size_t first = 0;
    while (expected.indices[first] == actual.indices[first]) ++first;
    ADD_FAILURE() << what << ": indices differ first at pixel " << first << " ("
                  << int(expected.indices[first]) << " vs " << int(actual.indices[first]) << ")";
  }
  const Picture& a = expectedOutcome.source;
  const Picture& b = actualOutcome.source;
  EXPECT_TRUE(a.r == b.r && a.g == b.g && a.b == b.b) << what << ": source planes differ";
  EXPECT_EQ(expectedOutcome.randomState, actualOutcome.randomState) << what;
  EXPECT_EQ(expectedOutcome.host.kmeansPasses, actualOutcome.host.kmeansPasses) << what;
  EXPECT_EQ(expectedOutcome.host.phases, actualOutcome.host.phases) << what;
}

void ExpectEquivalent(const Picture& picture, const ReductionParams& params,
                      const std::string& what, const EngineOptions& options = {}) {
  const Outcome expected = RunEngine(&reference::ReduceColors, picture, params, 1);
  for (int threads : {1, 2}) {
    const Outcome actual =
        RunEngine(test_support::EngineWithOptions(options), picture, params, threads);
    ExpectSame(expected, actual, what + ", " + std::to_string(threads) + " thread(s)");
  }
}

struct NamedPicture {
  std::string name;
  Picture picture;
};

std::vector<NamedPicture> SmallPictures() {
  using namespace test_support;
  return {
      {"photo-like 48x36", PhotoLikePicture(48, 36, 7)},
      {"noise 16x12", NoisePicture(16, 12, 11)},
      {"gradient 40x30", GradientPicture(40, 30)},
      {"5 colours 20x20", FewColoursPicture(20, 20, 5, 3)},
      {"300 colours 33x30", FewColoursPicture(33, 30, 300, 4)},
      {"flat 8x8", FlatPicture(8, 8, 12, 200, 99)},
      {"1x1", NoisePicture(1, 1, 5)},
      {"1x17", NoisePicture(1, 17, 6)},
      {"19x1", GradientPicture(19, 1)},
      {"stripes 24x8", StripesPicture(24, 8, 2)},
      {"smooth photo-like 40x30 without grain", PhotoLikePicture(40, 30, 9, 0)},
  };
}

struct NamedSettings {
  std::string name;
  std::function<void(ReductionParams&)> adjust;
};

std::vector<NamedSettings> SettingSpread() {
  std::vector<NamedSettings> spread = {{"defaults", nullptr}};
  auto add = [&](std::string name, std::function<void(ReductionParams&)> adjust) {
    spread.push_back({std::move(name), std::move(adjust)});
  };
  for (int mode = 0; mode <= 9; ++mode) {
    if (mode != 3)
      add("colourMode " + std::to_string(mode),
          [mode](ReductionParams& p) { p.colourMode = mode; });
  }
  for (int op = 0; op <= 5; ++op) {
    add("edgeOperator " + std::to_string(op), [op](ReductionParams& p) { p.edgeOperator = op; });
  }
  for (int mode = 0; mode <= 3; ++mode) {
    add("thresholdMode " + std::to_string(mode),
        [mode](ReductionParams& p) { p.thresholdMode = mode; });
  }
  for (int mode : {0, 2, 3, 4, 5}) {
    add("spreadMode " + std::to_string(mode), [mode](ReductionParams& p) { p.spreadMode = mode; });
  }
  for (int kernel = 0; kernel <= 3; ++kernel) {
    add("RGB diffusion, kernel " + std::to_string(kernel), [kernel](ReductionParams& p) {
      p.finalMapMode = 1;
      p.diffusionKernel = kernel;
    });
    if (kernel != 0) {
      add("kernel " + std::to_string(kernel),
          [kernel](ReductionParams& p) { p.diffusionKernel = kernel; });
    }
  }
  add("nearest entries only", [](ReductionParams& p) { p.finalMapMode = 0; });
  add("no k-means", [](ReductionParams& p) { p.kmeansOn = 0; });
  add("no k-means, nearest entries only", [](ReductionParams& p) {
    p.kmeansOn = 0;
    p.finalMapMode = 0;
  });
  add("pre-smoothing", [](ReductionParams& p) { p.presmoothOn = 1; });
  add("pre-smoothing 0.3", [](ReductionParams& p) {
    p.presmoothOn = 1;
    p.presmoothCentre = 0.3;
  });
  add("floor 90", [](ReductionParams& p) { p.channelFloor = 90; });
  add("plain squared distances", [](ReductionParams& p) { p.distancePowerOn = 0; });
  add("distance exponent 3", [](ReductionParams& p) { p.distanceExponent = 3.0; });
  add("edge-weighted squares", [](ReductionParams& p) {
    p.edgeOperator = 4;
    p.distancePowerOn = 0;
  });
  add("edge-weighted powers", [](ReductionParams& p) {
    p.edgeOperator = 4;
    p.distanceExponent = 1.5;
    p.edgeWeightExponent = 2.0;
    p.edgeStrengthGain = 3.0;
  });
  add("strength 0", [](ReductionParams& p) { p.diffusionStrength = 0.0; });
  add("strength 1", [](ReductionParams& p) { p.diffusionStrength = 1.0; });
  add("every pixel an edge", [](ReductionParams& p) { p.edgeThreshold = 0; });
  add("edge threshold 5", [](ReductionParams& p) { p.edgeThreshold = 5; });
  add("no edges", [](ReductionParams& p) { p.edgeThreshold = 100000; });
  add("even weights, no gamma, no rotation", [](ReductionParams& p) {
    p.weightY = p.weightU = p.weightV = 1.0;
    p.gammaR = p.gammaG = p.gammaB = p.gammaY = 1.0;
    p.chromaAngle = 0.0;
  });
  return spread;
}

TEST(EngineEquivalence, EverySettingOnSmallPictures) {
  const std::vector<NamedPicture> pictures = SmallPictures();
  const std::vector<NamedSettings> spread = SettingSpread();
  for (size_t s = 0; s < spread.size(); ++s) {
    ReductionParams params;
    if (spread[s].adjust) spread[s].adjust(params);
    // The defaults meet every picture; each other setting a rotating few of them.
    for (size_t p = 0; p < pictures.size(); ++p) {
      if (s != 0 && (p + s) % 4 != 0 && p != 0) continue;
      ExpectEquivalent(pictures[p].picture, params, pictures[p].name + ", " + spread[s].name);
    }
  }
}

// Settings drawn at random from their ranges, several changed at once.
TEST(EngineEquivalence, RandomSettingCombinations) {
  const std::vector<NamedPicture> pictures = SmallPictures();
  std::mt19937 generator(2024);
  auto pick = [&](int low, int high) { return low + int(generator() % unsigned(high - low + 1)); };
  const double gammas[] = {0.8, 1.0, 1.1, 2.2};
  const double weights[] = {0.5, 1.0, 3.0, 7.5};
  for (int trial = 0; trial < 40; ++trial) {
    ReductionParams p;
    p.colourMode = pick(0, 9);
    p.edgeOperator = pick(0, 6);
    p.edgeThreshold = pick(0, 40);
    p.thresholdMode = pick(0, 4);
    p.spreadMode = pick(0, 5);
    p.finalMapMode = pick(0, 2);
    p.diffusionKernel = pick(0, 3);
    p.kmeansOn = pick(0, 1);
    p.presmoothOn = pick(0, 1);
    p.channelFloor = pick(0, 1) * pick(0, 80);
    p.distancePowerOn = pick(0, 1);
    p.distanceExponent = pick(1, 4) * 0.5;
    p.gammaR = gammas[pick(0, 3)];
    p.gammaY = gammas[pick(0, 3)];
    p.weightU = weights[pick(0, 3)];
    p.chromaAngle = pick(-30, 30);
    p.diffusionStrength = pick(0, 4) * 0.25;
    const NamedPicture& picture = pictures[size_t(trial) % pictures.size()];
    ExpectEquivalent(picture.picture, p,
                     picture.name + ", random settings " + std::to_string(trial));
  }
}

// The refinement knows the means of changed entries only within bounds and adds their
// pixels again where a decision depends on the exact value. Widened bounds (with their
// centres moved off the true means) make many decisions fall back on that; the results
// must stay the same: those of the literal engine on small pictures, and those of unwidened
// bounds on a picture that needs many passes.
TEST(EngineEquivalence, KMeansDecisionsOnWidenedBounds) {
  const std::vector<NamedPicture> pictures = SmallPictures();
  const Picture large = test_support::PhotoLikePicture(160, 120, 41, 12);
  const Outcome plain = RunEngine(&test_support::EngineReduceColors, large, ReductionParams{}, 2);
  for (const double widening : {1e3, 1e8, 1e10, 1e11, 1e16}) {
    EngineOptions options;
    options.kmeansBoundsWidening = widening;
    const std::string what = ", bounds widened " + std::to_string(widening);
    for (size_t p : {size_t{0}, size_t{2}, size_t{4}, size_t{10}}) {
      ExpectEquivalent(pictures[p].picture, ReductionParams{}, pictures[p].name + what, options);
    }
    for (int threads : {1, 2}) {
      ExpectSame(
          plain,
          RunEngine(test_support::EngineWithOptions(options), large, ReductionParams{}, threads),
          "photo-like 160x120" + what);
    }
  }
}

}  // namespace
}  // namespace genshoku
