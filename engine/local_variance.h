#pragma once
// The local variance of a picture's luminance, row by row: for each pixel the variance of
// the luminance (0.299 R + 0.587 G + 0.114 B, in byte steps) over the 7 x 7 window centred
// on it, clipped to the picture. It is the measure by which a structural comparison of two
// pictures judges how much an added error shows: little on busy texture, much on flat
// areas.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace genshoku {

class LocalVarianceRows {
 public:
  static constexpr int kRadius = 3;

  LocalVarianceRows(int width, int height, const uint8_t* red, const uint8_t* green,
                    const uint8_t* blue);

  // The variance of every pixel of row y into variance[0..width-1]. Rows may be asked for
  // in any order; consecutive rows cost least.
  void Row(int y, float* variance);

 private:
  static constexpr int kRows = 2 * kRadius + 1;
  const float* Luminance(int y);

  int width_;
  int height_;
  const uint8_t* red_;
  const uint8_t* green_;
  const uint8_t* blue_;
  std::vector<float> luminance_;  // kRows rows, row y at y % kRows
  std::vector<int> rowOf_;        // which picture row each slot holds (-1: none)
  std::vector<double> sum_;       // per column over the window's rows
  std::vector<double> squares_;
};

}  // namespace genshoku
