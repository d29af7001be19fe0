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
      case kFilterSub: predictor = left; break;
      case kFilterUp: predictor = up; break;
      case kFilterAverage: predictor = (left + up) / 2; break;
      case kFilterPaeth: predictor = PaethPredictor(left, up, upperLeft); break;
      default: predictor = 0; break;
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
// A pixel's bytes in 16-bit lanes. Four bytes are moved as one word; for 3-byte pixels
// the fourth is the first byte of the next pixel, which the predictors below leave as it
// is. Only the last pixel of a stretch, where a fourth byte may not exist, goes byte by
// byte, through general registers (assembling it in memory would stall the load on the
// partial stores).
inline __m128i LoadWord(const uint8_t* pixel) {
  uint32_t bytes;
  std::memcpy(&bytes, pixel, 4);
  return _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(bytes)), _mm_setzero_si128());
}

inline __m128i LoadThree(const uint8_t* pixel) {
  const uint32_t bytes = uint32_t{pixel[0]} | uint32_t{pixel[1]} << 8 | uint32_t{pixel[2]} << 16;
  return _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(bytes)), _mm_setzero_si128());
}

// Store the low byte of each lane.
inline void StoreWord(uint8_t* pixel, __m128i lanes) {
  const auto bytes = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(lanes, lanes)));
  std::memcpy(pixel, &bytes, 4);
}

inline void StoreThree(uint8_t* pixel, __m128i lanes) {
  const auto bytes = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(lanes, lanes)));
  pixel[0] = static_cast<uint8_t>(bytes);
  pixel[1] = static_cast<uint8_t>(bytes >> 8);
  pixel[2] = static_cast<uint8_t>(bytes >> 16);
}

inline __m128i Absolute(__m128i value) {
  return _mm_max_epi16(value, _mm_sub_epi16(_mm_setzero_si128(), value));
}

inline __m128i Select(__m128i mask, __m128i ifSet, __m128i ifClear) {
  return _mm_or_si128(_mm_and_si128(mask, ifSet), _mm_andnot_si128(mask, ifClear));
}

// The lanes of the pixel's own bytes set, the rest clear: a predictor masked with it adds
// nothing to a following pixel's byte.
template <size_t kUnitBytes>
__m128i OwnLanes() {
  return kUnitBytes == 4 ? _mm_set_epi16(0, 0, 0, 0, -1, -1, -1, -1)
                         : _mm_set_epi16(0, 0, 0, 0, 0, -1, -1, -1);
}

// Unfilters the pixel at `at` with the predictor that `Predict(left, up, upperLeft)` gives,
// for every pixel of [from, end), its filtered bytes taken from stored[at - from]. from >=
// kUnitBytes; both are multiples of it.
template <size_t kUnitBytes, typename Predict>
void UnfilterPixels(uint8_t* line, const uint8_t* previous, const uint8_t* stored, size_t from,
                    size_t end, Predict predict) {
  // A line of one pixel leaves nothing here, and `stored` then has no bytes to read.
  if (from >= end) return;
  const __m128i lowByte = _mm_set1_epi16(0xFF);
  const __m128i ownLanes = OwnLanes<kUnitBytes>();
  // The pixel before `from` is whole, and for 3 bytes its fourth lane does not matter.
  __m128i left = kUnitBytes == 4 ? LoadWord(line + from - 4) : LoadThree(line + from - 3);
  __m128i upperLeft =
      kUnitBytes == 4 ? LoadWord(previous + from - 4) : LoadThree(previous + from - 3);
  // Each pixel's stored bytes are read before the pixel to their left is written back:
  // when they lie in the line itself, a load overlapping a store just before it would
  // have to wait for that store.
  const auto load = [end](const uint8_t* pixel, size_t at) {
    return at + 4 <= end ? LoadWord(pixel) : LoadThree(pixel);
  };
  __m128i raw = load(stored, from);
  for (size_t at = from; at < end; at += kUnitBytes) {
    const __m128i up = load(previous + at, at);
    const __m128i predictor = _mm_and_si128(predict(left, up, upperLeft), ownLanes);
    left = _mm_and_si128(_mm_add_epi16(raw, predictor), lowByte);
    const size_t next = at + kUnitBytes;
    if (next < end) raw = load(stored + (next - from), next);
    if (at + 4 <= end) {
      StoreWord(line + at, left);
    } else {
      StoreThree(line + at, left);
    }
    upperLeft = up;
  }
}

inline __m128i AveragePredictor(__m128i left, __m128i up, __m128i /*upperLeft*/) {
  return _mm_srli_epi16(_mm_add_epi16(left, up), 1);
}

