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
  struct GoldenCase {
    const char* name;
    Picture picture;
    ReductionParams params;
    uint64_t expectedHash;
  };
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
