// Recorded results of whole reductions. Any change of a palette byte, an index or a
// diagnostic line of these pictures changes its hash: a change of the engine's arithmetic
// must show up here, and an intended one must record new hashes.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>

#include "tests/engine/reference/reduce_colors.h"
#include "tests/engine/support_reduction.h"

namespace genshoku {
namespace {

using test_support::Picture;

Picture FlatBlocks(int width, int height) {
  const int colours[4][3] = {{230, 30, 40}, {20, 160, 60}, {40, 60, 200}, {240, 240, 220}};
  Picture picture(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const int* c = colours[(x * 2 / width) + 2 * (y * 2 / height)];
      picture.Set(x, y, c[0], c[1], c[2]);
    }
  }
  return picture;
}

// A smooth picture with 64 colours: 4 levels per channel.
Picture SixtyFourColours(int width, int height) {
  Picture picture(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      picture.Set(x, y, (x * 4 / width) * 85, (y * 4 / height) * 85,
                  (((x + y) * 4) / (width + height)) * 85);
    }
  }
  return picture;
}

// A picture, the settings it is reduced with and the hash of what the literal engine made.
struct GoldenCase {
  const char* name;
  Picture picture;
  ReductionParams params;
  uint64_t expectedHash;
};

uint64_t ReduceAndHash(Picture picture, const ReductionParams& params,
                       test_support::ReduceFunction reduce = &test_support::EngineReduceColors) {
  const test_support::Reduction reduction =
      test_support::Reduce(picture, params, EngineServices{}, reduce);
  EXPECT_EQ(reduction.result, ReduceResult::Ok);
  return reduction.Hash();
}

TEST(GoldenReductions, PalettesIndicesAndDiagnosticsAreUnchanged) {
  using namespace test_support;
  ReductionParams allEdges;
  allEdges.edgeThreshold = 0;
  Picture ramp(23, 1);
  for (int x = 0; x < 23; ++x) ramp.Set(x, 0, x * 11, 255 - x * 11, x * 37 % 256);
  const GoldenCase cases[] = {
      {"gradient 40x30", GradientPicture(40, 30), {}, 0xfe731083e9d48222ull},
      {"noise 16x16", NoisePicture(16, 16, 1), {}, 0xc3d904a064756d0eull},
      {"noise 24x20, almost every pixel an edge",
       NoisePicture(24, 20, 2),
       {},
       0xd25358d8fbf95d7aull},
      {"noise 10x10, every pixel an edge", NoisePicture(10, 10, 3), allEdges,
       0xe7bddf0913b49383ull},
      {"four flat blocks 24x24", FlatBlocks(24, 24), {}, 0xa233db5b1f034e46ull},
      {"64 colours 32x32", SixtyFourColours(32, 32), {}, 0x1173e4ff59cbac91ull},
      {"1x1", NoisePicture(1, 1, 4), {}, 0xad80225fb648997ull},
      {"1x23", NoisePicture(1, 23, 5), {}, 0x77f167247a764d5aull},
      {"23x1 ramp", ramp, {}, 0x347c370f28420341ull},
  };
  for (const GoldenCase& golden : cases) {
    const uint64_t actual = ReduceAndHash(golden.picture, golden.params);
    EXPECT_EQ(actual, golden.expectedHash) << golden.name << ": 0x" << std::hex << actual << "ull";
  }
}

// Every pixel a colour of its own: red and green run through all pairs.
Picture AllDistinctColours(int width, int height) {
  Picture picture(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) picture.Set(x, y, x & 255, y & 255, (x * 7 + y * 13) & 255);
  }
  return picture;
}

