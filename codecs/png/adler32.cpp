#include "codecs/png/adler32.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace genshoku::png {

namespace {

// The largest run of bytes after which s2 still fits in 32 bits when both sums start
// below the modulus, so the modulo can wait until the end of the run.
constexpr size_t kLongestDeferredRun = 5552;

#if defined(__SSE2__)
// Adds 16-byte blocks of a run to the sums, 16 bytes per step: over a block b[0..16),
// s1 grows by the sum of the bytes and s2 by 16 times the s1 before the block plus the
// sum of (16 - i) * b[i]. The same integers as adding byte after byte, so the same sums
// come out. Returns how many bytes it took.
size_t AddBlocks(uint32_t& s1, uint32_t& s2, const uint8_t* data, size_t size) {
  const size_t blocks = size / 16;
  if (blocks == 0) return 0;
  const __m128i zero = _mm_setzero_si128();
  const __m128i firstWeights = _mm_set_epi16(9, 10, 11, 12, 13, 14, 15, 16);
  const __m128i lastWeights = _mm_set_epi16(1, 2, 3, 4, 5, 6, 7, 8);
  __m128i byteSums = zero;      // the bytes so far, in two 64-bit halves
  __m128i earlierSums = zero;   // byteSums as it stood before each block, added up
  __m128i weightedSums = zero;  // the weighted bytes of every block, in 32-bit lanes
  for (size_t block = 0; block < blocks; ++block) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * block));
    earlierSums = _mm_add_epi32(earlierSums, byteSums);
    byteSums = _mm_add_epi32(byteSums, _mm_sad_epu8(bytes, zero));
    const __m128i low = _mm_unpacklo_epi8(bytes, zero);
    const __m128i high = _mm_unpackhi_epi8(bytes, zero);
    weightedSums = _mm_add_epi32(weightedSums, _mm_add_epi32(_mm_madd_epi16(low, firstWeights),
                                                             _mm_madd_epi16(high, lastWeights)));
  }
  const auto lanesAdded = [](__m128i lanes) {
    alignas(16) uint32_t values[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(values), lanes);
    return uint64_t{values[0]} + values[1] + values[2] + values[3];
  };
  const uint64_t bytesAdded = lanesAdded(byteSums);
  const uint64_t newS2 =
      s2 + uint64_t{16} * blocks * s1 + 16 * lanesAdded(earlierSums) + lanesAdded(weightedSums);
  s1 = static_cast<uint32_t>((s1 + bytesAdded) % kAdlerModulus);
  s2 = static_cast<uint32_t>(newS2 % kAdlerModulus);
  return blocks * 16;
}
#endif

}  // namespace

void UpdateAdler32(uint32_t& s1, uint32_t& s2, const uint8_t* data, size_t size) {
  while (size > 0) {
    size_t run = size < kLongestDeferredRun ? size : kLongestDeferredRun;
    size_t done = 0;
#if defined(__SSE2__)
    done = AddBlocks(s1, s2, data, run);
#endif
    for (size_t i = done; i < run; ++i) {
      s1 += data[i];
      s2 += s1;
    }
    s1 %= kAdlerModulus;
    s2 %= kAdlerModulus;
    data += run;
    size -= run;
  }
}

}  // namespace genshoku::png
