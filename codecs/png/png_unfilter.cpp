#include "codecs/png/png_unfilter.h"

#include <algorithm>
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

void UnfilterSpan(int filter, uint8_t* line, const uint8_t* previous, size_t position,
                  size_t count, size_t unitBytes, bool firstLine) {
  const size_t end = position + count;
  // Past the first unit of the line every byte has a left neighbour.
  const size_t withLeft = std::max(position, std::min(unitBytes, end));
  // On the first line the bytes above count as zeros: Up adds nothing, Average halves the
  // left byte alone, and Paeth always predicts the left byte.
  switch (firstLine && filter == kFilterUp ? kFilterNone : filter) {
    case kFilterSub:
      for (size_t at = withLeft; at < end; ++at) {
        line[at] = static_cast<uint8_t>(line[at] + line[at - unitBytes]);
      }
      return;
    case kFilterUp:
      for (size_t at = position; at < end; ++at) {
        line[at] = static_cast<uint8_t>(line[at] + previous[at]);
      }
      return;
    case kFilterAverage:
      for (size_t at = position; at < withLeft; ++at) {
        line[at] = static_cast<uint8_t>(line[at] + (firstLine ? 0 : previous[at]) / 2);
      }
      for (size_t at = withLeft; at < end; ++at) {
        const int up = firstLine ? 0 : previous[at];
        line[at] = static_cast<uint8_t>(line[at] + (line[at - unitBytes] + up) / 2);
      }
      return;
    case kFilterPaeth:
      if (firstLine) {
        for (size_t at = withLeft; at < end; ++at) {
          line[at] = static_cast<uint8_t>(line[at] + line[at - unitBytes]);
        }
        return;
      }
      // Without a left neighbour the predictor is the byte above.
      for (size_t at = position; at < withLeft; ++at) {
        line[at] = static_cast<uint8_t>(line[at] + previous[at]);
      }
      for (size_t at = withLeft; at < end; ++at) {
        line[at] = static_cast<uint8_t>(
            line[at] + PaethPredictor(line[at - unitBytes], previous[at], previous[at - unitBytes]));
      }
      return;
    default:
      return;  // None, and the types above 4, leave the bytes as stored
  }
}

}  // namespace genshoku::png
