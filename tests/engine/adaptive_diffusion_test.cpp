// The adaptive error diffusion, its options and the best preset built on it.
#include "engine/adaptive_diffusion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "engine/colour_table.h"
#include "engine/palette_refinement.h"
#include "engine/reduce_colors.h"
#include "engine/visible_error.h"
#include "tests/engine/clustering_test_support.h"
#include "tests/engine/support_pictures.h"

namespace genshoku {
namespace {

using test_support::Picture;

struct Palette {
  std::vector<uint8_t> r, g, b;
  void Add(int red, int green, int blue) {
    r.push_back(static_cast<uint8_t>(red));
    g.push_back(static_cast<uint8_t>(green));
    b.push_back(static_cast<uint8_t>(blue));
  }
  int count() const { return static_cast<int>(r.size()); }
};

Palette BlackAndWhite() {
  Palette p;
  p.Add(0, 0, 0);
  p.Add(255, 255, 255);
  return p;
}

std::vector<uint8_t> Diffuse(const Picture& picture, const Palette& palette,
                             const AdaptiveDiffusionSettings& settings) {
  std::vector<uint8_t> indices(picture.r.size(), 77);
  DiffuseAdaptive(picture.width, picture.height, picture.r.data(), picture.g.data(),
                  picture.b.data(), palette.count(), palette.r.data(), palette.g.data(),
                  palette.b.data(), settings, indices.data(), nullptr);
  return indices;
}

std::vector<double> Strengths(const Picture& picture, const AdaptiveDiffusionSettings& settings) {
  std::vector<double> strengths(picture.r.size(), -1.0);
  AdaptiveStrengths(picture.width, picture.height, picture.r.data(), picture.g.data(),
                    picture.b.data(), settings, strengths.data());
  return strengths;
}

TEST(AdaptiveDiffusion, StrengthIsFullOnSmoothAreasAndLowerAcrossAnEdge) {
  AdaptiveDiffusionSettings settings;
  settings.strength = 0.8;
  settings.contrastScale = 16.0;
  // Left half a gentle grey ramp (one step per pixel), right half white.
  Picture picture(64, 8);
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 64; ++x) {
      const int grey = x < 32 ? 40 + x : 255;
      picture.Set(x, y, grey, grey, grey);
    }
  }
  const std::vector<double> strengths = Strengths(picture, settings);
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 64; ++x) {
      const double s = strengths[y * 64 + x];
      if (x == 31 || x == 32) {
        EXPECT_LT(s, 0.8 * 0.2) << x << "," << y;  // the edge: a step of about 184
      } else if (x > 32) {
        EXPECT_DOUBLE_EQ(s, 0.8) << x << "," << y;  // flat
      } else {
        EXPECT_GT(s, 0.8 * 16.0 / 17.01) << x << "," << y;  // steps of one
      }
    }
  }
  // The quadratic falloff keeps more strength on the ramp and less across the edge.
  AdaptiveDiffusionSettings quadratic = settings;
  quadratic.quadraticFalloff = true;
  const std::vector<double> steeper = Strengths(picture, quadratic);
  EXPECT_GT(steeper[3 * 64 + 10], strengths[3 * 64 + 10]);
  EXPECT_NEAR(steeper[3 * 64 + 10], 0.8 / (1.0 + 1.0 / 256.0), 1e-4);
  EXPECT_LT(steeper[3 * 64 + 31], strengths[3 * 64 + 31]);
  EXPECT_DOUBLE_EQ(steeper[3 * 64 + 50], 0.8);

  settings.contrastScale = 0.0;
  for (const double s : Strengths(picture, settings)) EXPECT_DOUBLE_EQ(s, 0.8);
}

TEST(AdaptiveDiffusion, KeepsTheMeanOfAFlatAreaAndDropsTheErrorWithoutStrength) {
  const Picture grey = test_support::FlatPicture(40, 40, 100, 100, 100);
  AdaptiveDiffusionSettings settings;
  settings.strength = 1.0;
  settings.contrastScale = 16.0;
  settings.serpentine = true;
  const std::vector<uint8_t> indices = Diffuse(grey, BlackAndWhite(), settings);
  const double whites = std::count(indices.begin(), indices.end(), 1);
  EXPECT_NEAR(255.0 * whites / indices.size(), 100.0, 2.0);

  settings.strength = 0.0;
  for (const uint8_t index : Diffuse(grey, BlackAndWhite(), settings)) EXPECT_EQ(index, 0);
}

