#include "tests/engine/reference/colour_space.h"

#include <cmath>
#include <numbers>
#include <vector>

#include "tests/engine/reference/cie_conversions.h"
#include "tests/engine/reference/float_rounding.h"
#include "tests/engine/reference/tone_curves.h"

namespace genshoku::reference {

namespace {

// ---- Preparation of the source bytes -------------------------------------------------

// A separable 3-tap smoothing (outer, centre, outer) of one byte plane, in place. The
// horizontal pass can only fill columns that have both neighbours and leaves the others
// at 0, so the vertical pass writes back only samples whose whole 3 x 3 neighbourhood lies
// inside the picture: interior rows and interior columns. Border samples keep their
// values; pictures narrower or lower than 3 samples are left as they are.
void SmoothPlane(int width, int height, uint8_t* plane, double centre) {
  const double outer = (1.0 - centre) * 0.5;
  const int64_t n = static_cast<int64_t>(width) * height;
  std::vector<double> across(n, 0.0);
  for (int y = 0; y < height; ++y) {
    const uint8_t* row = plane + static_cast<int64_t>(y) * width;
    double* out = across.data() + static_cast<int64_t>(y) * width;
    for (int x = 1; x <= width - 2; ++x) {
      out[x] = outer * row[x - 1] + centre * row[x] + outer * row[x + 1];
    }
  }
  for (int y = 1; y <= height - 2; ++y) {
    const double* above = across.data() + static_cast<int64_t>(y - 1) * width;
    const double* middle = above + width;
    const double* below = middle + width;
    uint8_t* out = plane + static_cast<int64_t>(y) * width;
    for (int x = 1; x <= width - 2; ++x) {
      const double value = outer * above[x] + centre * middle[x] + outer * below[x];
      // With a centre weight in 0..1 the value stays in 0..255; other weights can
      // overshoot, and a byte must never be formed from an out-of-range double.
      const double rounded = value + 0.5;
      if (!(rounded >= 0.0)) {
        out[x] = 0;
      } else if (rounded >= 255.0) {
        out[x] = 255;
      } else {
        out[x] = static_cast<uint8_t>(rounded);
      }
    }
  }
}

void RaiseToFloor(int64_t n, uint8_t* plane, int floor) {
  if (floor <= 0) return;
  const uint8_t floorByte = static_cast<uint8_t>(floor > 255 ? 255 : floor);
  for (int64_t i = 0; i < n; ++i) {
    if (plane[i] < floorByte) plane[i] = floorByte;
  }
}

// ---- One pixel ------------------------------------------------------------------------

struct CurvedRgb {
  double red;
  double green;
  double blue;
};

struct WorkingColour {
  double y;
  double u;
  double v;
};

enum class ToneCurve { None, Knee, Logistic };
enum class Conversion { ChannelCopy, Lab, Luv, FormulaA, FormulaB };

struct ModeRecipe {
  ToneCurve toneCurve;
  double knee;  // for the knee curve only
  Conversion conversion;
  bool fixedChromaMatrix;  // otherwise the chrominance plane is rotated
};

// Colour modes outside 0..9 are refused by the settings check before the engine runs; here
// they fall back to the plain channel copy so that the planes are always written.
ModeRecipe RecipeOf(int colourMode) {
  switch (colourMode) {
    case 1: return {ToneCurve::None, 0, Conversion::Lab, false};
    case 2: return {ToneCurve::None, 0, Conversion::Luv, false};
    case 3: return {ToneCurve::None, 0, Conversion::FormulaA, false};
    case 4: return {ToneCurve::Knee, kKneeExact, Conversion::FormulaB, true};
    case 5: return {ToneCurve::Logistic, 0, Conversion::FormulaA, false};
    case 6: return {ToneCurve::Logistic, 0, Conversion::ChannelCopy, false};
    case 7: return {ToneCurve::Knee, kKneeRounded, Conversion::ChannelCopy, false};
    case 8: return {ToneCurve::Knee, kKneeRounded, Conversion::FormulaA, false};
    case 9: return {ToneCurve::None, 0, Conversion::FormulaA, true};
    default: return {ToneCurve::None, 0, Conversion::ChannelCopy, false};
  }
}

double ApplyToneCurve(const ModeRecipe& recipe, double curved, uint8_t sourceByte,
                      double contrastSlope) {
  switch (recipe.toneCurve) {
    case ToneCurve::Knee: return KneeCurve(curved, sourceByte, recipe.knee);
    case ToneCurve::Logistic: return LogisticCurve(curved, contrastSlope);
    case ToneCurve::None: break;
  }
  return curved;
}

// YCbCr-like, chrominance offset to 128.
WorkingColour FormulaA(double r, double g, double b) {
  return {0.29891 * r + 0.58661 * g + 0.11448 * b, 0.5 * b - (0.33126 * g + 0.16874 * r) + 128,
          0.5 * r - 0.41869 * g - 0.08131 * b + 128};
}

// A variant with other coefficients and chrominance centred on 0.
WorkingColour FormulaB(double r, double g, double b) {
  return {0.5866 * g + 0.2989 * r + 0.1145 * b, 0.4 * b - (0.135 * r + 0.265 * g),
          (0.4 * r - 0.3346 * g) - 0.0653 * b};
}

// The channel values enter every coefficient product rounded to single precision; the plain
// channel copy multiplies nothing and keeps them as they are.
WorkingColour Convert(Conversion conversion, const CurvedRgb& c) {
  const double r = RoundToFloat(c.red);
  const double g = RoundToFloat(c.green);
  const double b = RoundToFloat(c.blue);
  WorkingColour w{};
  switch (conversion) {
    case Conversion::FormulaA: return FormulaA(r, g, b);
    case Conversion::FormulaB: return FormulaB(r, g, b);
    case Conversion::Lab: RgbToLab(r, g, b, w.v, w.y, w.u); return w;
    case Conversion::Luv: RgbToLuv(r, g, b, w.v, w.y, w.u); return w;
    case Conversion::ChannelCopy: break;
  }
  return {c.green, c.blue, c.red};
}

// The chrominance step turns the (U, V) plane about its origin, or for some modes applies a
// fixed matrix; both use the old U and V on the right-hand side.
struct ChromaStep {
  bool fixedMatrix;
  double cosine;
  double sine;

