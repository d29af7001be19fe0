// Reductions that keep transparency: every pixel keeps its class (transparent, partly
// transparent, opaque), partial alpha stays close, and the palette is shared out sensibly.

#include "engine/alpha_reduction.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/premultiplied_palette.h"
#include "tests/engine/support_pictures.h"

namespace genshoku {
namespace {

struct AlphaPicture {
  test_support::Picture colours;
  std::vector<uint8_t> alpha;
};

// A photo-like picture on a transparent field, with a soft edge of partial alpha around a
// disc and an opaque block: all three classes, with colour hidden under the transparency.
AlphaPicture SoftDiscPicture(int width, int height) {
  AlphaPicture picture{test_support::PhotoLikePicture(width, height, 17, 6), {}};
  picture.alpha.resize(picture.colours.r.size());
  const double radius = width / 3.0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const double dx = x - width / 2.0, dy = y - height / 2.0;
      const double fromEdge = radius - std::sqrt(dx * dx + dy * dy);
      int a = fromEdge >= 6.0 ? 255 : fromEdge <= 0.0 ? 0 : static_cast<int>(fromEdge * 42.0);
      if (x < 12 && y < 12) a = 255;
      picture.alpha[static_cast<size_t>(y) * width + x] = static_cast<uint8_t>(a);
    }
  }
  return picture;
}

struct Reduced {
  ReduceResult result = ReduceResult::InvalidArguments;
  std::vector<uint8_t> indices;
  AlphaPalette palette;
};

Reduced Reduce(AlphaPicture picture, const EngineOptions& options, int threads = 1,
               int finalMapMode = 0) {
  Reduced out;
  out.indices.assign(picture.alpha.size(), 0);
  ReductionParams params;
  params.edgeThreshold = 100000;
  params.finalMapMode = finalMapMode;
  EngineServices services;
  services.threads = threads;
  services.diagnostics = &SilentDiagnostics();
  const EngineSource source{picture.colours.width, picture.colours.height, picture.colours.r.data(),
                            picture.colours.g.data(), picture.colours.b.data()};
  out.result = ReduceColorsWithAlpha(source, picture.alpha.data(), params, options,
                                     out.indices.data(), out.palette, services);
  return out;
}

int ClassOf(int alpha) { return alpha == 0 ? 0 : alpha == 255 ? 2 : 1; }

TEST(AlphaReduction, EveryPixelKeepsItsClassAndPartialAlphaStaysClose) {
  const AlphaPicture picture = SoftDiscPicture(120, 100);
  for (bool diffused : {false, true}) {
    for (int size : {2, 3, 16, 256}) {
      EngineOptions options;
      options.paletteSize = size;
      options.adaptiveDiffusion = diffused ? 1 : 0;
      const std::string what = std::to_string(size) + (diffused ? " diffused" : "");
      const Reduced reduced = Reduce(picture, options, 1, 0);
      ASSERT_EQ(reduced.result, ReduceResult::Ok) << what;
      ASSERT_LE(reduced.palette.entries.size(), static_cast<size_t>(size));
      int worstAlpha = 0;
      double alphaError = 0.0;
      int partialPixels = 0;
      for (size_t i = 0; i < picture.alpha.size(); ++i) {
        ASSERT_LT(reduced.indices[i], reduced.palette.entries.size()) << what;
        const int alpha = reduced.palette.entries[reduced.indices[i]].alpha;
        // Two entries cannot hold three classes: the partly transparent pixels take one of
        // the other two.
        if (size == 2 && ClassOf(picture.alpha[i]) == 1) continue;
        ASSERT_EQ(ClassOf(alpha), ClassOf(picture.alpha[i])) << what << ", pixel " << i;
        if (ClassOf(alpha) != 1) continue;
        worstAlpha = std::max(worstAlpha, std::abs(alpha - picture.alpha[i]));
        alphaError += std::abs(alpha - picture.alpha[i]);
        ++partialPixels;
      }
      if (size < 16) continue;
      // The soft edge has six levels of alpha, 42 apart, under a textured colour, which
      // shares the entries with them; its faint pixels weigh less in the budget than opaque
      // ones. Mapped to the nearest entry, each pixel stays within about 0.6 of a level with
      // 256 entries and 1.3 levels with 16 (measured: 25 and 54); the mean stays well below,
      // diffused or not.
      EXPECT_LE(alphaError / partialPixels, size == 256 ? 5.0 : 16.0) << what;
      if (!diffused) {
        EXPECT_LE(worstAlpha, size == 256 ? 26 : 56) << what;
      }
    }
  }
}

TEST(AlphaReduction, OneAndTwoThreadsGiveTheSameBytes) {
  const AlphaPicture picture = SoftDiscPicture(200, 160);
  EngineOptions options;
  options.paletteSize = 64;
  options.adaptiveDiffusion = 1;
  options.refineIterations = 2;
  const Reduced one = Reduce(picture, options, 1);
  const Reduced two = Reduce(picture, options, 2);
  EXPECT_EQ(one.indices, two.indices);
  EXPECT_EQ(one.palette.entries, two.palette.entries);
}

