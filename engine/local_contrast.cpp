#include "engine/local_contrast.h"

#include <algorithm>
#include <cmath>

#include <emmintrin.h>

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
  // A missing row above or below stands in as the row itself, and a missing column as
  // the pixel's own: their steps are counted already, so the largest stays the same.
  const float* here = Luminance(y);
  const float* above = y > 0 ? Luminance(y - 1) : here;
  const float* below = y + 1 < height_ ? Luminance(y + 1) : here;
  const auto largestStep = [&](int x, int left, int right) {
    const float centre = here[x];
    float largest = 0.0f;
    for (const float* row : {above, here, below}) {
      largest = std::max(largest, std::fabs(row[left] - centre));
      largest = std::max(largest, std::fabs(row[x] - centre));
      largest = std::max(largest, std::fabs(row[right] - centre));
    }
    return largest;
  };
  contrast[0] = largestStep(0, 0, std::min(1, width_ - 1));
  // Four pixels at a time inside the row: the steps and their largest are exact in any
  // order, so the result is the one of the pixel-by-pixel loop.
  const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
  int x = 1;
  for (; x + 4 < width_; x += 4) {
    const __m128 centre = _mm_loadu_ps(here + x);
    __m128 largest = _mm_setzero_ps();
    for (const float* row : {above, here, below}) {
      for (int dx = -1; dx <= 1; ++dx) {
        const __m128 step = _mm_and_ps(_mm_sub_ps(_mm_loadu_ps(row + x + dx), centre), magnitude);
        largest = _mm_max_ps(largest, step);
      }
    }
    _mm_storeu_ps(contrast + x, largest);
  }
  for (; x + 1 < width_; ++x) contrast[x] = largestStep(x, x - 1, x + 1);
  if (width_ > 1) contrast[width_ - 1] = largestStep(width_ - 1, width_ - 2, width_ - 1);
}

}  // namespace genshoku
