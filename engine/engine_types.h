#pragma once
// Data shared by the engine's phases.

#include <array>
#include <cstdint>

namespace genshoku {

// The palette has at most this many entries (the arrays of the phases are this long); a
// reduction makes the number its options ask for, 256 by default.
inline constexpr int kPaletteSize = 256;

// Values of pixelLabel before clustering: an edge pixel takes no part in the palette
// design; a non-edge pixel waits for the first split. Afterwards labels are 0..entries-1.
inline constexpr int16_t LABEL_EDGE = -1;
inline constexpr int16_t LABEL_NONEDGE = -2;

// The palette in the weighted working space: entry i is (Y[i], U[i], V[i]).
struct WorkingPalette {
  std::array<double, kPaletteSize> Y{};
  std::array<double, kPaletteSize> U{};
  std::array<double, kPaletteSize> V{};
};

// One working-space palette entry with its index, as the weighted final mapping reads it.
struct PaletteRecord {
  double y = 0;
  double u = 0;
  double v = 0;
  int32_t index = 0;
};

}  // namespace genshoku