TEST(AdaptiveDiffusion, SerpentineScansOddRowsFromTheRight) {
  // Row 0 lies on the palette (no error), row 1 is a grey between its two entries: the
  // serpentine scan's second row is the plain scan's second row mirrored.
  Picture picture(37, 2);
  for (int x = 0; x < 37; ++x) {
    picture.Set(x, 0, 0, 0, 0);
    picture.Set(x, 1, 90, 90, 90);
  }
  AdaptiveDiffusionSettings settings;
  const std::vector<uint8_t> plain = Diffuse(picture, BlackAndWhite(), settings);
  settings.serpentine = true;
  const std::vector<uint8_t> serpentine = Diffuse(picture, BlackAndWhite(), settings);
  std::vector<uint8_t> mirrored(plain.begin() + 37, plain.end());
  std::reverse(mirrored.begin(), mirrored.end());
  EXPECT_EQ(std::vector<uint8_t>(serpentine.begin() + 37, serpentine.end()), mirrored);
  EXPECT_NE(mirrored, std::vector<uint8_t>(plain.begin() + 37, plain.end()));
}

TEST(AdaptiveDiffusion, ErrorLimitBoundsTheCarriedError) {
  // A grey of 100 between black and white: unbounded diffusion mixes in white pixels; with
  // the carried error bounded by 20 no pixel's colour comes past 120, nearer black.
  const Picture grey = test_support::FlatPicture(30, 30, 100, 100, 100);
  AdaptiveDiffusionSettings settings;
  const std::vector<uint8_t> unbounded = Diffuse(grey, BlackAndWhite(), settings);
  EXPECT_GT(std::count(unbounded.begin(), unbounded.end(), 1), 0);
  settings.errorLimit = 20.0;
  for (const uint8_t index : Diffuse(grey, BlackAndWhite(), settings)) EXPECT_EQ(index, 0);
  // Bounded by 40, a colour of up to 140 is reached, nearer white.
  settings.errorLimit = 40.0;
  const std::vector<uint8_t> loose = Diffuse(grey, BlackAndWhite(), settings);
  EXPECT_GT(std::count(loose.begin(), loose.end(), 1), 0);
}

TEST(AdaptiveDiffusion, SpacingScaleHalvesTheStrengthAtAMultipleOfThePalettesStep) {
  // Greys 0, 60, 120, 180 are each 60 sqrt 3 from their nearest other entry, so a spacing
  // scale k halves the strength where a contrast scale of k * 60 sqrt 3 would.
  Palette greys;
  for (const int level : {0, 60, 120, 180}) greys.Add(level, level, level);
  const Picture photo = test_support::PhotoLikePicture(90, 70, 3);
  AdaptiveDiffusionSettings spacing;
  spacing.strength = 0.9;
  spacing.serpentine = true;
  spacing.spacingScale = 0.25;
  AdaptiveDiffusionSettings contrast = spacing;
  contrast.spacingScale = 0.0;
  contrast.contrastScale = 0.25 * std::sqrt(3.0 * 60.0 * 60.0);
  const std::vector<uint8_t> bySpacing = Diffuse(photo, greys, spacing);
  EXPECT_EQ(bySpacing, Diffuse(photo, greys, contrast));
  // A finer palette in the dark half: there the same contrast weakens the diffusion more.
  Palette finer = greys;
  finer.Add(30, 30, 30);
  EXPECT_NE(Diffuse(photo, finer, spacing), bySpacing);
  // The strengths reported before the entries are known are the full strength.
  for (const double s : Strengths(photo, spacing)) ASSERT_EQ(s, 0.9);
}

TEST(AdaptiveDiffusion, FineStepRaisesTheStrengthWhereTheEntriesLieClose) {
  // A flat grey of 100 between greys 60 apart: weak diffusion leaves the area's mean off,
  // raised towards full strength it keeps the mean much closer, more so the finer the
  // palette is against the step.
  const Picture grey = test_support::FlatPicture(60, 60, 100, 100, 100);
  Palette greys;
  for (const int level : {0, 60, 120, 180}) greys.Add(level, level, level);
  auto meanError = [&](const AdaptiveDiffusionSettings& settings) {
    double sum = 0.0;
    for (const uint8_t index : Diffuse(grey, greys, settings)) sum += greys.r[index];
    return std::abs(sum / (60.0 * 60.0) - 100.0);
  };
  AdaptiveDiffusionSettings settings;
  settings.strength = 0.3;
  const double weak = meanError(settings);
  settings.fineStep = 20.0;
  const double raised = meanError(settings);
  settings.fineStep = 200.0;
  const double nearlyFull = meanError(settings);
  EXPECT_GT(weak, 5.0);
  EXPECT_LT(raised, weak);
  EXPECT_LT(nearlyFull, raised);
  EXPECT_LT(nearlyFull, 2.0);
}

