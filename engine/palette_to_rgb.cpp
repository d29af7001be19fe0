#include "engine/palette_to_rgb.h"

#include <cmath>
#include <numbers>

#include "engine/cie_conversions.h"
#include "engine/float_rounding.h"
#include "engine/tone_curves.h"

// Each palette entry runs the steps of the working-space conversion backwards: weights and
// chrominance step, luminance gamma, colour conversion and tone curve, channel gamma. The
// colour conversion reads its three components rounded to single precision.
namespace genshoku {

namespace {

struct LinearRgb {
  double red;
  double green;
  double blue;
};

// The inverse of the YCbCr-like conversion (chrominance offset 128), each channel rounded
// to single precision.
LinearRgb FromFormulaA(double y, double u, double v) {
  return {RoundToFloat(y + 1.4018452447105 * (v - 128)),
          RoundToFloat(y - 0.34511790321824 * (u - 128) - 0.71429038997809 * (v - 128)),
          RoundToFloat(y + 1.7710177314704 * (u - 128))};
}

// The inverse with the customary rounded YCbCr coefficients, as the logistic mode defines it.
LinearRgb FromFormulaARounded(double y, double u, double v) {
  return {y + 1.402 * (v - 128), y - 0.34414 * (u - 128) - 0.71414 * (v - 128),
          y + 1.772 * (u - 128)};
}

// The inverse of the variant conversion without offset.
LinearRgb FromFormulaB(double y, double u, double v) {
  return {0.9998247134019967 * y - 0.000044452970991771824 * u + 1.7528659800326483 * v,
          1.0000893144198046 * y - 0.4320813565838843 * u - 0.89314419804726 * v,
          1.0000000115762946 * y + 2.213731098385467 * u - 0.00011576294529099052 * v};
}

LinearRgb UndoKnee(const LinearRgb& c, double knee) {
  return {InverseKneeCurve(c.red, knee), InverseKneeCurve(c.green, knee),
          InverseKneeCurve(c.blue, knee)};
}

LinearRgb UndoLogistic(const LinearRgb& c, double slope) {
  return {InverseLogisticCurve(c.red, slope), InverseLogisticCurve(c.green, slope),
          InverseLogisticCurve(c.blue, slope)};
}

// Colour conversion and tone curve undone, by colour mode. Modes outside 0..9 mirror the
// channel copy that the working-space conversion falls back to.
LinearRgb ToLinearRgb(int colourMode, double y, double u, double v, double contrastSlope) {
  LinearRgb c{v, y, u};  // channel copy: the Y slot carries green, U blue, V red
  switch (colourMode) {
    case 1: LabToRgb(v, y, u, c.red, c.green, c.blue); break;
    case 2: LuvToRgb(v, y, u, c.red, c.green, c.blue); break;
    case 3:
    case 9: c = FromFormulaA(y, u, v); break;
    case 4: c = UndoKnee(FromFormulaB(y, u, v), kKneeExact); break;
    case 5: c = UndoLogistic(FromFormulaARounded(y, u, v), contrastSlope); break;
    case 6: c = UndoLogistic(c, contrastSlope); break;
    case 7: c = UndoKnee(c, kKneeRounded); break;
    case 8: c = UndoKnee(FromFormulaA(y, u, v), kKneeRounded); break;
    default: break;
  }
  return c;
}

// Channel gamma undone, rounded (add 0.5, truncate) and clamped to a byte. A channel that is
// negative or not a number has no real power and comes out as 0; infinity and anything that
// rounds to 256 or more give 255.
uint8_t ToByte(double value, double gamma) {
  if (!(value >= 0)) return 0;
  const double curved = 255.0 * std::pow(RoundToFloat(value) / 255.0, 1.0 / gamma);
  const double rounded = curved + 0.5;
  if (std::isnan(rounded)) return 0;
  if (rounded >= 256.0) return 255;
  return static_cast<uint8_t>(static_cast<int32_t>(rounded));
}

}  // namespace

void PaletteToRgb(WorkingPalette& palette, int entryCount, const ReductionParams& params,
                  PaletteRecord* records, uint8_t* paletteRed, uint8_t* paletteGreen,
                  uint8_t* paletteBlue) {
  for (int i = 0; i < entryCount; ++i) {
    records[i] = {palette.Y[i], palette.U[i], palette.V[i], i};
  }

  const bool fixedChromaMatrix = params.colourMode == 4 || params.colourMode == 9;
  const double theta = params.chromaAngle * std::numbers::pi / 180.0;
  const double cosine = std::cos(theta);
  const double sine = std::sin(theta);
  const double weightU = RoundToFloat(params.weightU);
  const double weightV = RoundToFloat(params.weightV);

  for (int i = 0; i < entryCount; ++i) {
    const double u = palette.U[i] / weightU;
    const double v = palette.V[i] / weightV;
    if (fixedChromaMatrix) {
      palette.U[i] = 1.076908585 * u - 0.122197951 * v;
      palette.V[i] = 0.844366606 * v - 0.105951892 * u;
    } else {
      // The working space turned (U, V) by +theta; turn it back.
      palette.U[i] = cosine * u + sine * v;
      palette.V[i] = cosine * v - sine * u;
    }
    palette.Y[i] = palette.Y[i] / params.weightY;
  }

  for (int i = 0; i < entryCount; ++i) {
    palette.Y[i] = LuminanceGamma(palette.Y[i], 1.0 / params.gammaY);
  }

  for (int i = 0; i < entryCount; ++i) {
    const LinearRgb c =
        ToLinearRgb(params.colourMode, RoundToFloat(palette.Y[i]), RoundToFloat(palette.U[i]),
                    RoundToFloat(palette.V[i]), params.contrastSlope);
    paletteRed[i] = ToByte(c.red, params.gammaR);
    paletteGreen[i] = ToByte(c.green, params.gammaG);
    paletteBlue[i] = ToByte(c.blue, params.gammaB);
  }
}

}  // namespace genshoku
