#pragma once
// How hard the compact PNG writer searches: the settings of each effort level, which
// follow the size of the rows, and the deeper ones the rows of a picture get once it is
// known how well they compress.

#include <cstddef>

#include "codecs/png/compact_deflate_segment.h"

namespace genshoku::png {

// The default effort's depth of search follows the size of the rows, so that the time
// stays in proportion: below 1 MB (icons, small photos and drawings) the chains are tried
// as deep as the thorough effort tries them, which takes 1 to 3 % off for a few
// hundredths of a second; up to 6 MB a middle depth; from 6 MB on the finder's quick
// depths, and one row above instead of four outside the pieces that search deep (large
// photos hardly ever copy from two or more rows above; drawings and gradients do, and
// their pieces compress below one bit per byte, where all four rows are tried again).
inline constexpr size_t kSmallRowsBytes = size_t{1} << 20;
inline constexpr size_t kLargeRowsBytes = size_t{6} << 20;

// What each effort level (1 to 3) spends on rows of `totalBytes` bytes, `rowDistance`
// bytes apart: hash chain entries tried per position and parses.
CompactDeflateSettings SettingsForEffort(int effort, size_t rowDistance, size_t totalBytes);

// The thorough way for very compressible rows (`totalBytes` in all): the segment parsed
// whole, twice, and each block once more, with deep chains (and, below 0.2 bits per byte
// and 1 MB, the deepest search at every second position).
CompactDeflateSettings ThoroughSettings(CompactDeflateSettings settings, double bitsPerByte,
                                        size_t totalBytes);

// The settings the chosen filter's rows (`totalBytes` in all) are compressed with, after a
// sample or a trial found that they take `bitsPerByte` bits per byte: the thorough way
// below half a bit, else `settings` with, below 1 MB, the very deep search in pieces of
// long runs, and below 2 bits at least the middle depths. The quick effort (1) keeps
// `settings`.
CompactDeflateSettings FinalSettings(const CompactDeflateSettings& settings, int effort,
                                     double bitsPerByte, size_t totalBytes);

}  // namespace genshoku::png
