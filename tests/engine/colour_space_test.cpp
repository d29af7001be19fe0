#include "engine/colour_space.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "engine/tone_curves.h"
#include "tests/engine/reference/colour_space.h"
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

ReductionParams Plain(int colourMode) { return test_support::PlainColourSettings(colourMode); }
ReductionParams Defaults(int colourMode) {
  ReductionParams p;
  p.colourMode = colourMode;
  return p;
}

// The lightness of a working colour: the CIE modes keep L* in the V slot, the others the
// luminance in the Y slot.
double Lightness(int colourMode, const Working& w) {
  return colourMode == 1 || colourMode == 2 ? w.v : w.y;
}

struct Rgb8 {
  uint8_t r, g, b;
};

// The working colours of many pixels, converted in one go.
std::vector<Working> WorkingOfAll(const ReductionParams& params, const std::vector<Rgb8>& colours) {
  std::vector<uint8_t> r, g, b;
  for (const Rgb8& c : colours) {
    r.push_back(c.r);
    g.push_back(c.g);
    b.push_back(c.b);
  }
  const int n = static_cast<int>(colours.size());
  std::vector<double> y(n), u(n), v(n);
  ConvertToWorkingSpace(n, 1, r.data(), g.data(), b.data(), params, y.data(), u.data(), v.data());
  std::vector<Working> working;
  for (int i = 0; i < n; ++i) working.push_back({y[i], u[i], v[i]});
  return working;
}

// The 256 greys, black first.
std::vector<Rgb8> Greys() {
  std::vector<Rgb8> greys;
  for (int level = 0; level <= 255; ++level) {
    const auto l = static_cast<uint8_t>(level);
    greys.push_back({l, l, l});
  }
  return greys;
}

// Every grey, the primaries and secondaries at several levels, and a pseudo-random spread.
std::vector<Rgb8> SampleColours() {
  std::vector<Rgb8> colours;
  for (int level = 0; level <= 255; ++level) {
    const auto l = static_cast<uint8_t>(level);
    colours.push_back({l, l, l});
  }
  for (int level : {255, 180, 64, 1}) {
    const auto l = static_cast<uint8_t>(level);
    for (Rgb8 c : {Rgb8{l, 0, 0}, Rgb8{0, l, 0}, Rgb8{0, 0, l}, Rgb8{l, l, 0}, Rgb8{0, l, l},
                   Rgb8{l, 0, l}}) {
      colours.push_back(c);
    }
  }
  uint32_t state = 2024;
  for (int i = 0; i < 1500; ++i) {
    state = state * 1103515245u + 12345u;
    colours.push_back({static_cast<uint8_t>(state >> 24), static_cast<uint8_t>(state >> 16),
                       static_cast<uint8_t>(state >> 8)});
  }
  return colours;
}

// The literal conversion kept in tests/engine/reference is the oracle of the exact values:
// every mode, with the defaults and with settings far from them, bit for bit.
TEST(ColourSpaceTest, EveryModeGivesTheLiteralConversionsValues) {
  const std::vector<Rgb8> colours = SampleColours();
  std::vector<uint8_t> r, g, b;
  for (const Rgb8& c : colours) {
    r.push_back(c.r);
    g.push_back(c.g);
    b.push_back(c.b);
  }
  const int n = static_cast<int>(colours.size());
  std::vector<ReductionParams> settings;
  for (int mode = 0; mode <= 9; ++mode) {
    settings.push_back(Defaults(mode));
    settings.push_back(Plain(mode));
    ReductionParams far = Defaults(mode);
    far.gammaR = 0.45;
    far.gammaG = 2.2;
    far.gammaB = 1.7;
    far.gammaY = 0.8;
    far.chromaAngle = -130;
    far.weightY = 0.5;
    far.weightU = 11;
    far.weightV = 900;
    far.contrastSlope = 0.04;
    settings.push_back(far);
  }
  for (const ReductionParams& p : settings) {
    std::vector<double> y(n), u(n), v(n), refY(n), refU(n), refV(n);
    std::vector<uint8_t> r1 = r, g1 = g, b1 = b, r2 = r, g2 = g, b2 = b;
    ConvertToWorkingSpace(n, 1, r1.data(), g1.data(), b1.data(), p, y.data(), u.data(), v.data());
    reference::ConvertToWorkingSpace(n, 1, r2.data(), g2.data(), b2.data(), p, refY.data(),
                                     refU.data(), refV.data());
    for (int i = 0; i < n; ++i) {
      // EXPECT_EQ on doubles: the same bits, NaN aside (none occur here).
      ASSERT_TRUE(y[i] == refY[i] && u[i] == refU[i] && v[i] == refV[i])
          << "mode " << p.colourMode << " gammaR " << p.gammaR << ", colour " << int(r[i]) << ","
          << int(g[i]) << "," << int(b[i]) << ": " << y[i] << " " << u[i] << " " << v[i]
          << " instead of " << refY[i] << " " << refU[i] << " " << refV[i];
    }
  }
}