// The mean absolute difference between a grey picture's rows averaged down each column
// (as the eye averages a fine dither) and the same averages of the diffused greys.
double ColumnMeanError(const Picture& picture, const Palette& palette,
                       const std::vector<uint8_t>& indices) {
  double total = 0.0;
  for (int x = 0; x < picture.width; ++x) {
    double source = 0.0, mapped = 0.0;
    for (int y = 0; y < picture.height; ++y) {
      const size_t i = static_cast<size_t>(y) * picture.width + x;
      source += picture.r[i];
      mapped += palette.r[indices[i]];
    }
    total += std::abs(source - mapped) / picture.height;
  }
  return total / picture.width;
}

TEST(AdaptiveDiffusion, CoarseErrorDiffusesMoreWhereTheGreysOfASmoothRampLieFarApart) {
  // A slow ramp from 60 to 100 against greys 10 apart: with the preset's weak diffusion,
  // colours near an entry fall into it and the ramp shows steps after averaging; raised
  // where the entries are visibly off, the column means follow the ramp.
  Picture ramp(400, 24);
  for (int y = 0; y < 24; ++y) {
    for (int x = 0; x < 400; ++x) {
      const int grey = 60 + x / 10;
      ramp.Set(x, y, grey, grey, grey);
    }
  }
  Palette greys;
  for (int level = 0; level <= 250; level += 10) greys.Add(level, level, level);
  AdaptiveDiffusionSettings settings;
  settings.strength = 0.55;
  settings.contrastScale = 8.0;
  settings.serpentine = true;
  const double weak = ColumnMeanError(ramp, greys, Diffuse(ramp, greys, settings));
  settings.coarseError = 0.6;
  const double raised = ColumnMeanError(ramp, greys, Diffuse(ramp, greys, settings));
  EXPECT_GT(weak, 1.0);
  EXPECT_LT(raised, 0.6 * weak);
  // The rise is for smooth areas: on a busy picture it is damped by the contrast scale.
  const Picture photo = test_support::PhotoLikePicture(90, 70, 5);
  AdaptiveDiffusionSettings busy = settings;
  busy.coarseContrast = 1e-6;
  settings.coarseError = 0.0;
  EXPECT_EQ(Diffuse(photo, greys, busy), Diffuse(photo, greys, settings));
}

TEST(AdaptiveDiffusion, FineErrorKeepsAColourThatAnEntryMatchesClosely) {
  // A flat grey of 101 against greys 100 and 116: full diffusion mixes in some 116s; a
  // byte of difference is well below a colour difference of 0.5, so with that fine error
  // the diffusion fades and every pixel keeps the grey of 100.
  const Picture grey = test_support::FlatPicture(48, 48, 101, 101, 101);
  Palette greys;
  greys.Add(100, 100, 100);
  greys.Add(116, 116, 116);
  AdaptiveDiffusionSettings settings;
  const std::vector<uint8_t> full = Diffuse(grey, greys, settings);
  EXPECT_GT(std::count(full.begin(), full.end(), 1), 0);
  settings.fineError = 0.5;
  for (const uint8_t index : Diffuse(grey, greys, settings)) ASSERT_EQ(index, 0);
}

// 256 random entries, entry `twin` a copy of entry `original`.
Palette RandomPaletteWithTwins(unsigned seed, int original, int twin) {
  const Picture colours = test_support::NoisePicture(256, 1, seed);
  Palette palette;
  for (int e = 0; e < 256; ++e) palette.Add(colours.r[e], colours.g[e], colours.b[e]);
  palette.r[twin] = palette.r[original];
  palette.g[twin] = palette.g[original];
  palette.b[twin] = palette.b[original];
  return palette;
}

