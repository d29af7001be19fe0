#include "codecs/png/lz77_match_finder.h"

#include <algorithm>
#include <cstring>

namespace genshoku::png {

namespace {

// The head of a position this far ahead is fetched early, so that it is in the cache when
// its turn comes.
constexpr size_t kPrefetchAhead = 8;

inline uint64_t LoadWord(const uint8_t* bytes) {
  uint64_t word;
  std::memcpy(&word, bytes, 8);
  return word;
}

// How far the bytes at a and b agree, up to `limit`.
inline int MatchLength(const uint8_t* a, const uint8_t* b, int limit) {
  int length = 0;
  while (length + 8 <= limit) {
    uint64_t x;
    uint64_t y;
    std::memcpy(&x, a + length, 8);
    std::memcpy(&y, b + length, 8);
    const uint64_t difference = x ^ y;
    if (difference != 0) return length + __builtin_ctzll(difference) / 8;
    length += 8;
  }
  while (length < limit && a[length] == b[length]) ++length;
  return length;
}

}  // namespace

Lz77MatchFinder::Lz77MatchFinder(const uint8_t* data, size_t size, const MatchFinderLimits& limits)
    : data_(data),
      size_(size),
      chainDepth_(std::max(0, limits.chainDepth)),
      shortChainDepth_(std::max(0, limits.shortChainDepth)),
      sparseChainDepth_(std::max(chainDepth_, limits.sparseChainDepth)),
      niceLength_(std::clamp(limits.niceLength, kMinMatch, kMaxMatch)),
      newest3_(size_t{1} << kHash3Bits, kNil),
      previous3_(kSlots, kNil),
      head_(size_t{1} << kHashBits, kNil),
      previous_(kSlots, kNil) {
  if (limits.rowDistance > 1) {
    const int rows = std::min(limits.rowsAbove, kMaxRowsAbove);
    for (int k = 1; k <= rows; ++k) {
      const int64_t distance = int64_t{limits.rowDistance} * k;
      if (distance > kMaxDistance) break;
      rowDistances_[rowCount_++] = static_cast<uint32_t>(distance);
    }
  }
  rowsTried_ = rowCount_;
}

void Lz77MatchFinder::RunSkipFloors(size_t position, size_t& floor3, size_t& floor4) {
  if (position < runStart_ || position >= runEnd_) {
    // A new run, measured once for all its positions.
    const uint8_t value = data_[position];
    size_t start = position;
    const size_t oldest = position > kMaxDistance ? position - kMaxDistance : 0;
    while (start > oldest && data_[start - 1] == value) --start;
    size_t end = position + 1;
    while (end < size_ && data_[end] == value) ++end;
    runStart_ = start;
    runEnd_ = end;
  }
  const size_t oldest = position > kMaxDistance ? position - kMaxDistance : 0;
  const size_t floor = std::max({runStart_, oldest, firstEntered_});
  floor3 = runEnd_ < position + kMinMatch ? position : floor;
  floor4 = runEnd_ < position + kChainBytes ? position : floor;
}

int Lz77MatchFinder::FindAndInsert(size_t position, int limit, FoundMatch* out) {
  if (firstEntered_ == kNoPosition) firstEntered_ = position;
  if (position + kMinMatch > size_) return 0;
  if (position + kPrefetchAhead + kChainBytes <= size_) {
    __builtin_prefetch(&head_[HashAt(position + kPrefetchAhead)]);
    __builtin_prefetch(&newest3_[Hash3At(position + kPrefetchAhead)]);
  }
  uint32_t nearest3, candidate;
  Enter(position, nearest3, candidate);
  // Eight bytes of the position are compared at once with eight bytes of each candidate
  // where the input has them (all but its last seven positions): one search for each case,
  // so that the comparison is not decided again for every candidate.
  if (position + 8 <= size_) return Search<true>(position, limit, out, nearest3, candidate);
  return Search<false>(position, limit, out, nearest3, candidate);
}

template <bool kWholeWords>
int Lz77MatchFinder::Search(size_t position, int limit, FoundMatch* out, uint32_t nearest3,
                            uint32_t candidate) {
  // Lengths are compared beyond `limit` when the input goes on, so that the search knows
  // the true best; what is reported is cut to `limit`.
  const int compareLimit = static_cast<int>(std::min<size_t>(kMaxMatch, size_ - position));
  const uint8_t* current = data_ + position;
  int best = kMinMatch - 1;
  int lastReported = kMinMatch - 1;
  int count = 0;
  // Eight bytes of the position, compared at once with eight bytes of each candidate:
  // the first differing byte gives the length of most copies without a branch, and only
  // copies of eight bytes or more are followed further. Near the end of the input the
  // bytes are compared one by one.
  const uint64_t currentWord = kWholeWords ? LoadWord(current) : 0;
  // Inlined by force: it runs for every candidate, and a call would cost more than it.
  const auto consider = [&](size_t distance) __attribute__((always_inline)) {
    const uint8_t* earlier = current - distance;
    // Once the best copy is long, a candidate that differs anywhere in the eight bytes up
    // to the one just past it cannot be longer, and a copy no longer than the best is
    // never reported: it is passed over without comparing the many bytes before those
    // (repetitive pictures have long chains of such candidates; where few values occur,
    // one byte alone agrees too often to tell them apart).
    if (best >= 8 &&
        (best >= compareLimit || LoadWord(earlier + best - 7) != LoadWord(current + best - 7))) {
      return;
    }
    int length;
    if constexpr (kWholeWords) {
      uint64_t earlierWord;
      std::memcpy(&earlierWord, earlier, 8);
      const uint64_t difference = earlierWord ^ currentWord;
      length = difference != 0 ? __builtin_ctzll(difference) / 8
                               : 8 + MatchLength(earlier + 8, current + 8, compareLimit - 8);
      length = std::min(length, compareLimit);
    } else {
      length = MatchLength(earlier, current, compareLimit);
    }
    // The copy counts when it is longer than every one before; no branch decides that,
    // since no predictor guesses it well.
    best = std::max(best, length);
    const int reported = std::min(length, limit);
    out[count] = FoundMatch{static_cast<uint16_t>(reported), static_cast<uint16_t>(distance)};
    const bool longer = reported > lastReported;
    count += longer ? 1 : 0;
    lastReported = longer ? reported : lastReported;
  };

  // Roughly nearest first, since a length keeps the distance of the first candidate that
  // reaches it: the byte before, the short chain, the rows above, the long chain.
  if (position >= 1) consider(1);
  // Inside a run of equal bytes that goes on past the key, the earlier positions of the
  // run are consecutive entries of the chain (each position's key is the same), and each
  // copies exactly as far as the byte before, already considered: the chain goes on from
  // the oldest of them at once, the skipped entries counted as tried, so the copies found
  // are the same as when every entry is tried. Positions fall along a chain, so only its
  // first entries can lie in the run.
  size_t runFloor3 = position;
  size_t runFloor = position;
  // (A run that ends within the three-byte key skips nothing: only longer ones are measured.)
  if (position >= 1 && current[-1] == current[0] && current[1] == current[0] &&
      current[2] == current[0]) {
    RunSkipFloors(position, runFloor3, runFloor);
  }
  const auto walkChain = [&](uint32_t entry, int depth, const uint32_t* older, size_t floor)
      __attribute__((always_inline)) {
    const auto outOfReach = [position](uint32_t at) {
      return at == kNil || position - at > static_cast<size_t>(kMaxDistance);
    };
    int step = 0;
    if (depth <= 0 || outOfReach(entry)) return;
    if (entry >= floor) {
      step = static_cast<int>(entry - floor) + 1;
      entry = older[floor % kSlots];
    }
    for (; step < depth && best < compareLimit; ++step) {
      if (outOfReach(entry)) return;
      if (best >= 8) {
        // The candidates that differ from the position in the eight bytes up to the one
        // past the best copy are passed over in a loop of their own, with the position's
        // eight bytes held: where chains are long, nearly all of them are (see consider).
        const uint8_t* tailBase = data_ + (best - 7);
        const uint64_t tail = LoadWord(current + best - 7);
        while (LoadWord(tailBase + entry) != tail) {
          entry = older[entry % kSlots];
          if (++step >= depth || outOfReach(entry)) return;
        }
      }
      consider(position - entry);
      entry = older[entry % kSlots];
    }
  };
  walkChain(nearest3, shortChainDepth_, previous3_.data(), runFloor3);
  for (int i = 0; i < rowsTried_ && rowDistances_[i] <= position; ++i) consider(rowDistances_[i]);
  const int chainDepth =
      position % kSparseStep == 0 || lastFoundNice_ ? sparseChainDepth_ : chainDepth_;
  walkChain(candidate, chainDepth, previous_.data(), runFloor);
  lastFoundNice_ = best >= niceLength_;
  return count;
}

}  // namespace genshoku::png