// Published values of colours, computed independently of this code: the luma weights of
// ITU-R BT.601 and the offset chrominance of the YCbCr definition, and the CIE L*a*b* of
// the sRGB primaries under D65.
TEST(ColourSpaceTest, KnownColoursGetTheirPublishedValues) {
  const Working red = WorkingOf(Plain(3), 255, 0, 0);
  const Working green = WorkingOf(Plain(3), 0, 255, 0);
  const Working blue = WorkingOf(Plain(3), 0, 0, 255);
  const Working white = WorkingOf(Plain(3), 255, 255, 255);
  EXPECT_NEAR(red.y / 255, 0.299, 0.001);
  EXPECT_NEAR(green.y / 255, 0.587, 0.001);
  EXPECT_NEAR(blue.y / 255, 0.114, 0.001);
  EXPECT_NEAR(white.y, 255, 1e-9);
  EXPECT_NEAR(blue.u, 128 + 127.5, 1e-9);  // Cb of blue: its largest value
  EXPECT_NEAR(red.v, 128 + 127.5, 1e-9);   // Cr of red
  EXPECT_NEAR(WorkingOf(Plain(3), 255, 255, 0).u, 128 - 127.5, 1e-9);  // yellow: no blue

  // The channel copy takes the channels as they are: Y green, U blue, V red.
  const Working copy = WorkingOf(Plain(0), 10, 20, 30);
  EXPECT_EQ(copy.y, 20.0);
  EXPECT_EQ(copy.u, 30.0);
  EXPECT_EQ(copy.v, 10.0);

  // L*a*b* (mode 1 keeps a* in Y, b* in U, L* in V).
  const struct {
    Rgb8 colour;
    double lightness, a, b;
  } lab[] = {{{255, 0, 0}, 53.24, 80.09, 67.20},
             {{0, 255, 0}, 87.73, -86.18, 83.18},
             {{0, 0, 255}, 32.30, 79.19, -107.86},
             {{255, 255, 255}, 100.0, 0.0, 0.0},
             {{0, 0, 0}, 0.0, 0.0, 0.0}};
  for (const auto& known : lab) {
    const Working w = WorkingOf(Plain(1), known.colour.r, known.colour.g, known.colour.b);
    EXPECT_NEAR(w.v, known.lightness, 0.02) << int(known.colour.r) << int(known.colour.g);
    EXPECT_NEAR(w.y, known.a, 0.02) << int(known.colour.r) << int(known.colour.g);
    EXPECT_NEAR(w.u, known.b, 0.02) << int(known.colour.r) << int(known.colour.g);
  }
  // L* does not depend on the chromaticity of the white: L*u*v* has the L* of L*a*b*.
  const std::vector<Rgb8> colours = SampleColours();
  const std::vector<Working> luv = WorkingOfAll(Plain(2), colours);
  const std::vector<Working> labs = WorkingOfAll(Plain(1), colours);
  for (size_t i = 0; i < colours.size(); ++i) ASSERT_NEAR(luv[i].v, labs[i].v, 0.005) << i;
}

