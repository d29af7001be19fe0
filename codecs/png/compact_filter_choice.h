#pragma once
// Chooses between unfiltered rows and rows filtered by the smallest-sum rule for a whole
// picture, by compressing a sample of its rows both ways with the fastest settings and
// keeping the smaller. Neither wins everywhere: with a palette ordered from dark to
// light, photos shrink by a few per cent when filtered, while drawings and screenshots,
// whose rows repeat exactly, grow by ten to thirty.

#include <array>
#include <cstdint>

#include "codecs/png/compact_rows.h"

namespace genshoku::png {

// kNone or kSmallestSum for `height` rows of `width` indices at `bitDepth`; with
// `twoThreads`, the two ways are compressed at the same time (same answer).
CompactRowFilter ChooseRowFilter(const uint8_t* indices, int64_t width, int64_t height,
                                 const std::array<uint8_t, 256>& newIndex, int bitDepth,
                                 bool twoThreads = false);

}  // namespace genshoku::png
