#include "engine/colour_space.h"

#include <cmath>
#include <numbers>
#include <vector>

#include "engine/cie_conversions.h"
#include "engine/float_rounding.h"
#include "engine/tone_curves.h"

namespace genshoku {

namespace {

// ---- Preparation of the source bytes -------------------------------------------------

// A separable 3-tap smoothing (outer, centre, outer) of one byte plane, in place. The
// horizontal pass can only fill columns that have both neighbours and leaves the others
// at 0, so the vertical pass writes back only samples whose whole 3 x 3 neighbourhood lies
// inside the picture: interior rows and interior columns. Border samples keep their
// values; pictures narrower or lower than 3 samples are left as they are.
void SmoothPlane(int width, int height, uint8_t* plane, double centre) {
  const double outer = (1.0 - centre) * 0.5;
  if (width < 3 || height < 3) return;
  // Horizontal results of three rows at a time: a row is smoothed across before the
  // vertical pass writes anything into it, so every value is taken from the source bytes.
  std::vector<double> across(static_cast<size_t>(3) * width, 0.0);
  auto acrossRow = [&](int y) { return across.data() + static_cast<size_t>(y % 3) * width; };
  auto smoothAcross = [&](int y) {
    const uint8_t* row = plane + static_cast<int64_t>(y) * width;
    double* out = acrossRow(y);
    for (int x = 1; x <= width - 2; ++x) {
      out[x] = outer * row[x - 1] + centre * row[x] + outer * row[x + 1];
    }
  };
  smoothAcross(0);
  smoothAcross(1);
  for (int y = 1; y <= height - 2; ++y) {
    smoothAcross(y + 1);
    const double* above = acrossRow(y - 1);
    const double* middle = acrossRow(y);
    const double* below = acrossRow(y + 1);
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

void PrepareSourcePlanes(int width, int height, uint8_t* srcR, uint8_t* srcG, uint8_t* srcB,
                         const ReductionParams& params) {
  const int64_t n = static_cast<int64_t>(width) * height;
  if (params.presmoothOn == 1) {
    SmoothPlane(width, height, srcR, params.presmoothCentre);
    SmoothPlane(width, height, srcG, params.presmoothCentre);
    SmoothPlane(width, height, srcB, params.presmoothCentre);
  }
  RaiseToFloor(n, srcR, params.channelFloor);
  RaiseToFloor(n, srcG, params.channelFloor);
  RaiseToFloor(n, srcB, params.channelFloor);
}

WorkingSpaceConverter::WorkingSpaceConverter(const ReductionParams& params) {
  const ModeRecipe recipe = RecipeOf(params.colourMode);
  for (int byte = 0; byte < 256; ++byte) {
    const uint8_t b = static_cast<uint8_t>(byte);
    curvedRed_[byte] =
        ApplyToneCurve(recipe, ChannelGamma(b, params.gammaR), b, params.contrastSlope);
    curvedGreen_[byte] =
        ApplyToneCurve(recipe, ChannelGamma(b, params.gammaG), b, params.contrastSlope);
    curvedBlue_[byte] =
        ApplyToneCurve(recipe, ChannelGamma(b, params.gammaB), b, params.contrastSlope);
  }
  conversion_ = static_cast<int>(recipe.conversion);
  fixedChromaMatrix_ = recipe.fixedChromaMatrix;
  const double theta = params.chromaAngle * std::numbers::pi / 180.0;
  cosine_ = std::cos(theta);
  sine_ = std::sin(theta);
  gammaY_ = params.gammaY;
  weightY_ = params.weightY;
  weightU_ = params.weightU;
  weightV_ = params.weightV;
}

void WorkingSpaceConverter::Convert(uint8_t red, uint8_t green, uint8_t blue, double& y, double& u,
                                    double& v) const {
  const CurvedRgb curved{curvedRed_[red], curvedGreen_[green], curvedBlue_[blue]};
  WorkingColour w = genshoku::Convert(static_cast<Conversion>(conversion_), curved);
  const ChromaStep chroma{fixedChromaMatrix_, cosine_, sine_};
  chroma.Apply(w);
  w.y = LuminanceGamma(w.y, gammaY_);
  y = weightY_ * w.y;
  v = weightV_ * w.v;
  u = weightU_ * w.u;
}

void ConvertToWorkingSpace(int width, int height, uint8_t* srcR, uint8_t* srcG, uint8_t* srcB,
                           const ReductionParams& params, double* planeY, double* planeU,
                           double* planeV) {
  PrepareSourcePlanes(width, height, srcR, srcG, srcB, params);
  const WorkingSpaceConverter converter(params);
  const int64_t n = static_cast<int64_t>(width) * height;
  for (int64_t i = 0; i < n; ++i) {
    converter.Convert(srcR[i], srcG[i], srcB[i], planeY[i], planeU[i], planeV[i]);
  }
}

}  // namespace genshoku
