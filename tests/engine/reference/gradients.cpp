#include "tests/engine/reference/gradients.h"

#include <cstdlib>

namespace genshoku::reference {

namespace {

int At(const int* plane, int width, int x, int y) {
  return plane[static_cast<int64_t>(y) * width + x];
}

constexpr int kSobelH[3][3] = {{-1, 0, 1}, {-2, 0, 2}, {-1, 0, 1}};
constexpr int kSobelV[3][3] = {{-1, -2, -1}, {0, 0, 0}, {1, 2, 1}};

void Sobel(int width, int height, const int* in, int* out, const int (&kernel)[3][3]) {
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      int sum = 0;
      for (int dy = -1; dy <= 1; ++dy) {
        const int row = MirrorIndex(y + dy, height);
        for (int dx = -1; dx <= 1; ++dx) {
          sum += kernel[dy + 1][dx + 1] * At(in, width, MirrorIndex(x + dx, width), row);
        }
      }
      out[static_cast<int64_t>(y) * width + x] += sum;
    }
  }
}

}  // namespace

int MirrorIndex(int index, int size) {
  if (size == 1) return 0;
  if (index < 0) return 1;
  if (index >= size) return size - 2;
  return index;
}

void CentralDiffH(int width, int height, int threshold, const int* in, int* diff, int* flag) {
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const int64_t i = static_cast<int64_t>(y) * width + x;
      diff[i] = std::abs(At(in, width, MirrorIndex(x + 1, width), y) -
                         At(in, width, MirrorIndex(x - 1, width), y));
      if (flag) flag[i] = diff[i] >= threshold ? 1 : 0;
    }
  }
}

void CentralDiffV(int width, int height, int threshold, const int* in, int* diff, int* flag) {
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const int64_t i = static_cast<int64_t>(y) * width + x;
      diff[i] = std::abs(At(in, width, x, MirrorIndex(y - 1, height)) -
                         At(in, width, x, MirrorIndex(y + 1, height)));
      if (flag) flag[i] = diff[i] >= threshold ? 1 : 0;
    }
  }
}

void SobelH(int width, int height, const int* in, int* out) {
  Sobel(width, height, in, out, kSobelH);
}

void SobelV(int width, int height, const int* in, int* out) {
  Sobel(width, height, in, out, kSobelV);
}

}  // namespace genshoku::reference
