// Recorded results of whole reductions. Any change of a palette byte, an index or a
// diagnostic line of these pictures changes its hash: a change of the engine's arithmetic
// must show up here, and an intended one must record new hashes.

#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "engine/reduce_colors.h"
#include "tests/engine/reference/reduce_colors.h"
#include "tests/engine/support_pictures.h"

namespace genshoku {
namespace {

struct Picture {
  int width = 0, height = 0;
  std::vector<uint8_t> r, g, b;

  Picture(int w, int h) : width(w), height(h), r(w * h), g(w * h), b(w * h) {}
  void Set(int x, int y, int red, int green, int blue) {
    const size_t i = static_cast<size_t>(y) * width + x;
    r[i] = static_cast<uint8_t>(red);
    g[i] = static_cast<uint8_t>(green);
    b[i] = static_cast<uint8_t>(blue);
  }
};

// FNV-1a, 64 bits.
class Fnv1a {
 public:
  void Add(const uint8_t* data, size_t size) {
    for (size_t i = 0; i < size; ++i) {
      hash_ ^= data[i];
      hash_ *= 0x100000001b3ull;
    }
  }
  void Add(const std::vector<uint8_t>& bytes) { Add(bytes.data(), bytes.size()); }
  void Add(std::string_view text) {
    Add(reinterpret_cast<const uint8_t*>(text.data()), text.size());
  }
  uint64_t value() const { return hash_; }

 private:
  uint64_t hash_ = 0xcbf29ce484222325ull;
};

Picture Gradient(int width, int height) {
  Picture picture(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      picture.Set(x, y, x * 255 / (width - 1), y * 255 / (height - 1),
                  (x + y) * 255 / (width + height - 2));
    }
  }
  return picture;
}

// Random bytes straight from mt19937, whose sequence is fixed by the C++ standard.
Picture Noise(int width, int height, unsigned seed) {
  Picture picture(width, height);
  std::mt19937 generator(seed);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      // Three separate statements: the order of draws must not depend on the compiler's
      // order of evaluating arguments (these pictures were first made blue draw first).
      const int blue = static_cast<int>(generator() & 0xFF);
      const int green = static_cast<int>(generator() & 0xFF);
      const int red = static_cast<int>(generator() & 0xFF);
      picture.Set(x, y, red, green, blue);
    }
  }
  return picture;
}

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

struct GoldenCase {
  const char* name;
  std::function<Picture()> make;
  std::function<void(ReductionParams&)> adjust;
  uint64_t expectedHash;
};

uint64_t ReduceAndHash(const GoldenCase& golden) {
  Picture picture = golden.make();
  ReductionParams params;
  if (golden.adjust) golden.adjust(params);
  std::vector<uint8_t> indices(picture.r.size()), red(256), green(256), blue(256);
  CapturedDiagnostics diagnostics;
  EngineRandom random;
  EngineServices services;
  services.diagnostics = &diagnostics;
  services.random = &random;
  const ReduceResult result =
      ReduceColors(picture.width, picture.height, picture.r.data(), picture.g.data(),
                   picture.b.data(), indices.data(), red.data(), green.data(), blue.data(),
                   params, services);
  EXPECT_EQ(result, ReduceResult::Ok) << golden.name;
  Fnv1a hash;
  hash.Add(red);
  hash.Add(green);
  hash.Add(blue);
  hash.Add(indices);
  hash.Add(diagnostics.Text(DiagnosticStream::Out));
  hash.Add(diagnostics.Text(DiagnosticStream::Err));
  return hash.value();
}

TEST(GoldenReductions, PalettesIndicesAndDiagnosticsAreUnchanged) {
  const std::vector<GoldenCase> cases = {
      {"gradient 40x30", [] { return Gradient(40, 30); }, nullptr, 0xfe731083e9d48222ull},
      {"noise 16x16", [] { return Noise(16, 16, 1); }, nullptr, 0xc3d904a064756d0eull},
      {"noise 24x20, almost every pixel an edge", [] { return Noise(24, 20, 2); }, nullptr,
       0xd25358d8fbf95d7aull},
      {"noise 10x10, every pixel an edge", [] { return Noise(10, 10, 3); },
       [](ReductionParams& p) { p.edgeThreshold = 0; }, 0xe7bddf0913b49383ull},
      {"four flat blocks 24x24", [] { return FlatBlocks(24, 24); }, nullptr, 0xa233db5b1f034e46ull},
      {"64 colours 32x32", [] { return SixtyFourColours(32, 32); }, nullptr, 0x1173e4ff59cbac91ull},
      {"1x1", [] { return Noise(1, 1, 4); }, nullptr, 0xad80225fb648997ull},
      {"1x23", [] { return Noise(1, 23, 5); }, nullptr, 0x77f167247a764d5aull},
      {"23x1 ramp",
       [] {
         Picture picture(23, 1);
         for (int x = 0; x < 23; ++x) picture.Set(x, 0, x * 11, 255 - x * 11, x * 37 % 256);
         return picture;
       },
       nullptr, 0x347c370f28420341ull},
  };
  for (const GoldenCase& golden : cases) {
    const uint64_t actual = ReduceAndHash(golden);
    EXPECT_EQ(actual, golden.expectedHash)
        << golden.name << ": 0x" << std::hex << actual << "ull";
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
    test_support::Picture picture =
        test_support::PhotoLikePicture(large.width, large.height, large.seed, large.grain);
    std::vector<uint8_t> indices(picture.r.size()), red(256), green(256), blue(256);
    CapturedDiagnostics diagnostics;
    EngineRandom random;
    EngineServices services;
    services.diagnostics = &diagnostics;
    services.random = &random;
    const auto reduce = literal ? &reference::ReduceColors : &ReduceColors;
    const ReduceResult result =
        reduce(picture.width, picture.height, picture.r.data(), picture.g.data(),
               picture.b.data(), indices.data(), red.data(), green.data(), blue.data(),
               ReductionParams{}, services);
    EXPECT_EQ(result, ReduceResult::Ok);
    test_support::Fnv1a hash;
    hash.Add(red);
    hash.Add(green);
    hash.Add(blue);
    hash.Add(indices);
    hash.Add(diagnostics.Text(DiagnosticStream::Out));
    hash.Add(diagnostics.Text(DiagnosticStream::Err));
    EXPECT_EQ(hash.value(), large.expectedHash)
        << large.width << "x" << large.height << ": 0x" << std::hex << hash.value() << "ull";
  }
}

}  // namespace
}  // namespace genshoku
