#include "engine/visible_error.h"

#include <algorithm>
#include <cmath>

namespace genshoku {

namespace {

// sRGB byte value -> linear light 0..1.
double Linear(double byte) {
  const double v = byte / 255.0;
  return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

double Compress(double t) {
  return t > 216.0 / 24389.0 ? std::cbrt(t) : (t * 24389.0 / 27.0 + 16.0) / 116.0;
}

}  // namespace

void SrgbToLab(const double rgb[3], double lab[3]) {
  const double r = Linear(rgb[0]), g = Linear(rgb[1]), b = Linear(rgb[2]);
  const double x = (0.412453 * r + 0.357580 * g + 0.180423 * b) / 0.950456;
  const double y = 0.212671 * r + 0.715160 * g + 0.072169 * b;
  const double z = (0.019334 * r + 0.119193 * g + 0.950227 * b) / 1.088754;
  const double fx = Compress(x), fy = Compress(y), fz = Compress(z);
  lab[0] = 116.0 * fy - 16.0;
  lab[1] = 500.0 * (fx - fy);
  lab[2] = 200.0 * (fy - fz);
}

VisibleErrorMatrix::VisibleErrorMatrix(double red, double green, double blue) {
  // Central differences of Lab by each byte channel, kept inside the byte range.
  const double at[3] = {red, green, blue};
  double jacobian[3][3];  // [Lab component][RGB channel]
  for (int c = 0; c < 3; ++c) {
    double up[3] = {at[0], at[1], at[2]}, down[3] = {at[0], at[1], at[2]};
    up[c] = std::min(at[c] + 0.5, 255.0);
    down[c] = std::max(at[c] - 0.5, 0.0);
    double labUp[3], labDown[3];
    SrgbToLab(up, labUp);
    SrgbToLab(down, labDown);
    for (int k = 0; k < 3; ++k) jacobian[k][c] = (labUp[k] - labDown[k]) / (up[c] - down[c]);
  }
  double lab[3];
  SrgbToLab(at, lab);
  // The weights of lightness, chroma and hue differences at this colour.
  const double chroma = std::hypot(lab[1], lab[2]);
  const double offset = (lab[0] - 50.0) * (lab[0] - 50.0);
  const double weightL = 1.0 + 0.015 * offset / std::sqrt(20.0 + offset);
  const double weightC = 1.0 + 0.045 * chroma;
  const double weightH = 1.0 + 0.015 * chroma;
  // Unit vectors along the chroma and the hue in the a*b* plane (any pair for a grey).
  const double ca = chroma > 1e-9 ? lab[1] / chroma : 1.0;
  const double cb = chroma > 1e-9 ? lab[2] / chroma : 0.0;
  for (int c = 0; c < 3; ++c) {
    m_[0][c] = jacobian[0][c] / weightL;
    m_[1][c] = (ca * jacobian[1][c] + cb * jacobian[2][c]) / weightC;
    m_[2][c] = (-cb * jacobian[1][c] + ca * jacobian[2][c]) / weightH;
  }
}

void VisibleErrorMatrix::Gram(double out[3][3]) const {
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      out[i][j] = m_[0][i] * m_[0][j] + m_[1][i] * m_[1][j] + m_[2][i] * m_[2][j];
    }
  }
}

double VisibleErrorMatrix::LeastStretch() const {
  // S = M^T M, symmetric; its eigenvalues by the closed form for 3 x 3 symmetric matrices.
  double sym[3][3];
  Gram(sym);
  const double trace = sym[0][0] + sym[1][1] + sym[2][2];
  const double off = sym[0][1] * sym[0][1] + sym[0][2] * sym[0][2] + sym[1][2] * sym[1][2];
  double least;
  if (off == 0.0) {
    least = std::min({sym[0][0], sym[1][1], sym[2][2]});
  } else {
    const double q = trace / 3.0;
    const double a = sym[0][0] - q, b = sym[1][1] - q, c = sym[2][2] - q;
    const double p = std::sqrt((a * a + b * b + c * c + 2.0 * off) / 6.0);
    // det((S - qI) / p) / 2, in [-1, 1] but for rounding.
    const double det = a * (b * c - sym[1][2] * sym[1][2]) -
                       sym[0][1] * (sym[0][1] * c - sym[1][2] * sym[0][2]) +
                       sym[0][2] * (sym[0][1] * sym[1][2] - b * sym[0][2]);
    const double r = std::clamp(det / (2.0 * p * p * p), -1.0, 1.0);
    const double angle = std::acos(r) / 3.0;
    least = q + 2.0 * p * std::cos(angle + 2.0943951023931955);  // + 2 pi / 3
  }
  return std::max(0.0, least * (1.0 - 1e-6) - 1e-9 * trace);
}

}  // namespace genshoku
