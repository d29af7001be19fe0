#include "codecs/png/deflate_block_splitter.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace genshoku::png {

namespace {

constexpr uint32_t kTableSize = 4096;

// n log2 n, from a table for the small counts that dominate.
double NLog2N(uint32_t n) {
  static const std::array<double, kTableSize> table = [] {
    std::array<double, kTableSize> values{};
    for (uint32_t i = 1; i < kTableSize; ++i) values[i] = i * std::log2(static_cast<double>(i));
    return values;
  }();
  if (n < kTableSize) return table[n];
  return n * std::log2(static_cast<double>(n));
}

// Sum of count x log2(total / count) over an alphabet, and how many symbols occur.
double Information(const uint32_t* counts, int size, int& used) {
  uint64_t total = 0;
  double sum = 0;
  for (int s = 0; s < size; ++s) {
    if (counts[s] == 0) continue;
    total += counts[s];
    sum += NLog2N(counts[s]);
    ++used;
  }
  if (total == 0) return 0;
  return static_cast<double>(total) * std::log2(static_cast<double>(total)) - sum;
}

// Header bits: the fixed fields and code-length code, and about four bits per symbol
// with a code (zero runs are cheap).
constexpr double kHeaderBaseBits = 70;
constexpr double kHeaderBitsPerSymbol = 4;

struct Group {
  DeflateHistogram histogram;
  size_t end = 0;  // token index after the group
  double bits = 0;
  double mergeGain = 0;  // bits saved by merging with the next group
};

}  // namespace

double EstimatedBlockBits(const DeflateHistogram& histogram) {
  int used = 0;
  const double data = Information(histogram.literalLength, kLiteralLengthSymbols, used) +
                      Information(histogram.distance, kDistanceSymbols, used);
  return data + kHeaderBaseBits + kHeaderBitsPerSymbol * used;
}

std::vector<size_t> SplitIntoBlocks(const DeflateToken* tokens, size_t count,
                                    const BlockSplitSettings& settings) {
  const size_t chunk = settings.chunkTokens > 0 ? settings.chunkTokens : count;
  std::vector<Group> groups;
  for (size_t start = 0; start < count; start += chunk) {
    Group group;
    group.end = std::min(count, start + chunk);
    group.histogram.Add(tokens + start, group.end - start);
    group.histogram.literalLength[kEndOfBlock] = 1;
    group.bits = EstimatedBlockBits(group.histogram);
    groups.push_back(group);
  }
  if (groups.size() <= 1) return {count};

  DeflateHistogram merged;
  const auto gainOf = [&merged](const Group& a, const Group& b) {
    merged = a.histogram;
    merged.Add(b.histogram);
    merged.literalLength[kEndOfBlock] = 1;
    return a.bits + b.bits - EstimatedBlockBits(merged);
  };
  // The groups form a list: next[i] is the group after group i (groups.size() at the
  // end), and a merged group stays in the vector unused.
  const size_t none = groups.size();
  std::vector<size_t> next(groups.size());
  std::vector<size_t> previous(groups.size());
  for (size_t i = 0; i < groups.size(); ++i) {
    next[i] = i + 1;
    previous[i] = i == 0 ? none : i - 1;
    if (i + 1 < groups.size()) groups[i].mergeGain = gainOf(groups[i], groups[i + 1]);
  }
  // Merge the pair that saves most, until no merge saves anything.
  for (;;) {
    size_t best = none;
    double bestGain = 0;
    for (size_t i = 0; next[i] != none; i = next[i]) {
      if (groups[i].mergeGain > bestGain) {
        bestGain = groups[i].mergeGain;
        best = i;
      }
    }
    if (best == none) break;
    Group& target = groups[best];
    const size_t absorbed = next[best];
    target.histogram.Add(groups[absorbed].histogram);
    target.histogram.literalLength[kEndOfBlock] = 1;
    target.end = groups[absorbed].end;
    target.bits = EstimatedBlockBits(target.histogram);
    next[best] = next[absorbed];
    if (next[best] != none) {
      previous[next[best]] = best;
      target.mergeGain = gainOf(target, groups[next[best]]);
    }
    if (previous[best] != none) {
      groups[previous[best]].mergeGain = gainOf(groups[previous[best]], target);
    }
  }
  std::vector<size_t> ends;
  for (size_t i = 0; i != none; i = next[i]) ends.push_back(groups[i].end);
  return ends;
}

}  // namespace genshoku::png