  void Apply(WorkingColour& w) const {
    const double u = w.u;
    const double v = w.v;
    if (fixedMatrix) {
      w.u = 0.941996495 * u + 0.13632709 * v;
      w.v = 0.118202579 * u + 1.201426141 * v;
    } else {
      w.u = cosine * u - sine * v;
      w.v = sine * u + cosine * v;
    }
  }
};

}  // namespace

void ConvertToWorkingSpace(int width, int height, uint8_t* srcR, uint8_t* srcG, uint8_t* srcB,
                           const ReductionParams& params, double* planeY, double* planeU,
                           double* planeV) {
  const int64_t n = static_cast<int64_t>(width) * height;

  if (params.presmoothOn == 1) {
    SmoothPlane(width, height, srcR, params.presmoothCentre);
    SmoothPlane(width, height, srcG, params.presmoothCentre);
    SmoothPlane(width, height, srcB, params.presmoothCentre);
  }
  RaiseToFloor(n, srcR, params.channelFloor);
  RaiseToFloor(n, srcG, params.channelFloor);
  RaiseToFloor(n, srcB, params.channelFloor);

  const ModeRecipe recipe = RecipeOf(params.colourMode);
  const double theta = params.chromaAngle * std::numbers::pi / 180.0;
  const ChromaStep chroma{recipe.fixedChromaMatrix, std::cos(theta), std::sin(theta)};

  for (int64_t i = 0; i < n; ++i) {
    CurvedRgb curved{ChannelGamma(srcR[i], params.gammaR), ChannelGamma(srcG[i], params.gammaG),
                     ChannelGamma(srcB[i], params.gammaB)};
    curved.red = ApplyToneCurve(recipe, curved.red, srcR[i], params.contrastSlope);
    curved.green = ApplyToneCurve(recipe, curved.green, srcG[i], params.contrastSlope);
    curved.blue = ApplyToneCurve(recipe, curved.blue, srcB[i], params.contrastSlope);

    WorkingColour w = Convert(recipe.conversion, curved);
    chroma.Apply(w);
    w.y = LuminanceGamma(w.y, params.gammaY);

    planeY[i] = params.weightY * w.y;
    planeV[i] = params.weightV * w.v;
    planeU[i] = params.weightU * w.u;
  }
}

}  // namespace genshoku::reference
