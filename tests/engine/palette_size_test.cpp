// Palettes of any size from 2 to 256 through every phase, and pixels left out of a
// reduction: they shape neither the palette nor the diffusion of the others.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/reduce_colors.h"
#include "tests/engine/support_pictures.h"

namespace genshoku {
namespace {

struct Result {
  ReduceResult result = ReduceResult::InvalidArguments;
  std::vector<uint8_t> indices;
  EnginePalette palette;
};

Result Reduce(test_support::Picture picture, const ReductionParams& params,
              const EngineOptions& options, int threads, const uint8_t* excluded = nullptr) {
  Result out;
  out.indices.assign(picture.r.size(), 0xEE);
  EngineServices services;
  services.threads = threads;
  services.diagnostics = &SilentDiagnostics();
  EngineSource source{picture.width,    picture.height,   picture.r.data(),
                      picture.g.data(), picture.b.data(), excluded};
  out.result = ReduceColors(source, params, options, out.indices.data(), out.palette, services);
  return out;
}

// The best preset's kind of reduction: no edge pixels, RGB refinement, adaptive diffusion.
void BestLike(ReductionParams& params, EngineOptions& options) {
  params.edgeThreshold = 100000;
  params.spreadMode = 2;
  options.refineIterations = 2;
  options.adaptiveDiffusion = 1;
  options.serpentine = 1;
}

double MeanSquaredError(const test_support::Picture& picture, const Result& reduced) {
  double sum = 0.0;
  for (size_t i = 0; i < picture.r.size(); ++i) {
    const int e = reduced.indices[i];
    const double dr = picture.r[i] - reduced.palette.red[e];
    const double dg = picture.g[i] - reduced.palette.green[e];
    const double db = picture.b[i] - reduced.palette.blue[e];
    sum += dr * dr + dg * dg + db * db;
  }
  return sum / static_cast<double>(picture.r.size());
}

// Every size through the window's mappings (nearest entries, both diffusions) and the best
// preset's, with and without k-means: the asked number of entries, every index below it,
// and the same bytes with one thread and two.
TEST(PaletteSize, EverySizeGivesThatManyEntriesWithOneThreadOrTwo) {
  const test_support::Picture picture = test_support::PhotoLikePicture(150, 110, 5, 6);
  struct Variant {
    const char* name;
    int finalMapMode;
    int kmeansOn;
    bool bestLike;
  };
  const Variant variants[] = {{"nearest", 0, 1, false},
                              {"rgb diffusion", 1, 1, false},
                              {"weighted diffusion", 2, 0, false},
                              {"best", 0, 1, true}};
  for (const Variant& variant : variants) {
    for (int size : {2, 3, 16, 17, 255, 256}) {
      ReductionParams params;
      EngineOptions options;
      params.finalMapMode = variant.finalMapMode;
      params.kmeansOn = variant.kmeansOn;
      if (variant.bestLike) BestLike(params, options);
      options.paletteSize = size;
      const std::string what = std::string(variant.name) + ", " + std::to_string(size);
      const Result one = Reduce(picture, params, options, 1);
      const Result two = Reduce(picture, params, options, 2);
      ASSERT_EQ(one.result, ReduceResult::Ok) << what;
      EXPECT_EQ(one.palette.size, size) << what;
      EXPECT_TRUE(std::all_of(one.indices.begin(), one.indices.end(), [size](uint8_t index) {
        return index < size;
      })) << what;
      EXPECT_EQ(one.indices, two.indices) << what;
      EXPECT_TRUE(std::equal(one.palette.red.begin(), one.palette.red.begin() + size,
                             two.palette.red.begin()))
          << what;
    }
  }
}

TEST(PaletteSize, MoreEntriesGiveSmallerErrors) {
  const test_support::Picture picture = test_support::PhotoLikePicture(120, 90, 9, 4);
  double previous = 1e300;
  for (int size : {2, 4, 16, 64, 256}) {
    ReductionParams params;
    EngineOptions options;
    BestLike(params, options);
    options.adaptiveDiffusion = 0;  // nearest entries: the error falls with every entry added
    options.paletteSize = size;
    const Result reduced = Reduce(picture, params, options, 1);
    ASSERT_EQ(reduced.result, ReduceResult::Ok);
    const double error = MeanSquaredError(picture, reduced);
    EXPECT_LT(error, previous) << size;
    previous = error;
  }
}

// The k-means bounds are a speed-up only: widened, they change nothing, at any size.
TEST(PaletteSize, KMeansBoundsChangeNothingAtOtherSizes) {
  const test_support::Picture picture = test_support::PhotoLikePicture(100, 80, 13, 8);
  for (int size : {3, 17, 200}) {
    EngineOptions options;
    options.paletteSize = size;
    const Result plain = Reduce(picture, {}, options, 2);
    options.kmeansBoundsWidening = 8.0;
    const Result widened = Reduce(picture, {}, options, 2);
    EXPECT_EQ(plain.indices, widened.indices) << size;
    EXPECT_EQ(plain.palette.red, widened.palette.red) << size;
  }
}

TEST(PaletteSize, SizesOutsideTwoTo256AreRefused) {
  const test_support::Picture picture = test_support::GradientPicture(8, 8);
  for (int size : {-1, 0, 1, 257}) {
    EngineOptions options;
    options.paletteSize = size;
    EXPECT_EQ(Reduce(picture, {}, options, 1).result, ReduceResult::InvalidArguments) << size;
  }
}

// Few colours are kept exactly at any size that holds them, and reduced when it does not.
TEST(PaletteSize, FewColoursAreKeptExactlyWhenTheyFit) {
  const test_support::Picture picture = test_support::FewColoursPicture(60, 40, 12, 3);
  EngineOptions options;
  options.exactFewColours = true;
  options.paletteSize = 12;
  const Result kept = Reduce(picture, {}, options, 1);
  ASSERT_EQ(kept.result, ReduceResult::Ok);
  EXPECT_EQ(MeanSquaredError(picture, kept), 0.0);
  options.paletteSize = 11;
  const Result reduced = Reduce(picture, {}, options, 1);
  ASSERT_EQ(reduced.result, ReduceResult::Ok);
  EXPECT_EQ(reduced.palette.size, 11);
  EXPECT_GT(MeanSquaredError(picture, reduced), 0.0);
}

// A picture whose left-out pixels are painted another way: the palette and every index of
// the pixels that take part stay the same, in every final mapping, so nothing of the
// left-out pixels reached them (no colour, no diffused error).
TEST(PaletteSize, ExcludedPixelsShapeNeitherThePaletteNorTheOthers) {
  const int width = 90, height = 70;
  const test_support::Picture picture = test_support::PhotoLikePicture(width, height, 21, 6);
  std::vector<uint8_t> excluded(picture.r.size(), 0);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      // A disc and a band: borders in every direction of the diffusions.
      const bool disc = (x - 30) * (x - 30) + (y - 30) * (y - 30) < 15 * 15;
      excluded[static_cast<size_t>(y) * width + x] = disc || (y >= 50 && y < 55);
    }
  }
  test_support::Picture repainted = picture;
  for (size_t i = 0; i < excluded.size(); ++i) {
    if (excluded[i]) repainted.r[i] = repainted.g[i] = repainted.b[i] = (i * 37) & 0xFF;
  }
  for (int finalMapMode : {0, 1, 2}) {
    for (bool adaptive : {false, true}) {
      ReductionParams params;
      EngineOptions options;
      params.edgeThreshold = 100000;  // edges are found from neighbours, left out or not
      params.finalMapMode = finalMapMode;
      options.adaptiveDiffusion = adaptive ? 1 : 0;
      options.refineIterations = adaptive ? 2 : 0;
      options.paletteSize = 40;
      const std::string what = std::to_string(finalMapMode) + (adaptive ? " adaptive" : "");
      const Result first = Reduce(picture, params, options, 2, excluded.data());
      const Result second = Reduce(repainted, params, options, 1, excluded.data());
      ASSERT_EQ(first.result, ReduceResult::Ok) << what;
      EXPECT_EQ(first.palette.red, second.palette.red) << what;
      EXPECT_EQ(first.palette.green, second.palette.green) << what;
      for (size_t i = 0; i < excluded.size(); ++i) {
        if (!excluded[i]) {
          ASSERT_EQ(first.indices[i], second.indices[i]) << what << ", " << i;
        }
      }
    }
  }
}

TEST(PaletteSize, APictureWithEveryPixelExcludedIsRefused) {
  const test_support::Picture picture = test_support::GradientPicture(10, 10);
  const std::vector<uint8_t> excluded(100, 1);
  EXPECT_EQ(Reduce(picture, {}, {}, 1, excluded.data()).result, ReduceResult::InvalidArguments);
}

}  // namespace
}  // namespace genshoku
