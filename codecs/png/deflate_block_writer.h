#pragma once
// Writes a run of tokens as one deflate block: with Huffman codes fitted to the run
// (a dynamic block) or with deflate's fixed codes, whichever is smaller.

#include <cstddef>
#include <cstdint>

#include "codecs/png/deflate_bit_writer.h"
#include "codecs/png/deflate_tokens.h"

namespace genshoku::png {

// The longest literal/length and distance code the compact writer gives out.
inline constexpr int kCompactCodeLimit = 15;

// Code lengths for a histogram that counts the end-of-block symbol: complete codes of at
// most 15 bits (a block without copies still gets two distance codes, which every
// decoder accepts).
void FitBlockCodeLengths(const DeflateHistogram& histogram, uint8_t* literalLengthLengths,
                         uint8_t* distanceLengths);

// Writes tokens[0..count) as one block (BFINAL = final), dynamic or fixed as smaller.
void WriteDeflateBlock(DeflateBitWriter& writer, const DeflateToken* tokens, size_t count,
                       bool final);

}  // namespace genshoku::png
