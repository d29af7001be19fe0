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

SymbolRead ReadSymbol(const HuffmanTreeNode& root, InflateBitReader& bits, int32_t& symbol) {
  const HuffmanTreeNode* node = &root;
  do {
    uint32_t bit;
    if (!bits.ReadBit(bit)) return SymbolRead::OutOfData;
    node = (bit != 0 ? node->right : node->left).get();
    if (node == nullptr) return SymbolRead::MissingNode;
  } while (!node->IsLeaf());
  symbol = node->symbol;
  return SymbolRead::Found;
}

}  // namespace genshoku::png
