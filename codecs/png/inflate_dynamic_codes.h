#pragma once
// The header of a dynamic deflate block: the code lengths of its literal/length and
// distance alphabets, themselves Huffman coded with a small code-length code.

#include <cstdint>

#include "codecs/png/inflate_bit_reader.h"
#include "codecs/png/inflate_trees.h"
#include "common/diagnostics.h"

namespace genshoku::png {

inline constexpr int kDistanceSymbols = 32;

struct DynamicCodes {
  int literalCount = 0;  // 257 to 288
  int32_t literalLengths[kLiteralLengthSymbols] = {};
  int32_t literalCodes[kLiteralLengthSymbols] = {};
  int distanceCount = 0;  // 1 to 32
  int32_t distanceLengths[kDistanceSymbols] = {};
  int32_t distanceCodes[kDistanceSymbols] = {};
};

// Reads the block header and fills `codes` with lengths and canonical codes. False on
// data that end early or describe impossible lengths (a repeat with nothing before it,
// runs longer than the alphabets); a walk off the code-length tree is also reported.
bool ReadDynamicCodes(InflateBitReader& bits, DynamicCodes& codes, Diagnostics& diagnostics);

}  // namespace genshoku::png
