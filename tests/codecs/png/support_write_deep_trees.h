#pragma once
// Inputs whose dynamic blocks need deeper Huffman trees than deflate allows, one for each
// alphabet, so that the writer has to flatten them.

#include <cstdint>
#include <vector>

namespace genshoku::png::write_support {

// Uniform bytes over 240 values plus ten rare values with counts 1, 2, 4, ... 512: the
// rare ones form a chain of about ten levels below the bulk of the literal tree.
std::vector<uint8_t> DeepLiteralLengthTreeInput();

// Copies whose distance codes occur 1, 1, 2, 3, 5, 8, ... times (Fibonacci counts over
// 17 codes), between literals that never repeat a three-byte sequence, so that no other
// copy appears.
std::vector<uint8_t> DeepDistanceTreeInput();

// Literals only, drawn so that the literal code lengths 4, 5, 6, 8, ... 12 are used by
// 1, 1, 2, 5, 8, 13, 21, 34 symbols: the code-length alphabet then sees Fibonacci-like
// weights.
std::vector<uint8_t> DeepCodeLengthTreeInput();

}  // namespace genshoku::png::write_support
