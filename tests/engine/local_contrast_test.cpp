// The local contrast of every pixel is the largest luminance step to any of its neighbours
// inside the picture, whatever the picture's width (the row's middle runs four pixels at
// a time) and at its borders and corners.

#include "engine/local_contrast.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace genshoku {
namespace {

TEST(LocalContrast, IsTheLargestLuminanceStepToAnyNeighbour) {
  std::mt19937 generator(47);
  for (const int width : {1, 2, 3, 4, 5, 6, 7, 8, 9, 13, 31}) {
    for (const int height : {1, 2, 3, 6}) {
      const size_t n = static_cast<size_t>(width) * height;
      std::vector<uint8_t> red(n), green(n), blue(n);
      for (size_t i = 0; i < n; ++i) {
        red[i] = static_cast<uint8_t>(generator());
        green[i] = static_cast<uint8_t>(generator() % 3 == 0 ? 0 : generator());
        blue[i] = static_cast<uint8_t>(generator());
      }
      const auto luminance = [&](int x, int y) {
        const size_t i = static_cast<size_t>(y) * width + x;
        return 0.299f * red[i] + 0.587f * green[i] + 0.114f * blue[i];
      };
      LocalContrastRows rows(width, height, red.data(), green.data(), blue.data());
      std::vector<float> contrast(static_cast<size_t>(width));
      for (int y = 0; y < height; ++y) {
        rows.Row(y, contrast.data());
        for (int x = 0; x < width; ++x) {
          float largest = 0.0f;
          for (int ny = std::max(y - 1, 0); ny <= std::min(y + 1, height - 1); ++ny) {
            for (int nx = std::max(x - 1, 0); nx <= std::min(x + 1, width - 1); ++nx) {
              largest = std::max(largest, std::fabs(luminance(nx, ny) - luminance(x, y)));
            }
          }
          ASSERT_EQ(contrast[x], largest) << width << "x" << height << " at " << x << "," << y;
        }
      }
    }
  }
}

}  // namespace
}  // namespace genshoku
