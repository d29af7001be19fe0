#pragma once
// Pictures that already have no more colours than the palette holds need no reduction: each
// distinct colour becomes an entry of its own and every pixel keeps its colour exactly.

#include <cstdint>

#include "engine/reduce_colors.h"

namespace genshoku {

// When the picture has at most `paletteSize` distinct colours, writes their palette (one
// entry per colour, in increasing order of their 0xRRGGBB values; palette.size becomes
// their number) and every pixel's index, and returns true. Otherwise returns false and writes
// nothing; it stops reading as soon as one colour too many is seen. Pixels the source
// excludes are not counted and get index 0.
bool MapFewColoursExactly(const EngineSource& source, int paletteSize, uint8_t* indices,
                          EnginePalette& palette);

}  // namespace genshoku
