#pragma once
// The local contrast of a picture, row by row: for each pixel the largest luminance step
// (luminance 0.299 R + 0.587 G + 0.114 B, in byte steps) to any of its 8 neighbours inside
// the picture. It tells smooth areas (small steps), where errors show, from edges and busy
// texture (large steps), where they hide.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace genshoku {

class LocalContrastRows {
 public:
  LocalContrastRows(int width, int height, const uint8_t* red, const uint8_t* green,
                    const uint8_t* blue);

  // The contrast of every pixel of row y into contrast[0..width-1]. Rows are asked for in
  // order from 0 (each call must be for the row after the one before, or for row 0).
  void Row(int y, float* contrast);

 private:
  float* Luminance(int y) { return luminance_.data() + static_cast<size_t>(y % 3) * width_; }
  void FillLuminance(int y);

  int width_;
  int height_;
  const uint8_t* red_;
  const uint8_t* green_;
  const uint8_t* blue_;
  std::vector<float> luminance_;  // three rows, row y at y % 3
};

}  // namespace genshoku
