#pragma once
// How visible a small difference of RGB bytes is near a given colour, as a colour-difference
// formula of the CIE would weigh it (CIEDE2000 in its main terms): the picture's bytes are
// sRGB values, turned into CIE L*a*b* (D65), and the differences of lightness, chroma and hue
// are divided by the formula's weights for that colour (lightness errors show least near
// the very light and dark ends, chroma and hue errors less on saturated colours).
//
// The conversion is linearised at the colour: one 3 x 3 matrix per colour maps a byte
// difference to a vector whose length approximates the colour difference. This is exact
// enough for the few byte steps between a colour and its nearest palette entries, and
// costs nine multiplications per pixel where a full conversion would cost cube roots.

namespace genshoku {

class VisibleErrorMatrix {
 public:
  VisibleErrorMatrix() = default;
  // The matrix at the colour (red, green, blue), each 0..255.
  VisibleErrorMatrix(double red, double green, double blue);

  // The squared approximate colour difference of the byte difference d.
  double Squared(const double d[3]) const {
    double sum = 0.0;
    for (int row = 0; row < 3; ++row) {
      const double v = m_[row][0] * d[0] + m_[row][1] * d[1] + m_[row][2] * d[2];
      sum += v * v;
    }
    return sum;
  }

  // M^T M: Squared(d) is d^T (M^T M) d.
  void Gram(double out[3][3]) const;

  // A lower bound of Squared(d) / |d|^2 over every d: the smallest eigenvalue of M^T M,
  // shaded down a little for its rounding; never below 0.
  double LeastStretch() const;

 private:
  double m_[3][3] = {};
};

// L*a*b* (D65) of sRGB bytes (0..255, not necessarily whole).
void SrgbToLab(const double rgb[3], double lab[3]);

}  // namespace genshoku