TEST(AlphaReduction, AnOpaquePictureGetsTheEnginesReduction) {
  AlphaPicture picture{test_support::PhotoLikePicture(80, 60, 3, 6), {}};
  picture.alpha.assign(picture.colours.r.size(), 255);
  EngineOptions options;
  options.paletteSize = 20;
  const Reduced withAlpha = Reduce(picture, options);
  std::vector<uint8_t> indices(picture.alpha.size());
  EnginePalette palette;
  ReductionParams params;
  params.edgeThreshold = 100000;
  params.finalMapMode = 0;
  EngineServices services;
  services.diagnostics = &SilentDiagnostics();
  ASSERT_EQ(ReduceColors({80, 60, picture.colours.r.data(), picture.colours.g.data(),
                          picture.colours.b.data()},
                         params, options, indices.data(), palette, services),
            ReduceResult::Ok);
  EXPECT_EQ(withAlpha.indices, indices);
  ASSERT_EQ(withAlpha.palette.entries.size(), 20u);
  for (int e = 0; e < 20; ++e) {
    EXPECT_EQ(withAlpha.palette.entries[e],
              (Rgba{palette.red[e], palette.green[e], palette.blue[e], 255}));
  }
}

// Few colours with alpha are kept exactly; every transparent pixel, whatever colour it hid,
// takes the one transparent entry.
TEST(AlphaReduction, FewColoursWithAlphaAreKeptExactly) {
  AlphaPicture picture{test_support::FewColoursPicture(40, 30, 5, 7), {}};
  picture.alpha.resize(picture.colours.r.size());
  for (size_t i = 0; i < picture.alpha.size(); ++i) {
    picture.alpha[i] = i % 3 == 0 ? 0 : i % 3 == 1 ? 255 : 100;
    if (picture.alpha[i] == 0) picture.colours.r[i] = static_cast<uint8_t>(i);
  }
  EngineOptions options;
  options.exactFewColours = true;
  options.paletteSize = 16;
  const Reduced reduced = Reduce(picture, options);
  ASSERT_EQ(reduced.result, ReduceResult::Ok);
  ASSERT_LE(reduced.palette.entries.size(), 11u);  // one transparent, five of each alpha
  EXPECT_EQ(reduced.palette.entries[0], (Rgba{0, 0, 0, 0}));
  for (size_t i = 0; i < picture.alpha.size(); ++i) {
    const Rgba shown = reduced.palette.entries[reduced.indices[i]];
    if (picture.alpha[i] == 0) {
      EXPECT_EQ(reduced.indices[i], 0);
    } else {
      EXPECT_EQ(shown, (Rgba{picture.colours.r[i], picture.colours.g[i], picture.colours.b[i],
                             picture.alpha[i]}));
    }
  }
}

TEST(AlphaReduction, ThePaletteIsSharedByTheClassesPixelsAndColours) {
  // Transparent pixels take one entry; opaque ones at least two or none.
  AlphaBudget budget = ShareEntries(256, 10, 0, 100, 0);
  EXPECT_EQ(budget.transparent, 1);
  EXPECT_EQ(budget.partial, 0);
  EXPECT_EQ(budget.opaque, 255);
  budget = ShareEntries(256, 0, 25, 75, 100000);
  EXPECT_EQ(budget.transparent + budget.partial + budget.opaque, 256);
  EXPECT_GE(budget.partial, 64);  // more than their share of the pixels
  EXPECT_LT(budget.partial, 192);
  budget = ShareEntries(256, 5, 25, 75, 3);
  EXPECT_EQ(budget.partial, 3);  // never more than their colours
  EXPECT_EQ(budget.opaque, 252);
  budget = ShareEntries(3, 5, 25, 75, 100);
  EXPECT_EQ(budget.opaque, 1);  // each class keeps an entry of its own
  EXPECT_EQ(budget.partial, 1);
  budget = ShareEntries(2, 5, 25, 75, 100);
  EXPECT_EQ(budget.transparent, 1);
  EXPECT_EQ(budget.opaque, 1);  // the one visible entry is the opaque pixels'
  EXPECT_EQ(budget.partial, 0);
  budget = ShareEntries(16, 0, 100, 0, 1000);
  EXPECT_EQ(budget.partial, 16);
}

TEST(PremultipliedPalette, EntriesKeepTheirPixelsAlphaRangeAndSeparateVisibleColours) {
  std::vector<CountedRgba> colours;
  for (int a = 1; a < 255; a += 3) {
    colours.push_back({{255, 0, 0, static_cast<uint8_t>(a)}, 10});
    colours.push_back({{0, 0, 255, static_cast<uint8_t>(a)}, 10});
  }
  const std::vector<Rgba> palette = DesignPremultipliedPalette(colours, 12, 4);
  ASSERT_EQ(palette.size(), 12u);
  for (const Rgba& entry : palette) {
    EXPECT_GE(entry.alpha, 1);
    EXPECT_LE(entry.alpha, 254);
  }
  // Strongly visible red and blue never share an entry.
  const int red = NearestPremultipliedEntry(palette, {255, 0, 0, 240});
  const int blue = NearestPremultipliedEntry(palette, {0, 0, 255, 240});
  EXPECT_NE(red, blue);
  EXPECT_GT(palette[red].red, 200);
  EXPECT_LT(palette[blue].red, 55);
  // No more colours than entries: each its own.
  colours.resize(5);
  EXPECT_EQ(DesignPremultipliedPalette(colours, 12, 4).size(), 5u);
  EXPECT_TRUE(DesignPremultipliedPalette({}, 12, 4).empty());
}

}  // namespace
}  // namespace genshoku