// Greys carry no colour: in every mode that mixes the channels into a luminance and two
// chrominances their chrominance is the same whatever their lightness (the rotation and
// the weights move it, but alike for all greys), and with the plain settings it is the
// neutral point of the mode. The channel copies keep the three channels equal. (The CIE
// modes keep L* in a chrominance slot, where the rotation mixes it in; they are checked
// with the plain settings. L*u*v* is left out: its white differs slightly from the white
// of the bytes.)
TEST(ColourSpaceTest, GreysLieOnOneAxis) {
  const std::vector<Rgb8> greys = Greys();
  for (int mode : {0, 3, 4, 5, 6, 7, 8, 9}) {
    SCOPED_TRACE(mode);
    const std::vector<Working> withDefaults = WorkingOfAll(Defaults(mode), greys);
    const std::vector<Working> plain = WorkingOfAll(Plain(mode), greys);
    for (int level = 1; level <= 255; ++level) {
      if (mode == 0 || mode == 6 || mode == 7) {
        ASSERT_NEAR(plain[level].y, plain[level].u, 1e-9) << level;
        ASSERT_EQ(plain[level].u, plain[level].v) << level;
        continue;
      }
      // Formula B and its knee leave a trace of chrominance (well under a level).
      const double slack = mode == 4 ? 0.2 : 1e-9;
      ASSERT_NEAR(withDefaults[level].u, withDefaults[0].u, slack) << level;
      ASSERT_NEAR(withDefaults[level].v, withDefaults[0].v, slack) << level;
    }
  }
  const std::vector<Working> ycc = WorkingOfAll(Plain(3), greys);
  const std::vector<Working> lab = WorkingOfAll(Plain(1), greys);
  for (int level = 0; level <= 255; ++level) {
    EXPECT_NEAR(ycc[level].u, 128, 1e-9);
    EXPECT_NEAR(ycc[level].v, 128, 1e-9);
    EXPECT_NEAR(ycc[level].y, level, 1e-9);
    EXPECT_NEAR(lab[level].y, 0, 0.02);
    EXPECT_NEAR(lab[level].u, 0, 0.02);
  }
}

// More light never gives a darker working colour: along the grey axis the lightness rises
// strictly in every mode, and raising one channel alone never lowers it in the modes that
// mix the channels into their lightness.
TEST(ColourSpaceTest, LightnessRisesWithTheLight) {
  for (int mode = 0; mode <= 9; ++mode) {
    SCOPED_TRACE(mode);
    ReductionParams p = Defaults(mode);
    p.contrastSlope = 0.03;
    if (mode == 4 || mode == 7 || mode == 8) {
      // The knee picks its segment by the byte before the channel gamma, so with a gamma
      // other than 1 the two segments do not meet (bytes 29 and 30 swap places); that is
      // the recorded behaviour of these modes. Without a channel gamma the curve is whole.
      p.gammaR = p.gammaG = p.gammaB = 1.0;
    }
    const std::vector<Working> greys = WorkingOfAll(p, Greys());
    for (int level = 1; level <= 255; ++level) {
      ASSERT_GT(Lightness(mode, greys[level]), Lightness(mode, greys[level - 1])) << level;
    }
    if (mode == 0 || mode == 6 || mode == 7) continue;  // the copies: Y is green alone
    p.chromaAngle = 0;  // the CIE modes' L* must not be turned together with b* or v*
    const std::vector<Rgb8> colours = SampleColours();
    const std::vector<Working> base = WorkingOfAll(p, colours);
    for (int channel = 0; channel < 3; ++channel) {
      std::vector<Rgb8> brighter = colours;
      for (Rgb8& c : brighter) {
        uint8_t& value = channel == 0 ? c.r : channel == 1 ? c.g : c.b;
        if (value < 255) ++value;
      }
      const std::vector<Working> raised = WorkingOfAll(p, brighter);
      for (size_t i = 0; i < colours.size(); ++i) {
        const Rgb8& c = colours[i];
        ASSERT_GE(Lightness(mode, raised[i]), Lightness(mode, base[i]) - 1e-12)
            << int(c.r) << "," << int(c.g) << "," << int(c.b) << " channel " << channel;
      }
    }
  }
}

