#include "codecs/png/huffman_tree_manager.h"

#include <algorithm>
#include <utility>

namespace genshoku::png {

namespace {

constexpr int kMaxHalvingRounds = 32;

struct AlphabetMessages {
  const char* exceeds;
  const char* reducing;
  const char* cannot;
};

AlphabetMessages MessagesOf(HuffmanAlphabet alphabet) {
  switch (alphabet) {
    case HuffmanAlphabet::LiteralLength:
      return {"Code Tree depth exceeds maximum allowed... %d\n", "Reducing Code Tree Depth... %d\n",
              "Cannot bring the code tree depth below maximum %d\n"};
    case HuffmanAlphabet::Distance:
      return {"Backdist Tree depth exceeds maximum allowed... %d\n",
              "Reducing Backdist Tree Depth... %d\n",
              "Cannot bring the backdist tree depth below maximum %d\n"};
    case HuffmanAlphabet::CodeLength: break;
  }
  return {"Code-Length Tree depth exceeds maximum allowed... %d\n",
          "Reducing Code-Length Tree Depth... %d\n",
          "Cannot bring the Code-Length tree depth below maximum %d\n"};
}

using NodeList = std::vector<std::unique_ptr<HuffmanTreeNode>>;

// Orders the leaves by descending weight. This particular exchange sort is part of the
// output: it decides where leaves of equal weight end up, and with that the tree shape.
void ExchangeSortDescending(NodeList& list) {
  for (size_t j = 0; j < list.size(); ++j) {
    for (size_t k = j + 1; k < list.size(); ++k) {
      if (list[j]->weight < list[k]->weight) std::swap(list[j], list[k]);
    }
  }
}

// Puts a new parent back into the list, which is in descending order of weight. Ties
// with the lightest node go to the very end, ties with the heaviest to the very front;
// otherwise the parent goes in front of the first node that is not heavier.
void InsertParent(NodeList& list, std::unique_ptr<HuffmanTreeNode> parent) {
  const uint32_t weight = parent->weight;
  if (list.empty() || weight <= list.back()->weight) {
    list.push_back(std::move(parent));
    return;
  }
  if (weight >= list.front()->weight) {
    list.insert(list.begin(), std::move(parent));
    return;
  }
  // Here list[0] is heavier and the last node lighter than the parent.
  size_t heavier = 0;
  size_t notHeavier = list.size() - 1;
  while (notHeavier - heavier > 1) {
    const size_t middle = (heavier + notHeavier) / 2;
    if (list[middle]->weight > weight) {
      heavier = middle;
    } else {
      notHeavier = middle;
    }
  }
  list.insert(list.begin() + static_cast<std::ptrdiff_t>(notHeavier), std::move(parent));
}

void FillLengths(const HuffmanTreeNode* node, int32_t depth, int32_t* lengths) {
  if (node->IsLeaf()) {
    lengths[node->symbol] = depth;
    return;
  }
  if (node->left) FillLengths(node->left.get(), depth + 1, lengths);
  if (node->right) FillLengths(node->right.get(), depth + 1, lengths);
}

}  // namespace

int MaxCodeLengthOf(HuffmanAlphabet alphabet) {
  return alphabet == HuffmanAlphabet::CodeLength ? 7 : 15;
}

VxPngHuffmanTreeManager::VxPngHuffmanTreeManager(Diagnostics& diagnostics)
    : diagnostics_(diagnostics) {}

void VxPngHuffmanTreeManager::ReportOutOfRange(bool secondArray) {
  diagnostics_.Out(secondArray ? "%s  Code data2 out of range.\n" : "%s  Code data out of range.\n",
                   "VxPngHuffmanTreeManager::MakeTreeFromData");
}

void VxPngHuffmanTreeManager::MakeTreeFromWeights(const uint32_t* weights, int count) {
  weights_.assign(weights, weights + count);
  Rebuild();
}

void VxPngHuffmanTreeManager::HalveWeightsAndRebuild() {
  for (uint32_t& weight : weights_) {
    if (weight > 1) weight >>= 1;
  }
  Rebuild();
}

void VxPngHuffmanTreeManager::Rebuild() {
  root_.reset();
  NodeList list;
  for (size_t symbol = 0; symbol < weights_.size(); ++symbol) {
    if (weights_[symbol] == 0) continue;
    auto leaf = std::make_unique<HuffmanTreeNode>();
    leaf->symbol = static_cast<int32_t>(symbol);
    leaf->weight = weights_[symbol];
    list.push_back(std::move(leaf));
  }
  if (list.empty()) return;
  if (list.size() == 1) {
    // A lone symbol still needs a code of one bit.
    list.front()->depth = 1;
    root_ = std::move(list.front());
    return;
  }
  ExchangeSortDescending(list);
  while (list.size() > 1) {
    std::unique_ptr<HuffmanTreeNode> last = std::move(list.back());
    list.pop_back();
    std::unique_ptr<HuffmanTreeNode> secondToLast = std::move(list.back());
    list.pop_back();
    auto parent = std::make_unique<HuffmanTreeNode>();
    parent->weight = secondToLast->weight + last->weight;
    parent->depth = std::max(secondToLast->depth, last->depth) + 1;
    parent->left = std::move(secondToLast);
    parent->right = std::move(last);
    InsertParent(list, std::move(parent));
  }
  root_ = std::move(list.front());
}

bool VxPngHuffmanTreeManager::LimitDepth(HuffmanAlphabet alphabet) {
  const int maxDepth = MaxCodeLengthOf(alphabet);
  if (RootDepth() <= maxDepth) return true;
  const AlphabetMessages messages = MessagesOf(alphabet);
  diagnostics_.Out(messages.exceeds, RootDepth());
  for (int round = 0; round < kMaxHalvingRounds; ++round) {
    HalveWeightsAndRebuild();
    diagnostics_.Out(messages.reducing, RootDepth());
    if (RootDepth() <= maxDepth) return true;
  }
  diagnostics_.Out(messages.cannot, maxDepth);
  return false;
}

void VxPngHuffmanTreeManager::GetCodeLengths(int32_t* lengths) const {
  std::fill(lengths, lengths + weights_.size(), 0);
  if (!root_) return;
  if (root_->IsLeaf()) {
    lengths[root_->symbol] = 1;
    return;
  }
  FillLengths(root_.get(), 0, lengths);
}

}  // namespace genshoku::png
