#include "codecs/png/png_unfilter.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

namespace {

#if defined(__SSE2__)
// Average and Paeth on pixels of 3 or 4 bytes, one pixel per step with the channels side
// by side in 16-bit lanes: the same integer arithmetic as the byte-by-byte predictors, so
// the same bytes come out. Each pixel depends on the one to its left, which rules out
// working on several pixels at once, but not on their channels at once.
// The bytes of a pixel go through general registers: assembling 3 of them in memory
// first would stall every load on the partial stores before it.
template <size_t kUnitBytes>
struct PixelLanes {
  static __m128i Load(const uint8_t* pixel) {
    uint32_t bytes;
    if constexpr (kUnitBytes == 4) {
      std::memcpy(&bytes, pixel, 4);
    } else {
      bytes = uint32_t{pixel[0]} | uint32_t{pixel[1]} << 8 | uint32_t{pixel[2]} << 16;
    }
    return _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(bytes)), _mm_setzero_si128());
  }
  // Stores the low byte of each lane.
  static void Store(uint8_t* pixel, __m128i lanes) {
    const auto bytes = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(lanes, lanes)));
    if constexpr (kUnitBytes == 4) {
      std::memcpy(pixel, &bytes, 4);
    } else {
      pixel[0] = static_cast<uint8_t>(bytes);
      pixel[1] = static_cast<uint8_t>(bytes >> 8);
      pixel[2] = static_cast<uint8_t>(bytes >> 16);
    }
  }
};

inline __m128i Absolute(__m128i value) {
  return _mm_max_epi16(value, _mm_sub_epi16(_mm_setzero_si128(), value));
}

inline __m128i Select(__m128i mask, __m128i ifSet, __m128i ifClear) {
  return _mm_or_si128(_mm_and_si128(mask, ifSet), _mm_andnot_si128(mask, ifClear));
}

// Bytes [from, end) of a line below another, from >= unitBytes, both multiples of it.
template <size_t unitBytes>
void AveragePixels(uint8_t* line, const uint8_t* previous, size_t from, size_t end) {
  using lanes = PixelLanes<unitBytes>;
  const __m128i lowByte = _mm_set1_epi16(0xFF);
  __m128i left = lanes::Load(line + from - unitBytes);
  for (size_t at = from; at < end; at += unitBytes) {
    const __m128i up = lanes::Load(previous + at);
    const __m128i predictor = _mm_srli_epi16(_mm_add_epi16(left, up), 1);
    left = _mm_and_si128(_mm_add_epi16(lanes::Load(line + at), predictor), lowByte);
    lanes::Store(line + at, left);
  }
}

template <size_t unitBytes>
void PaethPixels(uint8_t* line, const uint8_t* previous, size_t from, size_t end) {
  using lanes = PixelLanes<unitBytes>;
  const __m128i lowByte = _mm_set1_epi16(0xFF);
  __m128i left = lanes::Load(line + from - unitBytes);
  __m128i upperLeft = lanes::Load(previous + from - unitBytes);
  for (size_t at = from; at < end; at += unitBytes) {
    const __m128i up = lanes::Load(previous + at);
    // The distances of left + up - upperLeft from left, up and upper left.
    const __m128i upMinusCorner = _mm_sub_epi16(up, upperLeft);
    const __m128i leftMinusCorner = _mm_sub_epi16(left, upperLeft);
    const __m128i toLeft = Absolute(upMinusCorner);
    const __m128i toUp = Absolute(leftMinusCorner);
    const __m128i toCorner = Absolute(_mm_add_epi16(upMinusCorner, leftMinusCorner));
    const __m128i notLeft = _mm_or_si128(_mm_cmpgt_epi16(toLeft, toUp), _mm_cmpgt_epi16(toLeft, toCorner));
    const __m128i upOrCorner = Select(_mm_cmpgt_epi16(toUp, toCorner), upperLeft, up);
    const __m128i predictor = Select(notLeft, upOrCorner, left);
    left = _mm_and_si128(_mm_add_epi16(lanes::Load(line + at), predictor), lowByte);
    lanes::Store(line + at, left);
    upperLeft = up;
  }
}
#endif

// Whether the pixel-wise versions above can take [withLeft, end).
inline bool WholePixelsOfThreeOrFour(size_t withLeft, size_t end, size_t unitBytes) {
#if defined(__SSE2__)
  return (unitBytes == 3 || unitBytes == 4) && withLeft % unitBytes == 0 &&
         end % unitBytes == 0;
#else
  (void)withLeft;
  (void)end;
  (void)unitBytes;
  return false;
#endif
}

}  // namespace

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
#if defined(__SSE2__)
      if (!firstLine && WholePixelsOfThreeOrFour(withLeft, end, unitBytes)) {
        if (unitBytes == 3) {
          AveragePixels<3>(line, previous, withLeft, end);
        } else {
          AveragePixels<4>(line, previous, withLeft, end);
        }
        return;
      }
#endif
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
#if defined(__SSE2__)
      if (WholePixelsOfThreeOrFour(withLeft, end, unitBytes)) {
        if (unitBytes == 3) {
          PaethPixels<3>(line, previous, withLeft, end);
        } else {
          PaethPixels<4>(line, previous, withLeft, end);
        }
        return;
      }
#endif
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
