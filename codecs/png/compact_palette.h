#pragma once
// The palette the compact PNG writer puts into the file: only the entries the picture
// uses, each colour once, transparent entries first (so that the transparency chunk ends
// early), the rest in an order chosen by the caller, and the smallest bit depth that
// holds them. Pixels keep their exact colours: only the indices change.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "common/pictures.h"

namespace genshoku::png {

enum class CompactPaletteOrder {
  kByUse,        // most used first: the most frequent index is 0, like every filter byte
  kByLuminance,  // darkest first
  kAsGiven,      // the caller's palette unchanged, unused entries included
};

struct CompactPalette {
  std::vector<Rgba> entries;            // in file order
  std::array<uint8_t, 256> newIndex{};  // the file's index of every index of the input
  int bitDepth = 8;                     // 1, 2, 4 or 8
  size_t alphaCount = 0;                // entries the transparency chunk holds; 0: no chunk
};

// The smallest PNG bit depth for a palette of `entries` entries (1..256).
int PaletteBitDepth(size_t entries);

// Plans the palette for indices[0..count) into `palette` (1..256 entries; every index is
// below its size).
CompactPalette PlanCompactPalette(const uint8_t* indices, size_t count,
                                  std::span<const Rgba> palette, CompactPaletteOrder order);

}  // namespace genshoku::png
