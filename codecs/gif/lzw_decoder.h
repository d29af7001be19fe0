#pragma once
// The LZW decoder of GIF image data.
//
// Each code stands for a string of colour indices. The table starts with one single-index
// string per colour plus the clear and stop codes and grows by one string per code read:
// the string of the previous code followed by the first index of the current one. The code
// width grows from the minimum code size + 1 up to 12 bits as the table fills; at 4096
// entries it stops growing until a clear code starts it afresh.

#include <cstdint>

#include "codecs/gif/image_placement.h"
#include "codecs/gif/sub_block_reader.h"

namespace genshoku::gif {

enum class LzwOutcome {
  Complete,     // the stop code was read
  DataEnded,    // the data ran out before a stop code; what arrived is placed
  CodeUnknown,  // a code that is not in the table
  BadCodeSize,  // a minimum code size no colour index fits
};

// Decodes codes from `codes` until the stop code, the end of the data or a fault, placing
// every index through `placement`. `decodedCount`, when given, receives how many indices
// the codes produced (placed or dropped), which tells a whole image from one cut short.
LzwOutcome DecodeLzw(CodeReader& codes, int minimumCodeSize, const ImagePlacement& placement,
                     uint64_t* decodedCount = nullptr);

}  // namespace genshoku::gif
