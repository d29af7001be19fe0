// The linearised colour difference the adaptive diffusion uses to judge how visible the
// palette's error at a pixel is.
#include "engine/visible_error.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace genshoku {
namespace {

TEST(VisibleError, LabOfSrgbBytesMatchesKnownValues) {
  // White, black, middle grey and pure red in D65 L*a*b* (as colour-science tables give).
  const double white[3] = {255, 255, 255}, black[3] = {0, 0, 0}, grey[3] = {119, 119, 119};
  const double red[3] = {255, 0, 0};
  double lab[3];
  SrgbToLab(white, lab);
  EXPECT_NEAR(lab[0], 100.0, 1e-3);
  EXPECT_NEAR(lab[1], 0.0, 1e-2);
  EXPECT_NEAR(lab[2], 0.0, 1e-2);
  SrgbToLab(black, lab);
  EXPECT_NEAR(lab[0], 0.0, 1e-9);
  SrgbToLab(grey, lab);
  EXPECT_NEAR(lab[0], 50.0, 0.1);
  SrgbToLab(red, lab);
  EXPECT_NEAR(lab[0], 53.24, 0.05);
  EXPECT_NEAR(lab[1], 80.09, 0.1);
  EXPECT_NEAR(lab[2], 67.20, 0.1);
}

TEST(VisibleError, WeighsLightnessStepsByTheFormulasWeightsAndSaturatedColoursLess) {
  // A step of one byte on all channels of middle grey changes only the lightness, whose
  // weight at L* = 50 is 1: the difference is the change of L*.
  const double one[3] = {1, 1, 1};
  const double grey[3] = {119, 119, 119}, above[3] = {120, 120, 120};
  double lab[3], labAbove[3];
  SrgbToLab(grey, lab);
  SrgbToLab(above, labAbove);
  const VisibleErrorMatrix atGrey(119, 119, 119);
  EXPECT_NEAR(std::sqrt(atGrey.Squared(one)), labAbove[0] - lab[0], 0.01);
  // Near black a byte step moves L* more than near white (sRGB is steeper there in L*
  // terms than the weights make up for).
  const VisibleErrorMatrix atDark(20, 20, 20), atLight(235, 235, 235);
  EXPECT_GT(atDark.Squared(one), atLight.Squared(one));
  // The same red step counts for less on a saturated red than on a grey of like
  // lightness: chroma differences weigh less where the chroma is high.
  const double redStep[3] = {3, 0, 0};
  const VisibleErrorMatrix atRed(200, 30, 30), atPink(150, 110, 110);
  EXPECT_LT(atRed.Squared(redStep), atPink.Squared(redStep));
  // Linear: twice the step, four times the square.
  const double two[3] = {2, 2, 2};
  EXPECT_NEAR(atGrey.Squared(two), 4.0 * atGrey.Squared(one), 1e-12);
}

TEST(VisibleError, GramFormAndLeastStretchBoundTheSquaredDifference) {
  // Over colours across the cube and many directions: d^T G d is Squared(d), and
  // Squared(d) / |d|^2 never falls below the least stretch, which some direction nearly
  // reaches (the least of 4096 directions lies within ten per cent of it).
  for (const double base : {0.0, 37.0, 119.0, 201.0, 255.0}) {
    const VisibleErrorMatrix seen(base, 255.0 - base, std::fmod(base * 3.0, 256.0));
    double gram[3][3];
    seen.Gram(gram);
    const double least = seen.LeastStretch();
    EXPECT_GE(least, 0.0);
    double lowest = HUGE_VAL;
    for (int k = 0; k < 4096; ++k) {
      // Directions spread over the sphere (a spiral of points).
      const double z = 1.0 - (2.0 * k + 1.0) / 4096.0;
      const double radius = std::sqrt(1.0 - z * z), angle = k * 2.399963229728653;
      const double d[3] = {radius * std::cos(angle), radius * std::sin(angle), z};
      double form = 0.0;
      for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) form += d[i] * gram[i][j] * d[j];
      }
      const double squared = seen.Squared(d);
      EXPECT_NEAR(form, squared, 1e-9 * (1.0 + squared));
      EXPECT_GE(squared, least);
      lowest = std::min(lowest, squared);
    }
    EXPECT_LE(lowest, least * 1.1 + 1e-9) << base;
  }
}

}  // namespace
}  // namespace genshoku
