#pragma once
// Code lengths of an optimal prefix code whose codes are no longer than a limit, by the
// package-merge method of Larmore and Hirschberg ("A fast algorithm for optimal
// length-limited Huffman codes", 1990).

#include <cstdint>

namespace genshoku::png {

// Fills lengths[0..count) for the symbols' counts: 0 for a symbol of count 0, otherwise
// 1..maxLength, so that the total of count x length is the smallest any prefix code with
// codes of at most maxLength bits allows. With two or more used symbols the code is
// complete (the Kraft sum is exactly 1); a single used symbol gets length 1. Symbols of
// equal count are ordered by their number, so the result is the same on every run.
// count is at most 288 and 2^maxLength at least the number of used symbols.
void LimitedCodeLengths(const uint32_t* counts, int count, int maxLength, uint8_t* lengths);

// The same lengths, with a second symbol given a code when only one is used (symbol 0 or
// 1), so that every decoder meets a complete code.
void CompleteLimitedCodeLengths(const uint32_t* counts, int count, int maxLength, uint8_t* lengths);

}  // namespace genshoku::png