// The steps after the conversion, by what they do rather than how: the rotation turns the
// chrominance plane about its origin by the angle, the weights scale their component, the
// luminance gamma bends the lightness alone and keeps black and white.
TEST(ColourSpaceTest, RotationWeightsAndLuminanceGammaDoWhatTheySay) {
  const Rgb8 colours[] = {{200, 40, 90}, {12, 240, 130}, {90, 90, 250}};
  for (const Rgb8& c : colours) {
    const Working plain = WorkingOf(Plain(3), c.r, c.g, c.b);
    for (double angle : {30.0, -75.0, 180.0}) {
      ReductionParams p = Plain(3);
      p.chromaAngle = angle;
      const Working turned = WorkingOf(p, c.r, c.g, c.b);
      EXPECT_EQ(turned.y, plain.y);
      EXPECT_NEAR(std::hypot(turned.u, turned.v), std::hypot(plain.u, plain.v), 1e-9);
      const double turn = std::atan2(turned.v, turned.u) - std::atan2(plain.v, plain.u);
      EXPECT_NEAR(std::remainder(turn - angle * std::numbers::pi / 180, 2 * std::numbers::pi), 0,
                  1e-9)
          << angle;
      // Modes 4 and 9 apply a fixed matrix instead: the angle changes nothing.
      p.colourMode = 9;
      const Working fixed = WorkingOf(p, c.r, c.g, c.b);
      EXPECT_EQ(fixed.y, plain.y) << "mode 9 is mode 3 apart from the chrominance step";
      p.chromaAngle = 0;
      const Working fixedUnturned = WorkingOf(p, c.r, c.g, c.b);
      EXPECT_TRUE(fixed.u == fixedUnturned.u && fixed.v == fixedUnturned.v);
    }

    ReductionParams weighted = Plain(3);
    weighted.weightY = 2;
    weighted.weightU = 0.5;
    weighted.weightV = 8;
    const Working w = WorkingOf(weighted, c.r, c.g, c.b);
    EXPECT_EQ(w.y, 2 * plain.y);
    EXPECT_EQ(w.u, 0.5 * plain.u);
    EXPECT_EQ(w.v, 8 * plain.v);

    ReductionParams bent = Plain(3);
    bent.gammaY = 2.0;
    const Working g = WorkingOf(bent, c.r, c.g, c.b);
    EXPECT_EQ(g.u, plain.u);
    EXPECT_EQ(g.v, plain.v);
    EXPECT_LT(g.y, plain.y) << "a gamma above 1 darkens the middle";
  }
  ReductionParams bent = Plain(3);
  for (double gamma : {0.4, 1.1, 3.0}) {
    bent.gammaY = gamma;
    EXPECT_NEAR(WorkingOf(bent, 0, 0, 0).y, 0, 1e-12);
    EXPECT_NEAR(WorkingOf(bent, 255, 255, 255).y, 255, 1e-9);
  }
  // The CIE modes carry a signed a* or u* in the lightness slot; the gamma bends a negative
  // value like its mirror image instead of producing something that is not a number.
  ReductionParams lab = Plain(1);
  const Working green = WorkingOf(lab, 0, 255, 0);
  ASSERT_LT(green.y, 0);
  lab.gammaY = 1.1;
  const Working greenBent = WorkingOf(lab, 0, 255, 0);
  EXPECT_FALSE(std::isnan(greenBent.y));
  EXPECT_LT(greenBent.y, 0);
  EXPECT_EQ(greenBent.y, -LuminanceGamma(-green.y, 1.1));
}