TEST(AdaptiveDiffusion, PicksTheNearestEntryOfTheCorrectedColour) {
  // Without error carried every pixel takes its plain nearest entry (lowest on ties).
  const Picture noise = test_support::NoisePicture(50, 30, 7);
  const Palette palette = RandomPaletteWithTwins(8, 3, 9);
  AdaptiveDiffusionSettings settings;
  settings.strength = 0.0;
  const std::vector<uint8_t> indices = Diffuse(noise, palette, settings);
  for (size_t i = 0; i < indices.size(); ++i) {
    int best = 0;
    int bestDistance = 1 << 30;
    for (int e = 0; e < 256; ++e) {
      const int dr = noise.r[i] - palette.r[e], dg = noise.g[i] - palette.g[e],
                db = noise.b[i] - palette.b[e];
      const int d = dr * dr + dg * dg + db * db;
      if (d < bestDistance) bestDistance = d, best = e;
    }
    ASSERT_EQ(indices[i], best) << i;
  }
}

// The entry of least mixed cost by scanning every entry, the visible part judged at the
// plain nearest entry (lowest on ties), the cost as the diffusion forms it.
int LeastMixedCost(const double x[3], const Palette& palette, double mix) {
  int nearest = 0;
  double nearestDistance = HUGE_VAL;
  for (int e = 0; e < palette.count(); ++e) {
    const double d0 = x[0] - palette.r[e], d1 = x[1] - palette.g[e], d2 = x[2] - palette.b[e];
    const double d = d0 * d0 + d1 * d1 + d2 * d2;
    if (d < nearestDistance) nearestDistance = d, nearest = e;
  }
  double gram[3][3];
  VisibleErrorMatrix(palette.r[nearest], palette.g[nearest], palette.b[nearest]).Gram(gram);
  const double plain = 1.0 - mix, seen = mix * 6.25;
  int best = 0;
  double bestCost = HUGE_VAL;
  for (int e = 0; e < palette.count(); ++e) {
    const double d0 = x[0] - palette.r[e], d1 = x[1] - palette.g[e], d2 = x[2] - palette.b[e];
    const double cost = (plain + seen * gram[0][0]) * d0 * d0 +
                        (plain + seen * gram[1][1]) * d1 * d1 +
                        (plain + seen * gram[2][2]) * d2 * d2 +
                        (2.0 * seen * gram[0][1] * d0 * d1 + 2.0 * seen * gram[0][2] * d0 * d2 +
                         2.0 * seen * gram[1][2] * d1 * d2);
    if (cost < bestCost) bestCost = cost, best = e;
  }
  return best;
}

TEST(AdaptiveDiffusion, VisibleMixTakesTheEntryOfLeastMixedCost) {
  // Without error carried every pixel takes the entry a scan of all entries finds, for a
  // palette of random colours with a repeated entry and one of greys a step apart.
  const Picture noise = test_support::NoisePicture(64, 40, 17);
  const Palette random = RandomPaletteWithTwins(18, 5, 20);
  Palette greys;
  for (int e = 0; e < 200; ++e) greys.Add(e, e + (e % 3 == 0), e);
  for (const Palette* palette : {&random, static_cast<const Palette*>(&greys)}) {
    for (const double mix : {0.3, 0.9}) {
      AdaptiveDiffusionSettings settings;
      settings.strength = 0.0;
      settings.visibleMix = mix;
      const std::vector<uint8_t> indices = Diffuse(noise, *palette, settings);
      for (size_t i = 0; i < indices.size(); ++i) {
        const double x[3] = {double(noise.r[i]), double(noise.g[i]), double(noise.b[i])};
        ASSERT_EQ(indices[i], LeastMixedCost(x, *palette, mix)) << i << " " << mix;
      }
    }
  }
}

TEST(AdaptiveDiffusion, VisibleMixKeepsTheHueOfAGreyWhereRgbWouldTintIt) {
  // A mid grey between a pinkish entry nearer in RGB (25 squared steps) and a darker grey
  // (27): by RGB alone the grey turns pink; with the visible share it stays grey.
  const Picture grey = test_support::FlatPicture(8, 8, 128, 128, 128);
  Palette palette;
  palette.Add(131, 124, 128);
  palette.Add(125, 125, 125);
  AdaptiveDiffusionSettings settings;
  settings.strength = 0.0;
  for (const uint8_t index : Diffuse(grey, palette, settings)) ASSERT_EQ(index, 0);
  settings.visibleMix = 0.3;
  for (const uint8_t index : Diffuse(grey, palette, settings)) ASSERT_EQ(index, 1);
}

