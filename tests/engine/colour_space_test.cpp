#include "engine/colour_space.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "engine/tone_curves.h"
#include "tests/engine/support_reduction.h"

namespace genshoku {
namespace {

struct Working {
  double y, u, v;
};

// The working colour of one pixel.
Working WorkingOf(const ReductionParams& params, uint8_t r, uint8_t g, uint8_t b) {
  double y = 0, u = 0, v = 0;
  ConvertToWorkingSpace(1, 1, &r, &g, &b, params, &y, &u, &v);
  return {y, u, v};
}

double Radians(double degrees) { return degrees * std::numbers::pi / 180.0; }
double Curved(double byte) { return 255.0 * std::pow(byte / 255.0, 1.1); }
double Single(double x) { return static_cast<double>(static_cast<float>(x)); }

TEST(ColourSpaceTest, BlackAndWhiteWithTheDefaults) {
  const ReductionParams defaults;
  const Working black = WorkingOf(defaults, 0, 0, 0);
  EXPECT_EQ(black.y, 0.0);
  const double c = std::cos(Radians(5)), s = std::sin(Radians(5));
  EXPECT_NEAR(black.u, 3.0 * (128 * c - 128 * s), 1e-9);
  EXPECT_NEAR(black.v, 4.0 * (128 * s + 128 * c), 1e-9);
  EXPECT_NEAR(black.u, 349.1, 0.05);
  EXPECT_NEAR(black.v, 554.7, 0.05);

  const Working white = WorkingOf(defaults, 255, 255, 255);
  EXPECT_NEAR(white.y, 1912.5, 1e-9);
  EXPECT_NEAR(white.u, black.u, 1e-9);
  EXPECT_NEAR(white.v, black.v, 1e-9);
}

TEST(ColourSpaceTest, IdentitySettingsGiveFormulaAOnTheBytes) {
  const ReductionParams p = test_support::PlainColourSettings(3);
  const uint8_t samples[][3] = {{0, 0, 0}, {255, 255, 255}, {200, 30, 90}, {1, 254, 77}};
  for (const auto& px : samples) {
    const double r = px[0], g = px[1], b = px[2];
    const Working w = WorkingOf(p, px[0], px[1], px[2]);
    const double y = 0.29891 * r + 0.58661 * g + 0.11448 * b;
    // Only the luminance gamma (exponent 1) may move the last bit.
    EXPECT_LE(std::fabs(w.y - y), std::fabs(std::nextafter(y, 1e9) - y));
    EXPECT_EQ(w.u, 0.5 * b - (0.33126 * g + 0.16874 * r) + 128);
    EXPECT_EQ(w.v, 0.5 * r - 0.41869 * g - 0.08131 * b + 128);
  }
}

TEST(ColourSpaceTest, CurvedValuesEnterCoefficientProductsInSinglePrecision) {
  ReductionParams p = test_support::PlainColourSettings(3);
  p.gammaR = p.gammaG = p.gammaB = 1.1;
  const Working w = WorkingOf(p, 100, 150, 200);
  const double r = Single(Curved(100)), g = Single(Curved(150)), b = Single(Curved(200));
  EXPECT_EQ(w.u, 0.5 * b - (0.33126 * g + 0.16874 * r) + 128);
  EXPECT_EQ(w.v, 0.5 * r - 0.41869 * g - 0.08131 * b + 128);
  // The rounding is visible here, so the comparison above really checks it.
  EXPECT_NE(w.v, 0.5 * Curved(100) - 0.41869 * Curved(150) - 0.08131 * Curved(200) + 128);

  // The channel copy multiplies nothing and keeps the full double, Y green, U blue, V red.
  p.colourMode = 0;
  const Working copy = WorkingOf(p, 100, 150, 200);
  EXPECT_EQ(copy.y, Curved(150));
  EXPECT_EQ(copy.u, Curved(200));
  EXPECT_EQ(copy.v, Curved(100));
}

TEST(ColourSpaceTest, ChrominanceStepRotatesOrAppliesTheFixedMatrix) {
  ReductionParams p = test_support::PlainColourSettings(3);
  const Working plain = WorkingOf(p, 200, 40, 90);

  p.chromaAngle = 30;
  const Working turned = WorkingOf(p, 200, 40, 90);
  const double c = std::cos(Radians(30)), s = std::sin(Radians(30));
  EXPECT_EQ(turned.y, plain.y);
  EXPECT_NEAR(turned.u, c * plain.u - s * plain.v, 1e-12);
  EXPECT_NEAR(turned.v, s * plain.u + c * plain.v, 1e-12);

  // Mode 9 is mode 3 with the fixed matrix in place of the rotation.
  p.colourMode = 9;
  const Working matrix = WorkingOf(p, 200, 40, 90);
  EXPECT_EQ(matrix.y, plain.y);
  EXPECT_NEAR(matrix.u, 0.941996495 * plain.u + 0.13632709 * plain.v, 1e-12);
  EXPECT_NEAR(matrix.v, 0.118202579 * plain.u + 1.201426141 * plain.v, 1e-12);
}

TEST(ColourSpaceTest, WeightsAndLuminanceGamma) {
  ReductionParams p = test_support::PlainColourSettings(3);
  const Working plain = WorkingOf(p, 60, 120, 240);
  p.gammaY = 2.0;
  p.weightY = 2;
  p.weightU = 3;
  p.weightV = 5;
  const Working w = WorkingOf(p, 60, 120, 240);
  EXPECT_NEAR(w.y, 2 * 255 * std::pow(plain.y / 255, 2.0), 1e-9);
  EXPECT_NEAR(w.u, 3 * plain.u, 1e-12);
  EXPECT_NEAR(w.v, 5 * plain.v, 1e-12);
}

TEST(ColourSpaceTest, CieModesFillTheirSlots) {
  // Red: L* about 53, a* about 80, b* about 67 (Lab); u* about 167, v* about 24 (Luv).
  const Working lab = WorkingOf(test_support::PlainColourSettings(1), 255, 0, 0);
  EXPECT_NEAR(lab.v, 53.24, 0.05);
  EXPECT_NEAR(lab.y, 80.09, 0.1);
  EXPECT_NEAR(lab.u, 67.20, 0.1);
  const Working luv = WorkingOf(test_support::PlainColourSettings(2), 255, 0, 0);
  EXPECT_NEAR(luv.v, 53.24, 0.05);
  EXPECT_NEAR(luv.y, 167.18, 0.01);
  EXPECT_NEAR(luv.u, 24.10, 0.01);

  // Green has a negative a*; the luminance gamma bends it like its mirror image instead of
  // producing a value that is not a number.
  ReductionParams p = test_support::PlainColourSettings(1);
  const Working green = WorkingOf(p, 0, 255, 0);
  ASSERT_LT(green.y, 0);
  p.gammaY = 1.1;
  const Working bent = WorkingOf(p, 0, 255, 0);
  EXPECT_NEAR(bent.y, -255 * std::pow(-green.y / 255, 1.1), 1e-9);
}

TEST(ColourSpaceTest, FormulaBHasNoOffset) {
  const Working black = WorkingOf(test_support::PlainColourSettings(4), 0, 0, 0);
  EXPECT_EQ(black.y, 0.0);
  EXPECT_EQ(black.u, 0.0);
  EXPECT_EQ(black.v, 0.0);
  // White keeps a trace of chrominance: the V coefficients miss 0 by 0.0001.
  const Working white = WorkingOf(test_support::PlainColourSettings(4), 255, 255, 255);
  EXPECT_NEAR(white.y, 255.0, 1e-9);
  EXPECT_NEAR(white.u, 0.13632709 * 0.0255, 1e-6);
  EXPECT_NEAR(white.v, 1.201426141 * 0.0255, 1e-6);
}

TEST(ColourSpaceTest, KneeSegmentIsChosenByTheSourceByte) {
  // Both segments meet at the knee.
  const double atKnee = 255.0 * kKneeExact;
  const double lower = 255.0 * 0.1429136476 * std::pow(kKneeExact, 0.45454545454545453);
  const double upper = 255.0 * std::pow(kKneeExact, 1.3636363636363635);
  EXPECT_NEAR(lower, upper, 1e-7);
  EXPECT_NEAR(KneeCurve(atKnee, 30, kKneeExact), 255 * 0.05402696305877764, 1e-9);

  // The same curved value takes the shadow segment for byte 29 and the highlight one for
  // byte 30, whatever the gamma made of it.
  const double curved = Curved(30);
  EXPECT_EQ(KneeCurve(curved, 29, kKneeExact),
            255.0 * 0.1429136476 * std::pow(curved / 255, 0.45454545454545453));
  EXPECT_EQ(KneeCurve(curved, 30, kKneeExact), 255.0 * std::pow(curved / 255, 1.3636363636363635));
  // The rounded knee of modes 7 and 8 lies just below 30 / 255.
  EXPECT_EQ(KneeCurve(curved, 30, kKneeRounded), KneeCurve(curved, 30, kKneeExact));
}

TEST(ColourSpaceTest, ToneCurvesAndTheirInverses) {
  for (double slope : {0.001, 0.05}) {
    EXPECT_NEAR(LogisticCurve(0, slope), 0, 1e-9);
    EXPECT_NEAR(LogisticCurve(255, slope), 255, 1e-9);
    EXPECT_NEAR(LogisticCurve(127.5, slope), 127.5, 1e-9);
    for (double x = 0; x <= 255; x += 15) {
      EXPECT_NEAR(InverseLogisticCurve(LogisticCurve(x, slope), slope), x, 1e-6);
    }
  }
  EXPECT_GT(LogisticCurve(160, 0.05), 160);  // steeper mid-tones
  EXPECT_EQ(InverseLogisticCurve(1e6, 0.001), INFINITY);

  for (int byte = 0; byte <= 255; ++byte) {
    for (double knee : {kKneeExact, kKneeRounded}) {
      const double bent = KneeCurve(byte, static_cast<uint8_t>(byte), knee);
      EXPECT_NEAR(InverseKneeCurve(bent, knee), byte, 1e-6) << byte;
    }
  }
  EXPECT_TRUE(std::isnan(InverseKneeCurve(-1, kKneeExact)));

  EXPECT_EQ(LuminanceGamma(-100, 1.1), -LuminanceGamma(100, 1.1));
  EXPECT_EQ(ChannelGamma(0, 1.1), 0.0);
  EXPECT_EQ(ChannelGamma(255, 1.1), 255.0);
}

TEST(ColourSpaceTest, FloorRaisesDarkBytesOfEveryPlane) {
  std::vector<uint8_t> r{0, 7, 200, 255}, g{3, 9, 100, 1}, b{250, 0, 60, 8};
  std::vector<double> y(4), u(4), v(4);
  ReductionParams p;
  p.channelFloor = 8;
  ConvertToWorkingSpace(4, 1, r.data(), g.data(), b.data(), p, y.data(), u.data(), v.data());
  EXPECT_EQ(r, (std::vector<uint8_t>{8, 8, 200, 255}));
  EXPECT_EQ(g, (std::vector<uint8_t>{8, 9, 100, 8}));
  EXPECT_EQ(b, (std::vector<uint8_t>{250, 8, 60, 8}));
  // The working colours are those of the raised bytes.
  const Working raised = WorkingOf(ReductionParams{}, 8, 8, 250);
  EXPECT_EQ(y[0], raised.y);
  EXPECT_EQ(v[0], raised.v);
}

TEST(ColourSpaceTest, PresmoothingWritesInteriorSamplesOnly) {
  // 5 x 5, one bright pixel in the middle and one in a corner.
  std::vector<uint8_t> plane(25, 0);
  plane[12] = 255;
  plane[0] = 200;
  std::vector<uint8_t> r = plane, g = plane, b(25, 40);
  std::vector<double> y(25), u(25), v(25);
  ReductionParams p;
  p.presmoothOn = 1;  // centre 0.8, outer 0.1
  ConvertToWorkingSpace(5, 5, r.data(), g.data(), b.data(), p, y.data(), u.data(), v.data());

  const std::vector<uint8_t> expected = {
      200, 0,  0,   0,  0,  //
      0,   5,  20,  3,  0,  // (1,1) also gets 0.1 * 0.1 * 200 from the corner
      0,   20, 163, 20, 0,  //
      0,   3,  20,  3,  0,  //
      0,   0,  0,   0,  0};
  EXPECT_EQ(r, expected);
  EXPECT_EQ(g, expected);
  // A flat plane stays flat; its border is not darkened by the zero-filled border of the
  // horizontal pass.
  EXPECT_EQ(b, std::vector<uint8_t>(25, 40));
}

}  // namespace
}  // namespace genshoku
