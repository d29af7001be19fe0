#include "codecs/png/compact_palette.h"

#include <algorithm>
#include <numeric>

namespace genshoku::png {

namespace {

uint32_t PackedColour(const Rgba& colour) {
  return uint32_t{colour.red} << 24 | uint32_t{colour.green} << 16 | uint32_t{colour.blue} << 8 |
         colour.alpha;
}

// Rec. 601 luma, in integers.
uint32_t Luminance(const Rgba& colour) {
  return 299u * colour.red + 587u * colour.green + 114u * colour.blue;
}

size_t AlphaCountOf(const std::vector<Rgba>& entries) {
  size_t count = 0;
  for (size_t i = 0; i < entries.size(); ++i) {
    if (entries[i].alpha != 255) count = i + 1;
  }
  return count;
}

}  // namespace

int PaletteBitDepth(size_t entries) {
  if (entries <= 2) return 1;
  if (entries <= 4) return 2;
  if (entries <= 16) return 4;
  return 8;
}

CompactPalette PlanCompactPalette(const uint8_t* indices, size_t count,
                                  std::span<const Rgba> palette, CompactPaletteOrder order) {
  CompactPalette plan;
  if (order == CompactPaletteOrder::kAsGiven) {
    plan.entries.assign(palette.begin(), palette.end());
    std::iota(plan.newIndex.begin(), plan.newIndex.end(), 0);
    plan.bitDepth = PaletteBitDepth(plan.entries.size());
    plan.alphaCount = AlphaCountOf(plan.entries);
    return plan;
  }

  uint64_t uses[256] = {};
  for (size_t i = 0; i < count; ++i) ++uses[indices[i]];
  // Entries of the same colour become one: the first of them stands for all.
  int representative[256];
  for (size_t i = 0; i < palette.size(); ++i) {
    representative[i] = static_cast<int>(i);
    for (size_t j = 0; j < i; ++j) {
      if (PackedColour(palette[j]) == PackedColour(palette[i])) {
        representative[i] = static_cast<int>(j);
        break;
      }
    }
  }
  uint64_t merged[256] = {};
  for (size_t i = 0; i < palette.size(); ++i) merged[representative[i]] += uses[i];

  std::vector<int> kept;
  for (size_t i = 0; i < palette.size(); ++i) {
    if (representative[i] == static_cast<int>(i) && merged[i] > 0)
      kept.push_back(static_cast<int>(i));
  }
  std::stable_sort(kept.begin(), kept.end(), [&](int a, int b) {
    const bool aOpaque = palette[a].alpha == 255;
    const bool bOpaque = palette[b].alpha == 255;
    if (aOpaque != bOpaque) return !aOpaque;
    if (order == CompactPaletteOrder::kByLuminance)
      return Luminance(palette[a]) < Luminance(palette[b]);
    return merged[a] > merged[b];
  });
  uint8_t position[256] = {};
  for (size_t k = 0; k < kept.size(); ++k) {
    plan.entries.push_back(palette[kept[k]]);
    position[kept[k]] = static_cast<uint8_t>(k);
  }
  for (size_t i = 0; i < palette.size(); ++i) plan.newIndex[i] = position[representative[i]];
  plan.bitDepth = PaletteBitDepth(plan.entries.size());
  plan.alphaCount = AlphaCountOf(plan.entries);
  return plan;
}

}  // namespace genshoku::png