inline __m128i PaethPredictorLanes(__m128i left, __m128i up, __m128i upperLeft) {
  // The distances of left + up - upperLeft from left, up and upper left.
  const __m128i upMinusCorner = _mm_sub_epi16(up, upperLeft);
  const __m128i leftMinusCorner = _mm_sub_epi16(left, upperLeft);
  const __m128i toLeft = Absolute(upMinusCorner);
  const __m128i toUp = Absolute(leftMinusCorner);
  const __m128i toCorner = Absolute(_mm_add_epi16(upMinusCorner, leftMinusCorner));
  const __m128i notLeft =
      _mm_or_si128(_mm_cmpgt_epi16(toLeft, toUp), _mm_cmpgt_epi16(toLeft, toCorner));
  const __m128i upOrCorner = Select(_mm_cmpgt_epi16(toUp, toCorner), upperLeft, up);
  return Select(notLeft, upOrCorner, left);
}

template <size_t kUnitBytes>
void AveragePixels(uint8_t* line, const uint8_t* previous, const uint8_t* stored, size_t from,
                   size_t end) {
  UnfilterPixels<kUnitBytes>(line, previous, stored, from, end, AveragePredictor);
}

template <size_t kUnitBytes>
void PaethPixels(uint8_t* line, const uint8_t* previous, const uint8_t* stored, size_t from,
                 size_t end) {
  UnfilterPixels<kUnitBytes>(line, previous, stored, from, end, PaethPredictorLanes);
}
#endif

// Whether the pixel-wise versions above can take [withLeft, end).
inline bool WholePixelsOfThreeOrFour(size_t withLeft, size_t end, size_t unitBytes) {
#if defined(__SSE2__)
  return (unitBytes == 3 || unitBytes == 4) && withLeft % unitBytes == 0 && end % unitBytes == 0;
#else
  (void)withLeft;
  (void)end;
  (void)unitBytes;
  return false;
#endif
}

}  // namespace

void UnfilterSpan(int filter, uint8_t* line, const uint8_t* previous, size_t position, size_t count,
                  size_t unitBytes, bool firstLine, const uint8_t* stored) {
  const size_t end = position + count;
  // The filtered byte for position `at`.
  const auto raw = [stored, position](size_t at) { return stored[at - position]; };
  // Past the first unit of the line every byte has a left neighbour.
  const size_t withLeft = std::max(position, std::min(unitBytes, end));
  // On the first line the bytes above count as zeros: Up adds nothing, Average halves the
  // left byte alone, and Paeth always predicts the left byte.
  switch (firstLine && filter == kFilterUp ? kFilterNone : filter) {
    case kFilterSub:
      for (size_t at = position; at < withLeft; ++at) line[at] = raw(at);
      for (size_t at = withLeft; at < end; ++at) {
        line[at] = static_cast<uint8_t>(raw(at) + line[at - unitBytes]);
      }
      return;
    case kFilterUp:
      for (size_t at = position; at < end; ++at) {
        line[at] = static_cast<uint8_t>(raw(at) + previous[at]);
      }
      return;
    case kFilterAverage:
      for (size_t at = position; at < withLeft; ++at) {
        line[at] = static_cast<uint8_t>(raw(at) + (firstLine ? 0 : previous[at]) / 2);
      }
#if defined(__SSE2__)
      if (!firstLine && WholePixelsOfThreeOrFour(withLeft, end, unitBytes)) {
        const uint8_t* from = stored + (withLeft - position);
        if (unitBytes == 3) {
          AveragePixels<3>(line, previous, from, withLeft, end);
        } else {
          AveragePixels<4>(line, previous, from, withLeft, end);
        }
        return;
      }
#endif
      for (size_t at = withLeft; at < end; ++at) {
        const int up = firstLine ? 0 : previous[at];
        line[at] = static_cast<uint8_t>(raw(at) + (line[at - unitBytes] + up) / 2);
      }
      return;
    case kFilterPaeth:
      if (firstLine) {
        for (size_t at = position; at < withLeft; ++at) line[at] = raw(at);
        for (size_t at = withLeft; at < end; ++at) {
          line[at] = static_cast<uint8_t>(raw(at) + line[at - unitBytes]);
        }
        return;
      }
      // Without a left neighbour the predictor is the byte above.
      for (size_t at = position; at < withLeft; ++at) {
        line[at] = static_cast<uint8_t>(raw(at) + previous[at]);
      }
#if defined(__SSE2__)
      if (WholePixelsOfThreeOrFour(withLeft, end, unitBytes)) {
        const uint8_t* from = stored + (withLeft - position);
        if (unitBytes == 3) {
          PaethPixels<3>(line, previous, from, withLeft, end);
        } else {
          PaethPixels<4>(line, previous, from, withLeft, end);
        }
        return;
      }
#endif
      for (size_t at = withLeft; at < end; ++at) {
        line[at] = static_cast<uint8_t>(
            raw(at) + PaethPredictor(line[at - unitBytes], previous[at], previous[at - unitBytes]));
      }
      return;
    default:
      // None, and the types above 4, leave the bytes as stored.
      std::memmove(line + position, stored, count);
      return;
  }
}

}  // namespace genshoku::png
