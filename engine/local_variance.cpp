#include "engine/local_variance.h"

#include <algorithm>

namespace genshoku {

LocalVarianceRows::LocalVarianceRows(int width, int height, const uint8_t* red,
                                     const uint8_t* green, const uint8_t* blue)
    : width_(width),
      height_(height),
      red_(red),
      green_(green),
      blue_(blue),
      luminance_(static_cast<size_t>(kRows) * width),
      rowOf_(kRows, -1),
      sum_(static_cast<size_t>(width)),
      squares_(static_cast<size_t>(width)) {}

const float* LocalVarianceRows::Luminance(int y) {
  const int slot = y % kRows;
  float* out = luminance_.data() + static_cast<size_t>(slot) * width_;
  if (rowOf_[slot] != y) {
    const size_t start = static_cast<size_t>(y) * width_;
    for (int x = 0; x < width_; ++x) {
      out[x] = 0.299f * red_[start + x] + 0.587f * green_[start + x] + 0.114f * blue_[start + x];
    }
    rowOf_[slot] = y;
  }
  return out;
}

void LocalVarianceRows::Row(int y, float* variance) {
  const int top = std::max(y - kRadius, 0);
  const int bottom = std::min(y + kRadius, height_ - 1);
  std::fill(sum_.begin(), sum_.end(), 0.0);
  std::fill(squares_.begin(), squares_.end(), 0.0);
  for (int r = top; r <= bottom; ++r) {
    const float* row = Luminance(r);
    for (int x = 0; x < width_; ++x) {
      sum_[x] += row[x];
      squares_[x] += double{row[x]} * row[x];
    }
  }
  // A running window along the row over the column sums.
  double sum = 0.0, squares = 0.0;
  const int rows = bottom - top + 1;
  for (int x = 0; x < std::min(kRadius, width_); ++x) {
    sum += sum_[x];
    squares += squares_[x];
  }
  for (int x = 0; x < width_; ++x) {
    if (x + kRadius < width_) {
      sum += sum_[x + kRadius];
      squares += squares_[x + kRadius];
    }
    if (x - kRadius - 1 >= 0) {
      sum -= sum_[x - kRadius - 1];
      squares -= squares_[x - kRadius - 1];
    }
    const int columns = std::min(x + kRadius, width_ - 1) - std::max(x - kRadius, 0) + 1;
    const double n = static_cast<double>(rows) * columns;
    const double mean = sum / n;
    variance[x] = static_cast<float>(std::max(squares / n - mean * mean, 0.0));
  }
}

}  // namespace genshoku
