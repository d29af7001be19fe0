#include "engine/palette_to_rgb.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <vector>

#include "engine/colour_space.h"
#include "tests/engine/support_reduction.h"

namespace genshoku {
namespace {

struct Bytes {
  uint8_t r, g, b;
};

struct Converted {
  std::vector<PaletteRecord> records = std::vector<PaletteRecord>(kPaletteSize);
  uint8_t red[kPaletteSize], green[kPaletteSize], blue[kPaletteSize];
};

Converted Convert(WorkingPalette palette, const ReductionParams& params) {
  Converted c;
  PaletteToRgb(palette, kPaletteSize, params, c.records.data(), c.red, c.green, c.blue);
  return c;
}

// Grey ramp, the six saturated colours, and a spread of mixed ones: 256 colours.
std::vector<Bytes> TestColours() {
  std::vector<Bytes> colours;
  for (int level = 0; level <= 255; level += 3) {
    const uint8_t l = static_cast<uint8_t>(level);
    colours.push_back({l, l, l});
  }
  colours.push_back({255, 255, 255});
  for (int level : {255, 128, 40}) {
    const uint8_t l = static_cast<uint8_t>(level);
    for (Bytes c : {Bytes{l, 0, 0}, Bytes{0, l, 0}, Bytes{0, 0, l}, Bytes{l, l, 0}, Bytes{0, l, l},
                    Bytes{l, 0, l}}) {
      colours.push_back(c);
    }
  }
  uint32_t state = 12345;
  while (colours.size() < static_cast<size_t>(kPaletteSize)) {
    state = state * 1103515245u + 12345u;
    colours.push_back({static_cast<uint8_t>(state >> 24), static_cast<uint8_t>(state >> 16),
                       static_cast<uint8_t>(state >> 8)});
  }
  return colours;
}

// Every colour through the working-space conversion (a one-pixel picture each) into a
// palette entry, and back to bytes.
void ExpectRoundTrip(const ReductionParams& params) {
  const std::vector<Bytes> colours = TestColours();
  WorkingPalette palette;
  for (int i = 0; i < kPaletteSize; ++i) {
    Bytes c = colours[i];
    ConvertToWorkingSpace(1, 1, &c.r, &c.g, &c.b, params, &palette.Y[i], &palette.U[i],
                          &palette.V[i]);
  }
  const Converted out = Convert(palette, params);
  for (int i = 0; i < kPaletteSize; ++i) {
    const Bytes c = colours[i];
    SCOPED_TRACE(testing::Message() << "mode " << params.colourMode << " colour " << int(c.r) << ","
                                    << int(c.g) << "," << int(c.b));
    EXPECT_LE(std::abs(out.red[i] - c.r), 1);
    EXPECT_LE(std::abs(out.green[i] - c.g), 1);
    EXPECT_LE(std::abs(out.blue[i] - c.b), 1);
  }
}

TEST(PaletteToRgbTest, EveryColourModeUndoesTheWorkingSpace) {
  for (int mode = 0; mode <= 9; ++mode) {
    ReductionParams p;  // gammas 1.1, 5 degrees, weights 7.5, 3, 4
    p.colourMode = mode;
    p.contrastSlope = 0.02;  // a clearly bent logistic curve for modes 5 and 6
    // The knee curve is bent after the channel gamma but its segment is chosen by the byte
    // before it; with a channel gamma other than 1 the two segments overlap near the knee
    // and no inverse can tell them apart there, so the knee modes are checked without it.
    if (mode == 4 || mode == 7 || mode == 8) p.gammaR = p.gammaG = p.gammaB = 1.0;
    ExpectRoundTrip(p);
  }
}

TEST(PaletteToRgbTest, RoundingAndClamping) {
  // In plain colour mode 0 an entry is (green, blue, red): the V slot is red.
  const double reds[] = {255.4,
                         255.5,
                         -0.4,
                         254.5,
                         254.49,
                         0.49,
                         1e12,
                         -1e12,
                         std::numeric_limits<double>::quiet_NaN(),
                         std::numeric_limits<double>::infinity(),
                         -std::numeric_limits<double>::infinity()};
  const uint8_t expected[] = {255, 255, 0, 255, 254, 0, 255, 0, 0, 255, 0};
  WorkingPalette palette;
  for (size_t i = 0; i < std::size(reds); ++i) {
    palette.V[i] = reds[i];
    palette.Y[i] = 10;
    palette.U[i] = 20;
  }
  const Converted out = Convert(palette, test_support::PlainColourSettings(0));
  for (size_t i = 0; i < std::size(reds); ++i) {
    EXPECT_EQ(out.red[i], expected[i]) << reds[i];
    EXPECT_EQ(out.green[i], 10) << reds[i];
  }
}

TEST(PaletteToRgbTest, NegativeChannelsBeforeTheGammaComeOutBlack) {
  // With gamma 1.1 a negative base has no real power: 0, not a byte made from NaN.
  ReductionParams p = test_support::PlainColourSettings(0);
  p.gammaR = p.gammaG = p.gammaB = 1.1;
  WorkingPalette palette;
  palette.V[0] = -3;
  palette.Y[0] = -0.001;
  palette.U[0] = 255;
  const Converted out = Convert(palette, p);
  EXPECT_EQ(out.red[0], 0);
  EXPECT_EQ(out.green[0], 0);
  EXPECT_EQ(out.blue[0], 255);
}

}  // namespace
}  // namespace genshoku
