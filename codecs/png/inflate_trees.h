#pragma once
// The Huffman trees of the reader: built from code lengths and codes, then walked one bit
// at a time (0 to the left child, 1 to the right) until a leaf gives the symbol.

#include <cstdint>
#include <memory>

#include "codecs/png/huffman_tree_node.h"
#include "codecs/png/inflate_bit_reader.h"

namespace genshoku::png {

// Symbols of the literal/length alphabet, including the two that never occur in data.
inline constexpr int kLiteralLengthSymbols = 288;

// The fixed literal/length code of deflate: lengths and codes of all 288 symbols.
void BuildFixedCodes(int32_t* lengths, int32_t* codes);

// A tree holding every symbol of non-zero length at the path its code spells, most
// significant bit first. Symbols whose codes collide (a damaged code set) overwrite or
// hide each other but never make the tree unsafe to walk.
std::unique_ptr<HuffmanTreeNode> BuildTree(int count, const int32_t* lengths,
                                           const int32_t* codes);

enum class SymbolRead { Found, OutOfData, MissingNode };

// Walks from the root, taking at least one bit, so every symbol costs input: a tree
// without symbols reports a missing node instead of yielding symbols for free.
SymbolRead ReadSymbol(const HuffmanTreeNode& root, InflateBitReader& bits, int32_t& symbol);

}  // namespace genshoku::png