TEST(PaletteRefinement, WeighsPixelsByVisibilityAndMovesEntriesToTheirMeans) {
  // Left half black, right half white: the two columns at the edge weigh scale / (scale +
  // 255) per pixel, all others 1.
  Picture picture(10, 4);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 10; ++x)
      picture.Set(x, y, x < 5 ? 0 : 255, x < 5 ? 0 : 255, x < 5 ? 0 : 255);
  }
  test_support::TestRun run;
  ColourTable table;
  BuildColourTable(10, 4, picture.r.data(), picture.g.data(), picture.b.data(), ReductionParams{},
                   1, table, run.run);
  const WeightedColours weighted = CollectWeightedColours(10, 4, picture.r.data(), picture.g.data(),
                                                          picture.b.data(), table, 4.0, nullptr);
  ASSERT_EQ(weighted.rgb.size(), 2u);
  EXPECT_EQ(weighted.rgb[0], 0x000000u);
  EXPECT_EQ(weighted.rgb[1], 0xFFFFFFu);
  EXPECT_NEAR(weighted.weight[0], 16.0 + 4 * 4.0 / 259.0, 1e-4);
  const WeightedColours plain = CollectWeightedColours(10, 4, picture.r.data(), picture.g.data(),
                                                       picture.b.data(), table, 0.0, nullptr);
  EXPECT_EQ(plain.weight[0], 20.0f);

  // Entry 0 takes the weighted mean of the two dark colours, entry 1 (nearest to none)
  // stays, entry 2 takes the light colour.
  WeightedColours colours;
  colours.rgb = {0x0A0A0A, 0x1E1E1E, 0xF0F0F0};
  colours.weight = {3.0f, 1.0f, 2.0f};
  uint8_t red[3] = {20, 120, 200}, green[3] = {20, 120, 200}, blue[3] = {20, 120, 200};
  RefinePaletteRgb(colours, 1, 3, red, green, blue, nullptr);
  EXPECT_EQ(red[0], 15);  // (3 * 10 + 30) / 4
  EXPECT_EQ(green[1], 120);
  EXPECT_EQ(blue[2], 240);
}

TEST(EngineOptions, TableSetsEveryOptionWithinItsRangeAndKeepsTheWindowDefaults) {
  const EngineOptions defaults;
  EXPECT_EQ(defaults.adaptiveDiffusion, 0);
  EXPECT_TRUE(ValidateEngineOptions(defaults, nullptr));
  for (const EngineOptionInfo& info : kEngineOptionTable) {
    EngineOptions options;
    std::string message;
    const std::string top = info.isInteger ? std::to_string(static_cast<int>(info.maximum))
                                           : std::to_string(info.maximum);
    EXPECT_TRUE(SetEngineOption(options, info.name, top, &message)) << info.name << message;
    EXPECT_EQ(std::stod(info.Format(options)), info.maximum) << info.name;
    EXPECT_TRUE(ValidateEngineOptions(options, nullptr)) << info.name;
    EXPECT_FALSE(SetEngineOption(options, info.name, "-1", &message)) << info.name;
    EXPECT_NE(message.find(info.name), std::string::npos);
    EXPECT_FALSE(SetEngineOption(options, info.name, "x", &message));
  }
  std::string message;
  EngineOptions options;
  EXPECT_FALSE(SetEngineOption(options, "serpentine", "0.5", &message));
  EXPECT_FALSE(SetEngineOption(options, "noSuchOption", "1", &message));
  options.diffusionErrorLimit = 300.0;
  EXPECT_FALSE(ValidateEngineOptions(options, nullptr));
  // The visible share of the entry choice is measured in RGB: no turned view with it.
  EngineOptions mixed;
  mixed.diffusionVisibleMix = 0.3;
  mixed.chromaWeight = 2.0;
  const char* reason = nullptr;
  EXPECT_FALSE(ValidateEngineOptions(mixed, &reason));
  EXPECT_STREQ(reason, "diffusionVisibleMix needs chromaWeight 1");
}

struct Reduced {
  ReduceResult result;
  std::vector<uint8_t> indices;
  EnginePalette palette;
};

Reduced Reduce(Picture picture, const EngineOptions& options, int threads) {
  Reduced out;
  out.indices.assign(picture.r.size(), 0);
  EngineSource source{picture.width, picture.height, picture.r.data(), picture.g.data(),
                      picture.b.data()};
  EngineServices services;
  services.diagnostics = nullptr;
  services.threads = threads;
  out.result =
      ReduceColors(source, ReductionParams{}, options, out.indices.data(), out.palette, services);
  return out;
}