// Pictures of the kinds that once found slow paths (one colour, two colours, stripes,
// single rows and columns, few or all-distinct colours) and the settings that choose the
// other threshold and spread rules, each reduced on one and on two threads. The hashes were
// recorded from the literal engine; GENSHOKU_GOLDEN_FROM_REFERENCE=1 runs it instead (slow:
// minutes).
TEST(GoldenReductions, PicturesOfEveryKindAreUnchanged) {
  using namespace test_support;
  auto with = [](auto change) {
    ReductionParams params;
    change(params);
    return params;
  };
  const ReductionParams otsuOnIntegers = with([](ReductionParams& p) { p.thresholdMode = 0; });
  const ReductionParams heavyLuminance = with([](ReductionParams& p) {
    p.thresholdMode = 0;
    p.weightY = 1000.0;
  });
  const GoldenCase cases[] = {
      {"flat 320x240", FlatPicture(320, 240, 90, 140, 200), {}, 0x35d88defc9e07493ull},
      {"flat 320x240, Otsu on integers", FlatPicture(320, 240, 90, 140, 200), otsuOnIntegers,
       0xe000de17b790f19bull},
      {"flat 200x150, median", FlatPicture(200, 150, 3, 250, 7),
       with([](ReductionParams& p) { p.thresholdMode = 1; }), 0xc6bfe35b977d7f54ull},
      {"flat 200x150, edge-weighted spreads", FlatPicture(200, 150, 128, 128, 128),
       with([](ReductionParams& p) { p.edgeOperator = 4; }), 0xa23f7cf015fbd4bbull},
      {"flat 200x150, largest distance", FlatPicture(200, 150, 0, 0, 0),
       with([](ReductionParams& p) { p.spreadMode = 0; }), 0xaabbeb30d172b85ull},
      {"flat 200x150, variance along the axis", FlatPicture(200, 150, 255, 255, 255),
       with([](ReductionParams& p) { p.spreadMode = 2; }), 0x3a574b055a1006b0ull},
      {"flat 200x150, extent along the axis", FlatPicture(200, 150, 40, 80, 120),
       with([](ReductionParams& p) { p.spreadMode = 5; }), 0xfde41df11195386eull},
      {"two colours 300x200", FewColoursPicture(300, 200, 2, 11), {}, 0xb1f744cf1359344dull},
      {"stripes 256x192", StripesPicture(256, 192, 3), {}, 0x73349f78b0d4ab03ull},
      {"stripes 256x192, mean", StripesPicture(256, 192, 5),
       with([](ReductionParams& p) { p.thresholdMode = 2; }), 0xf7417cb6f2f436b3ull},
      {"16 colours 200x150", FewColoursPicture(200, 150, 16, 12), {}, 0xb442e6ce78c1a69full},
      {"300 colours 240x180", FewColoursPicture(240, 180, 300, 13), {}, 0x205feb002443d998ull},
      {"gradient 400x300", GradientPicture(400, 300), {}, 0xd0fc448b8fbb7724ull},
      {"column 1x3000", GradientPicture(1, 3000), {}, 0x33d0ae8f79e5f72dull},
      {"row 3000x1", GradientPicture(3000, 1), {}, 0x7656c4d16ed96f1cull},
      {"all distinct 256x256", AllDistinctColours(256, 256), {}, 0x9dc502a7c899b81full},
      {"noise 32x24, Otsu on integers, luminance weight 1000", NoisePicture(32, 24, 6),
       heavyLuminance, 0x4ba47f1c58777010ull},
      {"photo-like 320x240, Otsu on integers", PhotoLikePicture(320, 240, 24, 6), otsuOnIntegers,
       0xf8f409507572c11eull},
      {"photo-like 200x150, Otsu on reals", PhotoLikePicture(200, 150, 25, 4),
       with([](ReductionParams& p) { p.thresholdMode = 3; }), 0x8d31018852dcd20bull},
      {"noise 120x90, Otsu on integers, luminance weight 60", NoisePicture(120, 90, 7),
       with([](ReductionParams& p) {
         p.thresholdMode = 0;
         p.weightY = 60.0;
       }),
       0x874d95a3ed5f7578ull},
  };
  const char* fromReference = std::getenv("GENSHOKU_GOLDEN_FROM_REFERENCE");
  const bool literal = fromReference != nullptr && std::string(fromReference) == "1";
  for (const GoldenCase& kind : cases) {
    for (const int threads : {1, 2}) {
      if (literal && threads == 2) continue;
      EngineServices services;
      services.threads = threads;
      Picture picture = kind.picture;
      const Reduction reduction =
          Reduce(picture, kind.params, services,
                 literal ? &reference::ReduceColors : &test_support::EngineReduceColors);
      EXPECT_EQ(reduction.result, ReduceResult::Ok) << kind.name;
      const uint64_t actual = reduction.Hash();
      EXPECT_EQ(actual, kind.expectedHash)
          << kind.name << ", " << threads << " thread(s): 0x" << std::hex << actual << "ull";
    }
  }
}

// Photo-like pictures of a few hundred thousand pixels: smooth shading, grain and hard
// edges give thousands of distinct colours, long k-means refinements and clusters of every
// size, as real photos do. The hashes were recorded from the literal engine; setting
// GENSHOKU_GOLDEN_FROM_REFERENCE=1 runs it instead of the engine (slow: minutes), to check
// them or record new ones.
TEST(GoldenReductions, PhotoLikePicturesAreUnchanged) {
  struct LargeCase {
    int width, height;
    unsigned seed;
    int grain;
    uint64_t expectedHash;
  };
  const LargeCase cases[] = {
      {300, 200, 21, 6, 0x9165e267e9253481ull},
      {640, 480, 22, 3, 0x52e27beac2d382f8ull},
      {1000, 700, 23, 10, 0xdc988560bb846d71ull},
  };
  const char* fromReference = std::getenv("GENSHOKU_GOLDEN_FROM_REFERENCE");
  const bool literal = fromReference != nullptr && std::string(fromReference) == "1";
  for (const LargeCase& large : cases) {
    const uint64_t actual = ReduceAndHash(
        test_support::PhotoLikePicture(large.width, large.height, large.seed, large.grain), {},
        literal ? &reference::ReduceColors : &test_support::EngineReduceColors);
    EXPECT_EQ(actual, large.expectedHash)
        << large.width << "x" << large.height << ": 0x" << std::hex << actual << "ull";
  }
}

}  // namespace
}  // namespace genshoku
