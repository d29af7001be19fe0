#include "tests/engine/reference/cie_conversions.h"

#include <cmath>

// The coefficients are those of sRGB primaries with a D65 white point; the Lab pair divides
// X and Z by the white point scaled to 0..255 (0.950456 * 255 and 1.088754 * 255).
namespace genshoku::reference {

namespace {

constexpr double kOneThird = 1.0 / 3.0;

// Ratio 24389 / 27 of the CIE standard: the slope of the linear part of L*.
constexpr double kLinearSlope = 903.2962962962963;

// Lab: cube root above the CIE cut-off, the matching straight line below it.
double LabCompress(double t) {
  if (t > 0.008856) return std::pow(t, kOneThird);
  return (t * kLinearSlope + 16) / 116;
}

double LabExpand(double t) {
  if (t > std::pow(0.008856, kOneThird)) return t * t * t;
  return (116 * t - 16) * 0.0011070564598794539;
}

// u' and v' of the reference white.
constexpr double kWhiteU = 0.20916022437054002;
constexpr double kWhiteV = 0.48807327867129535;

}  // namespace

void RgbToLab(double red, double green, double blue, double& lightness, double& a, double& b) {
  const double y = (0.212649 * red + 0.715169 * green + 0.072182 * blue) / 255;
  const double x = (0.412411 * red + 0.357585 * green + 0.180454 * blue) / 242.36628;
  const double z = (0.019332 * red + 0.119195 * green + 0.95039 * blue) / 277.63227;
  const double fx = LabCompress(x);
  const double fy = LabCompress(y);
  const double fz = LabCompress(z);
  lightness = 116 * fy - 16;
  a = 500 * (fx - fy);
  b = 200 * (fy - fz);
}

void LabToRgb(double lightness, double a, double b, double& red, double& green, double& blue) {
  const double fy = (lightness + 16) / 116;
  const double fx = a / 500 + fy;
  const double fz = fy - b / 200;
  const double y = LabExpand(fy);
  const double x = 242.36628 * LabExpand(fx);
  const double z = 277.63227 * LabExpand(fz);
  const double y255 = 255 * y;
  red = 3.2408109640905 * x - 1.5373099569082 * y255 - 0.49858604825854 * z;
  green = -0.96924116992192 * x + 1.8759664973723 * y255 + 0.041553922456843 * z;
  blue = 0.05563752111349 * x - 0.20400735547233 * y255 + 1.0571298579506 * z;
}

void RgbToLuv(double red, double green, double blue, double& lightness, double& u, double& v) {
  const double y = (0.212671 * red + 0.71516 * green + 0.072169 * blue) / 255;
  const double x = (0.412453 * red + 0.35758 * green + 0.180423 * blue) / 255;
  const double z = (0.019334 * red + 0.119193 * green + 0.950227 * blue) / 255;
  // Black has no chromaticity; answering before the division keeps it free of 0 / 0.
  if (x == 0 && y == 0 && z == 0) {
    lightness = 0;
    u = 0;
    v = 0;
    return;
  }
  const double d = x + 15 * y + 3 * z;
  const double uPrime = 4 * x / d;
  const double vPrime = 9 * y / d;
  if (y > 0.008856451679035631) {
    lightness = 116 * std::pow(y, kOneThird) - 16;
  } else {
    lightness = kLinearSlope * y;
  }
  u = 13 * lightness * (uPrime - kWhiteU);
  v = 13 * lightness * (vPrime - kWhiteV);
}

void LuvToRgb(double lightness, double u, double v, double& red, double& green, double& blue) {
  double x = 0;
  double y = 0;
  double z = 0;
  if (!(lightness == 0 && u == 0 && v == 0)) {
    if (lightness > 8) {
      const double cubeRoot = (lightness + 16) / 116;
      y = cubeRoot * cubeRoot * cubeRoot;
    } else {
      y = lightness / kLinearSlope;
    }
    const double vPrime = v / (13 * lightness) + kWhiteV;
    const double q = (u / (13 * lightness) + kWhiteU) / vPrime * y;
    x = 2.25 * q;
    z = 3 * (y / vPrime - (15 * y / 9 + 0.25 * q));
  }
  red = 255 * (3.2404813432005 * x - 1.5371515162713 * y - 0.49853632616889 * z);
  green = 255 * (-0.96925494999657 * x + 1.8759900014899 * y + 0.041555926558293 * z);
  blue = 255 * (0.055646639135177 * x - 0.20404133836651 * y + 1.0573110696453 * z);
}

}  // namespace genshoku::reference
