#include "codecs/png/lz77_optimal_parser.h"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace genshoku::png {

namespace {

// Lengths of a continued copy that are still offered one by one.
constexpr int kContinuedLengthsTried = 16;

// Offers the copy of `distance` at every length from `first` to `last` to the positions
// that far ahead: each takes it when it is cheaper than what reaches it so far. Four
// lengths at a time where SSE2 is there; the comparisons decide by masks, not branches.
inline void RelaxCopyLengths(uint32_t* cost, DeflateToken* via, uint32_t base,
                             const uint32_t* lengthCosts, int distance, int first, int last) {
  int length = first;
#if defined(__SSE2__)
  // Costs are compared as unsigned numbers: both sides are offset by 2^31 for the signed
  // comparison SSE2 has.
  const __m128i offset = _mm_set1_epi32(static_cast<int>(0x80000000u));
  const __m128i bases = _mm_set1_epi32(static_cast<int>(base));
  const __m128i pastLast = _mm_set1_epi32(last + 1);
  // The four lengths and their tokens, advanced by four at each step.
  __m128i lengths = _mm_add_epi32(_mm_set1_epi32(length), _mm_set_epi32(3, 2, 1, 0));
  __m128i tokens = _mm_or_si128(_mm_slli_epi32(lengths, 16), _mm_set1_epi32(distance));
  for (; length <= last; length += 4) {
    const __m128i valid = _mm_cmplt_epi32(lengths, pastLast);
    const __m128i totals = _mm_add_epi32(
        bases, _mm_loadu_si128(reinterpret_cast<const __m128i*>(lengthCosts + length)));
    __m128i* costSlot = reinterpret_cast<__m128i*>(cost + length);
    const __m128i current = _mm_loadu_si128(costSlot);
    const __m128i wins = _mm_and_si128(
        valid, _mm_cmplt_epi32(_mm_xor_si128(totals, offset), _mm_xor_si128(current, offset)));
    _mm_storeu_si128(costSlot,
                     _mm_or_si128(_mm_and_si128(wins, totals), _mm_andnot_si128(wins, current)));
    __m128i* viaSlot = reinterpret_cast<__m128i*>(via + length);
    const __m128i arrivals = _mm_loadu_si128(viaSlot);
    _mm_storeu_si128(viaSlot,
                     _mm_or_si128(_mm_and_si128(wins, tokens), _mm_andnot_si128(wins, arrivals)));
    lengths = _mm_add_epi32(lengths, _mm_set1_epi32(4));
    tokens = _mm_add_epi32(tokens, _mm_set1_epi32(4 << 16));
  }
#else
  for (; length <= last; ++length) {
    const uint32_t total = base + lengthCosts[length];
    if (total < cost[length]) {
      cost[length] = total;
      via[length] = CopyToken(length, distance);
    }
  }
#endif
}

}  // namespace

// One loop over the positions, kept whole: the relaxation of the copies is the hot path,
// written without branches on the comparisons, which no predictor guesses well.
uint64_t ParseCheapest(const uint8_t* data, size_t begin, size_t end, const Lz77MatchTable& table,
                       const DeflateCosts& costs, ParserScratch& scratch,
                       std::vector<DeflateToken>& tokens) {
  const size_t count = end - begin;
  // Three positions of room past the end for the four-wide relaxation.
  scratch.cost.assign(count + 4, UINT32_MAX);
  scratch.via.resize(count + 4);
  uint32_t* cost = scratch.cost.data();
  DeflateToken* via = scratch.via.data();
  const uint32_t* first = table.first.data() + (begin - table.begin);
  const FoundMatch* matches = table.matches.data();
  cost[0] = 0;
  // The longest copy of the position before and its distance.
  int previousLongest = 0;
  int previousDistance = 0;
  for (size_t i = 0; i < count; ++i) {
    const uint32_t here = cost[i];
    const uint8_t byte = data[begin + i];
    const uint32_t literal = here + costs.literal[byte];
    const bool literalWins = literal < cost[i + 1];
    cost[i + 1] = literalWins ? literal : cost[i + 1];
    via[i + 1] = literalWins ? LiteralToken(byte) : via[i + 1];
    const uint32_t matchEnd = first[i + 1];
    uint32_t m = first[i];
    int previousLongestHere = 0;
    int previousDistanceHere = 0;
    if (m == matchEnd) {
      previousLongest = 0;
      continue;
    }
    const int room = static_cast<int>(std::min<size_t>(kMaxMatch, count - i));
    int length = kMinMatch;
    for (; m < matchEnd && length <= room; ++m) {
      const int longest = std::min<int>(matches[m].length, room);
      const int distance = matches[m].distance;
      const uint32_t base = here + costs.distanceCode[DistanceCodeOf(distance)];
      if (distance == previousDistance && longest + 1 == previousLongest &&
          longest > kContinuedLengthsTried) {
        // The same copy as one position before, one byte shorter: that position offered
        // every length already, for about the same cost. The short lengths and the whole
        // copy are enough here.
        RelaxCopyLengths(cost + i, via + i, base, costs.length, distance, length,
                         std::max(length - 1, kContinuedLengthsTried));
        RelaxCopyLengths(cost + i, via + i, base, costs.length, distance, longest, longest);
      } else {
        RelaxCopyLengths(cost + i, via + i, base, costs.length, distance, length, longest);
      }
      length = longest + 1;
      previousLongestHere = longest;
      previousDistanceHere = distance;
    }
    previousLongest = previousLongestHere;
    previousDistance = previousDistanceHere;
  }
  tokens.clear();
  for (size_t position = count; position > 0;) {
    const DeflateToken token = via[position];
    tokens.push_back(token);
    position -= static_cast<size_t>(TokenSpan(token));
  }
  std::reverse(tokens.begin(), tokens.end());
  return cost[count];
}

}  // namespace genshoku::png
