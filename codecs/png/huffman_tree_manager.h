#pragma once
// Builds the Huffman trees of the deflate writer from symbol weights and keeps them
// within deflate's code-length limits by halving the weights until the tree is shallow
// enough.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "codecs/png/huffman_tree_node.h"
#include "common/diagnostics.h"

namespace genshoku::png {

// The three alphabets of a dynamic block; each has its own depth limit and messages.
enum class HuffmanAlphabet { LiteralLength, Distance, CodeLength };

// The longest code an alphabet allows: 15, or 7 for the code-length alphabet.
int MaxCodeLengthOf(HuffmanAlphabet alphabet);

class VxPngHuffmanTreeManager {
 public:
  explicit VxPngHuffmanTreeManager(Diagnostics& diagnostics = StandardDiagnostics());

  // Counts how often each symbol 0..largestSymbol occurs in the two value arrays and
  // builds the tree from those counts. A value outside the alphabet is reported and
  // fails (false), leaving no tree.
  template <typename Value>
  bool MakeTreeFromData(const Value* first, size_t firstCount, const Value* second,
                        size_t secondCount, int largestSymbol);

  // Builds the tree from `count` weights, one per symbol.
  void MakeTreeFromWeights(const uint32_t* weights, int count);

  // Halves every weight above 1 and builds the tree again.
  void HalveWeightsAndRebuild();

  // Brings the tree within the alphabet's depth limit, printing the alphabet's lines.
  // False when 32 rounds of halving are not enough.
  bool LimitDepth(HuffmanAlphabet alphabet);

  // The code length of every symbol: its leaf's depth (1 for a lone leaf), 0 without a
  // leaf. `lengths` has room for symbolCount() entries.
  void GetCodeLengths(int32_t* lengths) const;

  int symbolCount() const { return static_cast<int>(weights_.size()); }
  const std::vector<uint32_t>& weights() const { return weights_; }
  const HuffmanTreeNode* root() const { return root_.get(); }
  int RootDepth() const { return root_ ? root_->depth : 0; }
  uint32_t RootWeight() const { return root_ ? root_->weight : 0; }

 private:
  void Rebuild();
  void ReportOutOfRange(bool secondArray);

  std::unique_ptr<HuffmanTreeNode> root_;
  std::vector<uint32_t> weights_;
  Diagnostics& diagnostics_;
};

template <typename Value>
bool VxPngHuffmanTreeManager::MakeTreeFromData(const Value* first, size_t firstCount,
                                               const Value* second, size_t secondCount,
                                               int largestSymbol) {
  root_.reset();
  std::vector<uint32_t> counts(static_cast<size_t>(largestSymbol) + 1, 0);
  const auto largest = static_cast<int64_t>(largestSymbol);
  for (size_t i = 0; i < firstCount; ++i) {
    const auto value = static_cast<int64_t>(first[i]);
    if (value < 0 || value > largest) {
      ReportOutOfRange(false);
      return false;
    }
    ++counts[static_cast<size_t>(value)];
  }
  for (size_t i = 0; i < secondCount; ++i) {
    const auto value = static_cast<int64_t>(second[i]);
    if (value < 0 || value > largest) {
      ReportOutOfRange(true);
      return false;
    }
    ++counts[static_cast<size_t>(value)];
  }
  MakeTreeFromWeights(counts.data(), largestSymbol + 1);
  return true;
}

}  // namespace genshoku::png
