#pragma once
// Finds, at each position of the input, the copies deflate could code there: for every
// length up to the longest found, a copy of that length with the nearest distance the
// search met. Candidates come from three places, tried in order of distance:
// - the byte before (runs of one colour);
// - the same place in the rows above, when the input is a picture's rows (a picture
//   repeats itself vertically, often far beyond what a hash chain reaches in time);
// - hash chains: every earlier position of the 32 KB window, listed per hash of its
//   first three bytes, newest first, of which at most `chainDepth` are tried.
// A candidate is compared in full only when it agrees with the position at the byte that
// would make its copy longer than the best so far, so most of them cost one comparison.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "codecs/png/deflate_tables.h"

namespace genshoku::png {

struct MatchFinderLimits {
  // Hash chain entries tried per position at most.
  int chainDepth = 16;
  // A copy this long ends the search; the positions it covers get no search of their own.
  int niceLength = kMaxMatch;
  // The distance from one row of a picture to the next (0: the input has no rows), and
  // how many rows above are tried.
  int rowDistance = 0;
  int rowsAbove = 4;
};

// The copies found at one position: lengths ascending, each with its distance.
struct FoundMatch {
  uint16_t length;
  uint16_t distance;
};

class Lz77MatchFinder {
 public:
  // `data[0..size)` is the whole input; the finder keeps a pointer to it.
  Lz77MatchFinder(const uint8_t* data, size_t size, const MatchFinderLimits& limits);

  // Enters `position` into the hash chains without searching.
  void Insert(size_t position) {
    if (position + kMinMatch > size_) return;
    const uint32_t hash = HashAt(position);
    previous_[position % kSlots] = head_[hash];
    head_[hash] = static_cast<uint32_t>(position);
  }
  // Reports the copies at `position`, none longer than `limit` bytes (the end of the
  // caller's piece of input), into `out` (room for kMaxMatch entries), and enters the
  // position into the chains. Returns how many copies there are.
  int FindAndInsert(size_t position, int limit, FoundMatch* out);

  int niceLength() const { return niceLength_; }

 private:
  static constexpr uint32_t kNil = UINT32_MAX;
  static constexpr int kHashBits = 16;
  static constexpr size_t kSlots = 2 * static_cast<size_t>(kMaxDistance);
  static constexpr int kMaxRowsAbove = 16;

  uint32_t HashAt(size_t position) const {
    const uint32_t bytes = uint32_t{data_[position]} | uint32_t{data_[position + 1]} << 8 |
                           uint32_t{data_[position + 2]} << 16;
    return (bytes * 2654435761u) >> (32 - kHashBits);
  }

  const uint8_t* data_;
  size_t size_;
  int chainDepth_;
  int niceLength_;
  int fixedCount_ = 0;
  uint32_t fixedDistances_[1 + kMaxRowsAbove];  // the byte before and the rows above
  std::vector<uint32_t> head_;                  // newest position per hash
  std::vector<uint32_t> previous_;  // per slot: the next older position of the same hash
};

}  // namespace genshoku::png
