#include "codecs/png/png_unfilter.h"

#include <cstdlib>

namespace genshoku::png {

uint8_t PaethPredictor(int left, int up, int upperLeft) {
  const int estimate = left + up - upperLeft;
  const int toLeft = std::abs(estimate - left);
  const int toUp = std::abs(estimate - up);
  const int toUpperLeft = std::abs(estimate - upperLeft);
  if (toLeft <= toUp && toLeft <= toUpperLeft) return static_cast<uint8_t>(left);
  if (toUp <= toUpperLeft) return static_cast<uint8_t>(up);
  return static_cast<uint8_t>(upperLeft);
}

void UnfilterBytes(int filter, uint8_t* line, const uint8_t* previous, size_t position,
                   size_t count, size_t unitBytes, bool firstLine) {
  for (size_t at = position; at < position + count; ++at) {
    const bool hasLeft = at >= unitBytes;
    const int left = hasLeft ? line[at - unitBytes] : 0;
    const int up = firstLine ? 0 : previous[at];
    const int upperLeft = hasLeft && !firstLine ? previous[at - unitBytes] : 0;
    int predictor;
    switch (filter) {
      case kFilterSub:
        predictor = left;
        break;
      case kFilterUp:
        predictor = up;
        break;
      case kFilterAverage:
        predictor = (left + up) / 2;
        break;
      case kFilterPaeth:
        predictor = PaethPredictor(left, up, upperLeft);
        break;
      default:
        predictor = 0;
        break;
    }
    line[at] = static_cast<uint8_t>(line[at] + predictor);
  }
}

}  // namespace genshoku::png
