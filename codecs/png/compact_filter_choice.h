#pragma once
// Chooses the row filter of a whole picture (by default between unfiltered rows and rows
// filtered by the smallest-sum rule) by compressing a sample of its rows each way with
// quick settings and keeping the smallest. No filter wins everywhere: with a palette
// ordered from dark to light, photos shrink by a few per cent when filtered, while
// drawings and screenshots, whose rows repeat exactly, grow by ten to thirty; ramps along
// one axis want the filter across it.

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "codecs/png/compact_rows.h"

namespace genshoku::png {

// Hash chain entries the sample's compression tries per position. Too shallow a search
// misses the long copies of unfiltered rows that repeat (a picture of few colours in cells
// came out 10 % larger filtered); the writer passes the depths of its own search, up to
// kDeepestSampleSearch.
struct SampleSearch {
  int chainDepth = 2;
  int shortChainDepth = 1;
};
inline constexpr SampleSearch kDeepestSampleSearch{16, 4};

// The two candidates large pictures choose from.
inline constexpr CompactRowFilter kNoneOrSmallestSum[] = {CompactRowFilter::kNone,
                                                          CompactRowFilter::kSmallestSum};

// The candidate (none of them kAuto) whose rows compress the sample best, for `height`
// rows of `width` indices at `bitDepth`; unfiltered rows count 1 % smaller than they
// compress. With `twoThreads`, two candidates are compressed at a time (same answer).
// `bitsPerByte`, where given, receives how many bits a byte of the sample's rows took
// with the chosen filter, and `chosenBits` how many bits the whole sample took with it.
// `firstBits`, where given, is what candidates[0]'s sample took when an earlier choice
// (with the same search) measured it: it is not compressed again.
CompactRowFilter ChooseRowFilter(const uint8_t* indices, int64_t width, int64_t height,
                                 const std::array<uint8_t, 256>& newIndex, int bitDepth,
                                 bool twoThreads = false, SampleSearch search = {},
                                 std::span<const CompactRowFilter> candidates = kNoneOrSmallestSum,
                                 double* bitsPerByte = nullptr, uint64_t* chosenBits = nullptr,
                                 std::optional<uint64_t> firstBits = std::nullopt);

}  // namespace genshoku::png