// The channel gammas bend each channel before the conversion, keeping black and white.
TEST(ColourSpaceTest, ChannelGammasKeepBlackAndWhiteAndBendTheMiddle) {
  for (int byte = 0; byte <= 255; ++byte) {
    const double bent = ChannelGamma(static_cast<uint8_t>(byte), 1.1);
    EXPECT_LE(bent, byte + 1e-9);
    if (byte > 0) EXPECT_GT(bent, ChannelGamma(static_cast<uint8_t>(byte - 1), 1.1));
  }
  EXPECT_EQ(ChannelGamma(0, 1.1), 0.0);
  EXPECT_EQ(ChannelGamma(255, 1.1), 255.0);
  EXPECT_EQ(ChannelGamma(255, 0.3), 255.0);
  ReductionParams p = Plain(3);
  p.gammaR = 2.0;
  EXPECT_EQ(WorkingOf(p, 255, 0, 0).y, WorkingOf(Plain(3), 255, 0, 0).y);
  EXPECT_LT(WorkingOf(p, 128, 0, 0).y, WorkingOf(Plain(3), 128, 0, 0).y);
  EXPECT_EQ(WorkingOf(p, 0, 128, 0).y, WorkingOf(Plain(3), 0, 128, 0).y) << "red's gamma only";
}

TEST(ColourSpaceTest, KneeCurvesJoinAtTheKneeAndChooseTheirSegmentByTheSourceByte) {
  for (double knee : {kKneeExact, kKneeRounded}) {
    // Both segments keep black and white and meet at the knee.
    EXPECT_NEAR(KneeCurve(0, 0, knee), 0, 1e-12);
    EXPECT_NEAR(KneeCurve(255, 255, knee), 255, 1e-9);
    const double atKnee = 255.0 * knee;
    EXPECT_NEAR(KneeCurve(atKnee, 0, knee), KneeCurve(atKnee, 255, knee), 1e-6);
    // Rising over the bytes.
    double previous = -1;
    for (int byte = 0; byte <= 255; ++byte) {
      const double bent = KneeCurve(byte, static_cast<uint8_t>(byte), knee);
      EXPECT_GT(bent, previous) << byte;
      previous = bent;
    }
    // The segment follows the source byte, not the value after the channel gamma: every
    // byte below 30 takes the shadow segment, every other the highlight one.
    const double curved = ChannelGamma(30, 1.1);
    for (int byte = 0; byte <= 255; ++byte) {
      const double expected = KneeCurve(curved, byte < 30 ? 0 : 255, knee);
      ASSERT_EQ(KneeCurve(curved, static_cast<uint8_t>(byte), knee), expected) << byte;
    }
  }
  // The rounded knee of modes 7 and 8 lies just below 30 / 255: byte 30 is above both.
  EXPECT_LT(kKneeRounded, kKneeExact);
  EXPECT_GT(kKneeRounded * 255, 29.99);
}

TEST(ColourSpaceTest, ToneCurvesAndTheirInverses) {
  for (double slope : {0.001, 0.05}) {
    EXPECT_NEAR(LogisticCurve(0, slope), 0, 1e-9);
    EXPECT_NEAR(LogisticCurve(255, slope), 255, 1e-9);
    EXPECT_NEAR(LogisticCurve(127.5, slope), 127.5, 1e-9);
    for (double x = 0; x <= 255; x += 15) {
      EXPECT_NEAR(InverseLogisticCurve(LogisticCurve(x, slope), slope), x, 1e-6);
      if (x > 0) EXPECT_GT(LogisticCurve(x, slope), LogisticCurve(x - 15, slope));
    }
  }
  EXPECT_GT(LogisticCurve(160, 0.05), 160);  // steeper mid-tones
  EXPECT_LT(LogisticCurve(95, 0.05), 95);
  EXPECT_EQ(InverseLogisticCurve(1e6, 0.001), INFINITY);

  for (int byte = 0; byte <= 255; ++byte) {
    for (double knee : {kKneeExact, kKneeRounded}) {
      const double bent = KneeCurve(byte, static_cast<uint8_t>(byte), knee);
      EXPECT_NEAR(InverseKneeCurve(bent, knee), byte, 1e-6) << byte;
    }
  }
  EXPECT_TRUE(std::isnan(InverseKneeCurve(-1, kKneeExact)));

  EXPECT_EQ(LuminanceGamma(-100, 1.1), -LuminanceGamma(100, 1.1));
  EXPECT_NEAR(LuminanceGamma(255, 1.7), 255, 1e-9);
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
