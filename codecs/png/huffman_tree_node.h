#pragma once
// The Huffman tree node shared by the PNG reader (which walks trees bit by bit) and the
// PNG writer (which builds trees from symbol weights and limits their depth).

#include <cstdint>
#include <memory>

namespace genshoku::png {

struct HuffmanTreeNode {
  std::unique_ptr<HuffmanTreeNode> left;   // taken on a 0 bit
  std::unique_ptr<HuffmanTreeNode> right;  // taken on a 1 bit
  int32_t symbol = 0;                      // meaningful at a leaf (no children)
  uint32_t weight = 0;                     // writer only
  int32_t depth = 0;                       // writer only: 0 for a leaf, else 1 + deeper child

  bool IsLeaf() const { return !left && !right; }
};

}  // namespace genshoku::png