TEST(AdaptiveDiffusion, TheReductionWithEveryNewOptionGivesTheSameBytesForOneAndTwoThreads) {
  const Picture picture = test_support::PhotoLikePicture(300, 200, 11);
  EngineOptions options;
  options.adaptiveDiffusion = 1;
  options.diffusionContrastScale = 8.0;
  options.serpentine = 1;
  options.diffusionErrorLimit = 40.0;
  options.refineIterations = 2;
  options.refineContrastScale = 4.0;
  options.diffusionSpacingScale = 1.5;
  options.diffusionFineStep = 3.0;
  options.chromaWeight = 1.5;
  options.diffusionCoarseError = 0.6;
  options.diffusionCoarseContrast = 1.0;
  options.diffusionFineError = 0.4;
  EngineOptions visible = options;
  visible.chromaWeight = 1.0;
  visible.diffusionVisibleMix = 0.3;
  for (const EngineOptions& tried : {options, visible}) {
    const Reduced one = Reduce(picture, tried, 1);
    const Reduced two = Reduce(picture, tried, 2);
    ASSERT_EQ(one.result, ReduceResult::Ok);
    ASSERT_EQ(two.result, ReduceResult::Ok);
    EXPECT_EQ(one.indices, two.indices);
    EXPECT_EQ(one.palette.red, two.palette.red);
    EXPECT_EQ(one.palette.green, two.palette.green);
    EXPECT_EQ(one.palette.blue, two.palette.blue);
  }
  const Reduced one = Reduce(picture, options, 1);
  // The options do change the result (the defaults give the window's).
  const Reduced window = Reduce(picture, EngineOptions{}, 1);
  EXPECT_NE(one.indices, window.indices);
  EXPECT_NE(one.palette.red, window.palette.red);
}

TEST(AdaptiveDiffusion, LargePicturesTakeTheLargeStrengthAndVisibleMix) {
  // 300 x 200 = 60000 pixels. From 60000 the large values replace the strength setting and
  // diffusionVisibleMix exactly; from 60001 the picture is small and they are not read.
  const Picture picture = test_support::PhotoLikePicture(300, 200, 5);
  EngineOptions small;
  small.adaptiveDiffusion = 1;
  small.diffusionContrastScale = 8.0;
  small.serpentine = 1;
  EngineOptions large = small;
  large.diffusionLargeFrom = 60000;
  large.diffusionLargeStrength = 0.9;
  large.diffusionLargeVisibleMix = 0.4;
  EngineOptions smallWithLargeValues = small;
  smallWithLargeValues.diffusionVisibleMix = 0.4;
  ReductionParams strong;
  strong.diffusionStrength = 0.9;

  auto reduce = [&](const ReductionParams& params, const EngineOptions& options) {
    Picture copy = picture;  // the engine may work in the planes
    std::vector<uint8_t> indices(copy.r.size(), 0);
    EnginePalette palette;
    EngineSource source{copy.width, copy.height, copy.r.data(), copy.g.data(), copy.b.data()};
    EngineServices services;
    services.diagnostics = nullptr;
    EXPECT_EQ(ReduceColors(source, params, options, indices.data(), palette, services),
              ReduceResult::Ok);
    return indices;
  };
  const std::vector<uint8_t> asLarge = reduce(ReductionParams{}, large);
  EXPECT_EQ(asLarge, reduce(strong, smallWithLargeValues));
  EXPECT_NE(asLarge, reduce(ReductionParams{}, small));
  large.diffusionLargeFrom = 60001;
  EXPECT_EQ(reduce(ReductionParams{}, large), reduce(ReductionParams{}, small));
  // With another chroma weight a large picture takes the large strength alone: the visible
  // share is measured in RGB, and the preset's share must not refuse a weight set on top.
  large.diffusionLargeFrom = 60000;
  large.chromaWeight = 2.0;
  EXPECT_TRUE(ValidateEngineOptions(large, nullptr));
  EngineOptions turnedSmall = small;
  turnedSmall.chromaWeight = 2.0;
  EXPECT_EQ(reduce(ReductionParams{}, large), reduce(strong, turnedSmall));
}

}  // namespace
}  // namespace genshoku
