#pragma once
// Finds, at each position of the input, the copies deflate could code there: for every
// length up to the longest found, a copy of that length (with the distance of the first
// candidate that reached it; candidates are tried roughly nearest first). Candidates come
// from four places:
// - the byte before (runs of one colour);
// - the same place in the rows above, when the input is a picture's rows (a picture
//   repeats itself vertically, often far beyond what a hash chain reaches in time);
// - a short hash chain of the earlier positions that share the first three bytes,
//   newest first: the near copies of three bytes, which dithered pictures are full of;
// - a longer hash chain of the positions that share the first four bytes, where the
//   longer copies are.
// A candidate is compared in full only when it agrees with the position at the byte that
// would make its copy longer than the best so far, so most of them cost one comparison.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "codecs/png/deflate_tables.h"

namespace genshoku::png {

struct MatchFinderLimits {
  // Entries tried per position at most on the four-byte and the three-byte chain.
  int chainDepth = 8;
  int shortChainDepth = 4;
  // A copy this long ends the search; the positions it covers get no search of their own.
  int niceLength = kMaxMatch;
  // The distance from one row of a picture to the next (0: the input has no rows), and
  // how many rows above are tried.
  int rowDistance = 0;
  int rowsAbove = 4;
  // Entries of the long chain tried at one position in Lz77MatchFinder::kSparseStep
  // (and after a copy of niceLength) where that is more than chainDepth.
  int sparseChainDepth = 0;
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

  // Enters `position` into both hash chains without searching. Positions are entered in
  // order, each once, with no gap (by Insert or FindAndInsert).
  void Insert(size_t position) {
    if (firstEntered_ == kNoPosition) firstEntered_ = position;
    if (position + kMinMatch > size_) return;
    uint32_t older3, older;
    Enter(position, older3, older);
  }
  // Reports the copies at `position`, none longer than `limit` bytes (the end of the
  // caller's piece of input), into `out` (room for kMaxMatch entries), and enters the
  // position into the chains. Returns how many copies there are.
  int FindAndInsert(size_t position, int limit, FoundMatch* out);

  int niceLength() const { return niceLength_; }
  // Changes how many entries of each chain and how many of the rows above (at most the
  // limits' rowsAbove) are tried from the next position on.
  // With `sparseChainDepth` above `chainDepth`, every kSparseStep-th position, and the
  // position after one that found a copy of niceLength, try that many entries of the
  // long chain instead.
  void SetDepths(int chainDepth, int shortChainDepth, int rowsAbove, int sparseChainDepth = 0) {
    chainDepth_ = chainDepth < 0 ? 0 : chainDepth;
    shortChainDepth_ = shortChainDepth < 0 ? 0 : shortChainDepth;
    rowsTried_ = rowsAbove < 0 ? 0 : rowsAbove > rowCount_ ? rowCount_ : rowsAbove;
    sparseChainDepth_ = sparseChainDepth > chainDepth_ ? sparseChainDepth : chainDepth_;
  }
  // One position in this many searches the sparse depth. Where a short pattern runs on,
  // the copy that reaches past the run lies thousands of chain entries back and nearly
  // any position of the run can find it; searching that deep at every position would
  // cost thousands of comparisons at each of the positions before every edge of the run
  // (every second position: a third of the time of every position on an icon with wide
  // transparent borders; every fourth or more lost 0.3 to 1 % on a one-pixel-wide ramp).
  // Within the run, the positions that are searched at all lie a longest copy apart (the
  // ones between are covered): those search deep too, so that the last one before the
  // edge finds the copy past it.
  static constexpr size_t kSparseStep = 2;

 private:
  static constexpr uint32_t kNil = UINT32_MAX;
  static constexpr size_t kNoPosition = SIZE_MAX;
  static constexpr int kHashBits = 16;
  static constexpr size_t kSlots = 2 * static_cast<size_t>(kMaxDistance);
  static constexpr int kMaxRowsAbove = 16;

  static constexpr size_t kChainBytes = 4;
  static constexpr int kHash3Bits = 15;
  uint32_t HashAt(size_t position) const {
    uint32_t bytes;
    std::memcpy(&bytes, data_ + position, 4);
    return (bytes * 2654435761u) >> (32 - kHashBits);
  }
  uint32_t Hash3At(size_t position) const {
    const uint32_t bytes = uint32_t{data_[position]} | uint32_t{data_[position + 1]} << 8 |
                           uint32_t{data_[position + 2]} << 16;
    return (bytes * 2654435761u) >> (32 - kHash3Bits);
  }

  // Enters `position` (with room for a three-byte key) into the chains; `older3` and
  // `older` become the entries it now comes before (kNil: none, or no four-byte key).
  void Enter(size_t position, uint32_t& older3, uint32_t& older) {
    const uint32_t hash3 = Hash3At(position);
    older3 = newest3_[hash3];
    previous3_[position % kSlots] = older3;
    newest3_[hash3] = static_cast<uint32_t>(position);
    older = kNil;
    if (position + kChainBytes > size_) return;
    const uint32_t hash = HashAt(position);
    older = head_[hash];
    previous_[position % kSlots] = older;
    head_[hash] = static_cast<uint32_t>(position);
  }
  // The search of FindAndInsert once the position is entered: `nearest3` and `candidate`
  // are the newest entries of its chains before it; with kWholeWords, the input holds
  // eight bytes from the position on.
  template <bool kWholeWords>
  int Search(size_t position, int limit, FoundMatch* out, uint32_t nearest3, uint32_t candidate);
  // The oldest candidate of each chain (of three-byte and of four-byte keys) that the run
  // of equal bytes the position lies in can skip to (see FindAndInsert), for a position
  // whose byte and the two after it equal the byte before; `position` where the run does
  // not go on past the key.
  void RunSkipFloors(size_t position, size_t& floor3, size_t& floor4);

  const uint8_t* data_;
  size_t size_;
  size_t firstEntered_ = kNoPosition;
  // The last run of equal bytes measured: data_[runStart_, runEnd_) all alike.
  size_t runStart_ = 0;
  size_t runEnd_ = 0;
  int chainDepth_;
  int shortChainDepth_;
  int sparseChainDepth_;
  bool lastFoundNice_ = false;  // the position searched last found a copy of niceLength
  int niceLength_;
  int rowCount_ = 0;  // rows above whose distance is within reach
  int rowsTried_ = 0;
  uint32_t rowDistances_[kMaxRowsAbove];  // of the rows above
  std::vector<uint32_t> newest3_;         // newest position per 3-byte hash
  std::vector<uint32_t> previous3_;       // per slot: the next older one of the same 3-byte hash
  std::vector<uint32_t> head_;            // newest position per 4-byte hash
  std::vector<uint32_t> previous_;        // per slot: the next older one of the same 4-byte hash
};

}  // namespace genshoku::png
