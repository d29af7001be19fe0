#include "codecs/png/huffman_limited_lengths.h"

#include <algorithm>
#include <cstring>

namespace genshoku::png {

namespace {

constexpr int kMaxSymbols = 288;
constexpr int kMaxLevels = 16;

struct Leaf {
  uint64_t weight;
  int symbol;
};

}  // namespace

// Package-merge: level 1 holds the leaves in ascending weight; every further level merges
// the leaves with the packages made by pairing neighbours of the level below. The 2n - 2
// lightest items of the top level make the optimal code, and a leaf's length is the
// number of levels on which it is among the items those reach. Since the leaves within a
// level keep their order, the items reached on a level are always the lightest leaves
// and the lightest packages, so counting how many of each is enough.
void LimitedCodeLengths(const uint32_t* counts, int count, int maxLength, uint8_t* lengths) {
  std::memset(lengths, 0, static_cast<size_t>(count));
  Leaf leaves[kMaxSymbols];
  int leafCount = 0;
  for (int symbol = 0; symbol < count && symbol < kMaxSymbols; ++symbol) {
    if (counts[symbol] != 0) leaves[leafCount++] = Leaf{counts[symbol], symbol};
  }
  if (leafCount == 0) return;
  if (leafCount == 1) {
    lengths[leaves[0].symbol] = 1;
    return;
  }
  std::sort(leaves, leaves + leafCount, [](const Leaf& a, const Leaf& b) {
    return a.weight != b.weight ? a.weight < b.weight : a.symbol < b.symbol;
  });
  maxLength = std::min(maxLength, kMaxLevels);

  // Per level: the merged weights, and how many leaves lie among the first k items.
  static thread_local uint64_t weights[kMaxLevels][2 * kMaxSymbols];
  static thread_local uint16_t leavesBefore[kMaxLevels][2 * kMaxSymbols + 1];
  int itemCount[kMaxLevels];
  for (int i = 0; i < leafCount; ++i) {
    weights[0][i] = leaves[i].weight;
    leavesBefore[0][i + 1] = static_cast<uint16_t>(i + 1);
  }
  leavesBefore[0][0] = 0;
  itemCount[0] = leafCount;
  for (int level = 1; level < maxLength; ++level) {
    const int packages = itemCount[level - 1] / 2;
    int leaf = 0;
    int package = 0;
    int items = 0;
    leavesBefore[level][0] = 0;
    while (leaf < leafCount || package < packages) {
      const uint64_t packageWeight =
          package < packages ? weights[level - 1][2 * package] + weights[level - 1][2 * package + 1]
                             : 0;
      const bool takeLeaf =
          leaf < leafCount && (package >= packages || leaves[leaf].weight <= packageWeight);
      weights[level][items] = takeLeaf ? leaves[leaf].weight : packageWeight;
      if (takeLeaf) {
        ++leaf;
      } else {
        ++package;
      }
      ++items;
      leavesBefore[level][items] = static_cast<uint16_t>(leaf);
    }
    itemCount[level] = items;
  }

  int take = 2 * leafCount - 2;
  for (int level = maxLength - 1; level >= 0; --level) {
    take = std::min(take, itemCount[level]);
    const int leavesTaken = leavesBefore[level][take];
    for (int i = 0; i < leavesTaken; ++i) ++lengths[leaves[i].symbol];
    take = 2 * (take - leavesTaken);
  }
}

void CompleteLimitedCodeLengths(const uint32_t* counts, int count, int maxLength,
                                uint8_t* lengths) {
  LimitedCodeLengths(counts, count, maxLength, lengths);
  int used = 0;
  int lastUsed = -1;
  for (int symbol = 0; symbol < count; ++symbol) {
    if (lengths[symbol] != 0) {
      ++used;
      lastUsed = symbol;
    }
  }
  if (used >= 2) return;
  // No symbol, or a lone one of length 1: symbols 0 and 1 (or the lone one and 0 or 1)
  // make a complete code of two one-bit codes.
  if (used == 0) {
    lengths[0] = 1;
    lengths[1] = 1;
  } else {
    lengths[lastUsed == 0 ? 1 : 0] = 1;
  }
}

}  // namespace genshoku::png
