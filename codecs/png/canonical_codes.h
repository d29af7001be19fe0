#pragma once
// Canonical Huffman codes from code lengths, as deflate defines them: shorter codes come
// first, and codes of one length are consecutive in symbol order. Shared by inflate and
// deflate.

#include <cstdint>

namespace genshoku::png {

// The longest code length deflate allows.
inline constexpr int kMaxCodeLength = 15;

// Fills codes[0..count) from lengths[0..count). Symbols of length 0 get code 0. Lengths
// outside 0..15 are treated as 0 (they cannot occur in a valid stream).
void AssignCanonicalCodes(const int32_t* lengths, int32_t* codes, int count);

// Reverses the lowest `length` bits of `code`: deflate sends Huffman codes most
// significant bit first, while the bit writer fills bytes from the least significant bit.
uint32_t ReverseBits(uint32_t code, int length);

}  // namespace genshoku::png
