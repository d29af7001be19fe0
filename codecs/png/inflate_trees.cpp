#include "codecs/png/inflate_trees.h"

#include "codecs/png/canonical_codes.h"

namespace genshoku::png {

void BuildFixedCodes(int32_t* lengths, int32_t* codes) {
  for (int symbol = 0; symbol < kLiteralLengthSymbols; ++symbol) {
    if (symbol <= 143) {
      lengths[symbol] = 8;
      codes[symbol] = 48 + symbol;
    } else if (symbol <= 255) {
      lengths[symbol] = 9;
      codes[symbol] = 256 + symbol;
    } else if (symbol <= 279) {
      lengths[symbol] = 7;
      codes[symbol] = symbol - 256;
    } else {
      lengths[symbol] = 8;
      codes[symbol] = 192 + (symbol - 280);
    }
  }
}

std::unique_ptr<HuffmanTreeNode> BuildTree(int count, const int32_t* lengths,
                                           const int32_t* codes) {
  auto root = std::make_unique<HuffmanTreeNode>();
  for (int symbol = 0; symbol < count; ++symbol) {
    const int32_t length = lengths[symbol];
    if (length <= 0 || length > kMaxCodeLength) continue;
    HuffmanTreeNode* node = root.get();
    for (int bit = length - 1; bit >= 0; --bit) {
      std::unique_ptr<HuffmanTreeNode>& child =
          ((codes[symbol] >> bit) & 1) != 0 ? node->right : node->left;
      if (!child) child = std::make_unique<HuffmanTreeNode>();
      node = child.get();
    }
    node->symbol = symbol;
  }
  return root;
}

SymbolRead ReadSymbol(const HuffmanTreeNode& start, InflateBitReader& bits, int32_t& symbol) {
  const HuffmanTreeNode* node = &start;
  do {
    uint32_t bit;
    if (!bits.ReadBit(bit)) return SymbolRead::OutOfData;
    node = (bit != 0 ? node->right : node->left).get();
    if (node == nullptr) return SymbolRead::MissingNode;
  } while (!node->IsLeaf());
  symbol = node->symbol;
  return SymbolRead::Found;
}

HuffmanDecodeTable::HuffmanDecodeTable(const HuffmanTreeNode& root) : root_(root) {
  // The walk always leaves the root, even when the root itself has no children.
  for (uint32_t bit = 0; bit < 2; ++bit) {
    const HuffmanTreeNode* child = (bit != 0 ? root.right : root.left).get();
    if (child == nullptr) {
      FillAll(bit, 1, Entry{0, 1, kMissing});
    } else {
      Fill(*child, 1, bit);
    }
  }
}

// `node` is reached on the `depth` bits of `path`, the first bit lowest.
void HuffmanDecodeTable::Fill(const HuffmanTreeNode& node, int depth, uint32_t path) {
  if (node.IsLeaf()) {
    FillAll(path, depth,
            Entry{static_cast<uint16_t>(node.symbol), static_cast<uint8_t>(depth), kLeaf});
    return;
  }
  if (depth == kLookupBits) {
    entries_[path] = Entry{static_cast<uint16_t>(deeper_.size()), kLookupBits, kDeeper};
    deeper_.push_back(&node);
    return;
  }
  for (uint32_t bit = 0; bit < 2; ++bit) {
    const HuffmanTreeNode* child = (bit != 0 ? node.right : node.left).get();
    const uint32_t childPath = path | bit << depth;
    if (child == nullptr) {
      FillAll(childPath, depth + 1, Entry{0, static_cast<uint8_t>(depth + 1), kMissing});
    } else {
      Fill(*child, depth + 1, childPath);
    }
  }
}

// Every entry whose lowest `depth` bits are `path`: the bits after those do not matter.
void HuffmanDecodeTable::FillAll(uint32_t path, int depth, Entry entry) {
  for (size_t index = path; index < kEntries; index += size_t{1} << depth) entries_[index] = entry;
}

}  // namespace genshoku::png
