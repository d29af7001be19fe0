#pragma once
// A linear view of RGB in which distances weigh the colour differences (red against green,
// yellow against blue) `chromaWeight` times as much as the lightness difference: an
// orthonormal turn of RGB onto its grey axis and two axes across it, the two across scaled
// by chromaWeight. A weight of 1 is RGB itself turned, so distances stay RGB distances.
//
// Colour-difference formulas of the CIE weigh a step across the grey axis of RGB several
// times as much as a step along it for the unsaturated colours that fill most pictures;
// searching entries in this view lets the mapping keep the hue right first.

namespace genshoku {

class ChromaWeightedRgb {
 public:
  explicit ChromaWeightedRgb(double chromaWeight) : weight_(chromaWeight) {}

  // The coordinates of an RGB colour (any range) in the view.
  void Apply(const double rgb[3], double out[3]) const {
    constexpr double kThird = 0.57735026918962576;  // 1 / sqrt 3
    constexpr double kHalf = 0.70710678118654752;   // 1 / sqrt 2
    constexpr double kSixth = 0.40824829046386302;  // 1 / sqrt 6
    out[0] = (rgb[0] + rgb[1] + rgb[2]) * kThird;
    out[1] = (rgb[0] - rgb[1]) * kHalf * weight_;
    out[2] = (rgb[0] + rgb[1] - 2.0 * rgb[2]) * kSixth * weight_;
  }

  // The box holding every colour of the byte cube in the view.
  void CubeBounds(double low[3], double high[3]) const {
    const double corner[3] = {0.0, 0.0, 0.0};
    Apply(corner, low);
    Apply(corner, high);
    for (int i = 1; i < 8; ++i) {
      const double rgb[3] = {(i & 1) ? 255.0 : 0.0, (i & 2) ? 255.0 : 0.0, (i & 4) ? 255.0 : 0.0};
      double p[3];
      Apply(rgb, p);
      for (int c = 0; c < 3; ++c) {
        if (p[c] < low[c]) low[c] = p[c];
        if (p[c] > high[c]) high[c] = p[c];
      }
    }
  }

  double weight() const { return weight_; }

 private:
  double weight_;
};

}  // namespace genshoku
