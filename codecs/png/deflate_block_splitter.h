#pragma once
// Chooses where one deflate block ends and the next begins, so that each block's codes
// can follow the statistics of its part of the input. The tokens are cut into chunks of
// equal count; neighbouring groups of chunks are then merged, the most profitable merge
// first, as long as a merge saves more (one block header less) than it costs (one code
// for two kinds of statistics). A group's cost is estimated from its symbols'
// information and the number of symbols its header must describe.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "codecs/png/deflate_tokens.h"

namespace genshoku::png {

struct BlockSplitSettings {
  size_t chunkTokens = 2048;  // the finest grain of block boundaries
};

// The token indices at which blocks end, ascending, the last one `count`.
std::vector<size_t> SplitIntoBlocks(const DeflateToken* tokens, size_t count,
                                    const BlockSplitSettings& settings);

// The estimated size in bits of a block with this histogram (extra bits left out).
double EstimatedBlockBits(const DeflateHistogram& histogram);

}  // namespace genshoku::png
