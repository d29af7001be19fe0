#pragma once
// The Huffman trees of the reader: built from code lengths and codes, then walked one bit
// at a time (0 to the left child, 1 to the right) until a leaf gives the symbol.

#include <cstdint>
#include <memory>
#include <vector>

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
std::unique_ptr<HuffmanTreeNode> BuildTree(int count, const int32_t* lengths, const int32_t* codes);

enum class SymbolRead { Found, OutOfData, MissingNode };

// Walks from `start` (the root, or the node where a table look-up left off) one bit at a
// time, taking at least one bit, so every symbol costs input: a tree without symbols
// reports a missing node instead of yielding symbols for free.
SymbolRead ReadSymbol(const HuffmanTreeNode& start, InflateBitReader& bits, int32_t& symbol);

// The first levels of a tree laid out as a table, so that a symbol is found with one
// look-up at the next bits instead of a walk of one step per bit. Each entry tells what
// the walk from the root would meet on those bits: a leaf after n bits, a missing child
// after n bits, or a node still inside the tree after all the table's bits, from which
// the walk goes on bit by bit. A read therefore takes the same bits and gives the same
// answer as ReadSymbol, for any tree, damaged code sets included. Near the end of the
// data, where fewer bits are left than the table looks at, the plain walk is used.
class HuffmanDecodeTable {
 public:
  static constexpr int kLookupBits = 10;

  // The tree must outlive the table.
  explicit HuffmanDecodeTable(const HuffmanTreeNode& root);

  // The table's answer for the next bits, when it is a leaf: the symbol, and how many bits
  // it takes (at most kLookupBits). False when the walk would go on or fail.
  bool LeafOf(uint64_t nextBits, int32_t& symbol, int& bitCount) const {
    const Entry entry = entries_[nextBits & (kEntries - 1)];
    symbol = entry.value;
    bitCount = entry.bits;
    return entry.kind == kLeaf;
  }

  // The walks that leave the table work on a copy of the reader, so that a reader kept
  // in a local variable by the caller never has its address taken.
  SymbolRead Read(InflateBitReader& bits, int32_t& symbol) const {
    uint64_t next;
    if (!bits.Peek(kLookupBits, next)) {
      InflateBitReader walker = bits;
      const SymbolRead read = ReadSymbol(root_, walker, symbol);
      bits = walker;
      return read;
    }
    const Entry entry = entries_[next & (kEntries - 1)];
    bits.SkipBits(entry.bits);
    if (entry.kind == kLeaf) {
      symbol = entry.value;
      return SymbolRead::Found;
    }
    if (entry.kind == kMissing) return SymbolRead::MissingNode;
    InflateBitReader walker = bits;
    const SymbolRead read = ReadSymbol(*deeper_[entry.value], walker, symbol);
    bits = walker;
    return read;
  }

 private:
  static constexpr size_t kEntries = size_t{1} << kLookupBits;
  enum Kind : uint8_t { kLeaf, kMissing, kDeeper };
  struct Entry {
    uint16_t value = 0;  // the symbol, or the index into deeper_
    uint8_t bits = 0;    // bits the walk takes to reach the answer
    Kind kind = kMissing;
  };

  void Fill(const HuffmanTreeNode& node, int depth, uint32_t path);
  void FillAll(uint32_t path, int depth, Entry entry);

  const HuffmanTreeNode& root_;
  Entry entries_[kEntries];
  std::vector<const HuffmanTreeNode*> deeper_;
};

}  // namespace genshoku::png
