#pragma once
// Reverses the PNG line filters a few bytes at a time, as the bytes of a line arrive.

#include <cstddef>
#include <cstdint>

namespace genshoku::png {

enum PngFilter : int {
  kFilterNone = 0,
  kFilterSub = 1,
  kFilterUp = 2,
  kFilterAverage = 3,
  kFilterPaeth = 4,
};

// The predictor of the Paeth filter: of left, up and upper-left, the one closest to
// left + up - upperLeft, preferring left, then up.
uint8_t PaethPredictor(int left, int up, int upperLeft);

// Unfilters line[position .. position + count) in place. The bytes before `position` must
// be unfiltered already; `previous` is the unfiltered line above (ignored on the first
// line of the image or pass, where the line above counts as zeros); `unitBytes` is the
// distance to the left neighbour. Filter types above 4 leave the bytes as they are.
void UnfilterBytes(int filter, uint8_t* line, const uint8_t* previous, size_t position,
                   size_t count, size_t unitBytes, bool firstLine);

// The same for a longer stretch, one loop per filter type: each byte sees the same
// neighbours as UnfilterBytes gives it, so the result is identical. The filtered bytes of
// the stretch are read from `stored` (stored[0] for `position`), which may also be the
// line itself at `position`; the results go to the line.
void UnfilterSpan(int filter, uint8_t* line, const uint8_t* previous, size_t position, size_t count,
                  size_t unitBytes, bool firstLine, const uint8_t* stored);

}  // namespace genshoku::png
