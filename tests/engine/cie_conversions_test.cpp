#include "engine/cie_conversions.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>

namespace genshoku {
namespace {

struct Rgb {
  double red, green, blue;
};

constexpr std::array<Rgb, 9> kSamples = {{{0, 0, 0},
                                          {255, 255, 255},
                                          {255, 0, 0},
                                          {0, 255, 0},
                                          {0, 0, 255},
                                          {1, 2, 3},
                                          {12.5, 200.25, 64},
                                          {128, 128, 128},
                                          {250, 128, 5}}};

// Red's L*a*b* and L*u*v* values are checked through the working space's slots.
TEST(CieConversionsTest, KnownColours) {
  double l, a, b;
  RgbToLab(255, 255, 255, l, a, b);
  EXPECT_NEAR(l, 100.0, 1e-3);
  EXPECT_NEAR(a, 0.0, 1e-2);
  EXPECT_NEAR(b, 0.0, 1e-2);

  // Black is exactly zero in L*u*v* both ways, not 0/0.
  double u = -1, v = -1;
  RgbToLuv(0, 0, 0, l, u, v);
  EXPECT_EQ(l, 0.0);
  EXPECT_EQ(u, 0.0);
  EXPECT_EQ(v, 0.0);
  double r = -1, g = -1;
  b = -1;
  LuvToRgb(0, 0, 0, r, g, b);
  EXPECT_EQ(r, 0.0);
  EXPECT_EQ(g, 0.0);
  EXPECT_EQ(b, 0.0);

  // The reference white of u* and v* is D50's, so sRGB white is slightly blue here.
  RgbToLuv(255, 255, 255, l, u, v);
  EXPECT_NEAR(l, 100.0, 1e-3);
  EXPECT_NEAR(u, -14.72, 0.01);
  EXPECT_NEAR(v, -25.65, 0.01);
  // Blue pulls v* down.
  RgbToLuv(0, 0, 255, l, u, v);
  EXPECT_NEAR(l, 32.30, 0.01);
  EXPECT_NEAR(v, -138.62, 0.01);
  // A very dark grey lies on the linear part of L*.
  RgbToLuv(1, 1, 1, l, u, v);
  EXPECT_NEAR(l, 903.2962962962963 / 255, 1e-6);
}

TEST(CieConversionsTest, InversesRecoverTheColour) {
  for (const Rgb& c : kSamples) {
    SCOPED_TRACE(testing::Message() << c.red << "," << c.green << "," << c.blue);
    double l, a, b, r, g, bl;
    RgbToLab(c.red, c.green, c.blue, l, a, b);
    LabToRgb(l, a, b, r, g, bl);
    EXPECT_NEAR(r, c.red, 0.01);
    EXPECT_NEAR(g, c.green, 0.01);
    EXPECT_NEAR(bl, c.blue, 0.01);

    double u, v;
    RgbToLuv(c.red, c.green, c.blue, l, u, v);
    LuvToRgb(l, u, v, r, g, bl);
    EXPECT_NEAR(r, c.red, 0.01);
    EXPECT_NEAR(g, c.green, 0.01);
    EXPECT_NEAR(bl, c.blue, 0.01);
  }
}

}  // namespace
}  // namespace genshoku
