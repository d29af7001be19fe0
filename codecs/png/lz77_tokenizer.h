#pragma once
// The LZ77 stage of the deflate writer: turns one block's input into literals and
// copies by following hash chains of earlier literal positions.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace genshoku::png {

// The tokens of one block, in two parallel arrays.
struct Lz77Tokens {
  // 0..255 a literal byte, 256 the end of the block, 257..285 a length code.
  std::vector<uint32_t> symbol;
  // For a length code: distance in the low 16 bits, copy length in the high 16 bits;
  // all bits set for every other symbol.
  std::vector<uint32_t> copy;
  size_t count = 0;
};

inline constexpr uint32_t kNoCopy = 0xFFFFFFFFu;

inline int CopyDistance(uint32_t copy) { return static_cast<int>(copy & 0xFFFFu); }
inline int CopyLength(uint32_t copy) { return static_cast<int>(copy >> 16); }

// Tokenises input[0..length) from empty chains and ends the tokens with the end-of-block
// symbol. Copies lie wholly before the position they code (they never overlap it) and
// reach back at most 32768 bytes; among matches of equal length the nearest wins.
void Lz77Tokenize(const uint8_t* input, size_t length, Lz77Tokens& tokens);

}  // namespace genshoku::png
