#include "engine/local_contrast.h"

#include <algorithm>
#include <cmath>

namespace genshoku {

LocalContrastRows::LocalContrastRows(int width, int height, const uint8_t* red,
                                     const uint8_t* green, const uint8_t* blue)
    : width_(width),
      height_(height),
      red_(red),
      green_(green),
      blue_(blue),
      luminance_(3 * static_cast<size_t>(width)) {}

void LocalContrastRows::FillLuminance(int y) {
  const size_t start = static_cast<size_t>(y) * width_;
  float* out = Luminance(y);
  for (int x = 0; x < width_; ++x) {
    out[x] = 0.299f * red_[start + x] + 0.587f * green_[start + x] + 0.114f * blue_[start + x];
  }
}

void LocalContrastRows::Row(int y, float* contrast) {
  if (y == 0) {
    FillLuminance(0);
    if (height_ > 1) FillLuminance(1);
  } else if (y + 1 < height_) {
    FillLuminance(y + 1);
  }
  const float* rows[3] = {y > 0 ? Luminance(y - 1) : nullptr, Luminance(y),
                          y + 1 < height_ ? Luminance(y + 1) : nullptr};
  for (int x = 0; x < width_; ++x) {
    const float centre = rows[1][x];
    float largest = 0.0f;
    const int left = std::max(x - 1, 0);
    const int right = std::min(x + 1, width_ - 1);
    for (const float* row : rows) {
      if (row == nullptr) continue;
      for (int n = left; n <= right; ++n) largest = std::max(largest, std::fabs(row[n] - centre));
    }
    contrast[x] = largest;
  }
}

}  // namespace genshoku
