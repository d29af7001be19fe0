#include "codecs/gif/frame_difference.h"

#include <algorithm>

namespace genshoku::gif {

ImageRectangle DifferenceRectangle(const uint8_t* current, const uint8_t* previous, uint16_t width,
                                   uint16_t height) {
  uint32_t left = width, right = 0, top = height, bottom = 0;  // right and bottom exclusive
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t* now = current + static_cast<size_t>(y) * width;
    const uint8_t* before = previous + static_cast<size_t>(y) * width;
    uint32_t first = 0;
    while (first < width && now[first] == before[first]) ++first;
    if (first == width) continue;
    uint32_t last = width - 1;
    while (now[last] == before[last]) --last;
    left = std::min(left, first);
    right = std::max(right, last + 1);
    top = std::min(top, y);
    bottom = y + 1;
  }
  if (bottom == 0) return {0, 0, 1, 1};
  return {static_cast<uint16_t>(left), static_cast<uint16_t>(top),
          static_cast<uint16_t>(right - left), static_cast<uint16_t>(bottom - top)};
}

}  // namespace genshoku::gif
