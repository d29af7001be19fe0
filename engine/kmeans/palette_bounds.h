#pragma once
// The palette as the k-means refinement knows it between two passes: each component of
// each entry lies between two doubles, equal when the entry is known exactly. An entry's
// mean is known only within bounds when its pixels changed and were not added again (see
// sum_bounds.h).

#include <array>
#include <cstdint>

#include "engine/engine_types.h"
#include "engine/kmeans/sum_bounds.h"

namespace genshoku {

// The searches measure from the centres; the true entry lies within `radius` of its centre.
struct PaletteBounds {
  WorkingPalette low, high, centre;
  std::array<double, kPaletteSize> radius{};

  bool Exact(int e) const { return radius[e] == 0.0; }
  void SetExact(int e, double y, double u, double v);
  // Entry e within `bounds` (Y, U, V). A widening above 1 (a testing seam) widens them,
  // more upwards than downwards, so that the centre moves off the true mean.
  void SetBounds(int e, const DoubleInterval (&bounds)[3], double widening);
  double LargestRadius() const;
};

// Whether an entry's integer parts differ between two palettes: not at all, certainly, or
// cannot be told within the bounds.
enum class Change { None, Moved, Unknown };
Change IntegerPartsChange(const PaletteBounds& a, const PaletteBounds& b, int e);

// The integer part of every value between low and high, or false when they differ.
bool CommonIntegerPart(double low, double high, int32_t& part);

}  // namespace genshoku
