#include "engine/kmeans/palette_bounds.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "engine/integer_parts.h"

namespace genshoku {

void PaletteBounds::SetExact(int e, double y, double u, double v) {
  low.Y[e] = high.Y[e] = centre.Y[e] = y;
  low.U[e] = high.U[e] = centre.U[e] = u;
  low.V[e] = high.V[e] = centre.V[e] = v;
  radius[e] = 0.0;
}

void PaletteBounds::SetBounds(int e, const DoubleInterval (&bounds)[3], double widening) {
  double reach = 0.0;
  double* lows[3] = {&low.Y[e], &low.U[e], &low.V[e]};
  double* highs[3] = {&high.Y[e], &high.U[e], &high.V[e]};
  double* centres[3] = {&centre.Y[e], &centre.U[e], &centre.V[e]};
  for (int k = 0; k < 3; ++k) {
    double a = bounds[k].low, b = bounds[k].high;
    double middle = a * 0.5 + b * 0.5;
    if (widening != 1.0) {
      a = middle - (middle - a) * widening;
      b = middle + (b - middle) * (3.0 * widening);
      middle = a * 0.5 + b * 0.5;
    }
    *lows[k] = a;
    *highs[k] = b;
    *centres[k] = middle;
    // The sum of the three reaches is at least their Euclidean length.
    reach += std::max(middle - a, b - middle);
  }
  const bool exact = low.Y[e] == high.Y[e] && low.U[e] == high.U[e] && low.V[e] == high.V[e];
  radius[e] = exact ? 0.0 : reach * (1.0 + 0x1p-30) + DBL_TRUE_MIN;
  if (!(radius[e] < HUGE_VAL)) radius[e] = HUGE_VAL;
}

double PaletteBounds::LargestRadius() const {
  return *std::max_element(radius.begin(), radius.end());
}

Change IntegerPartsChange(const PaletteBounds& a, const PaletteBounds& b, int e) {
  bool unknown = false;
  const double* lowsA[3] = {&a.low.Y[e], &a.low.U[e], &a.low.V[e]};
  const double* highsA[3] = {&a.high.Y[e], &a.high.U[e], &a.high.V[e]};
  const double* lowsB[3] = {&b.low.Y[e], &b.low.U[e], &b.low.V[e]};
  const double* highsB[3] = {&b.high.Y[e], &b.high.U[e], &b.high.V[e]};
  for (int k = 0; k < 3; ++k) {
    int32_t partA, partB;
    if (!CommonIntegerPart(*lowsA[k], *highsA[k], partA) ||
        !CommonIntegerPart(*lowsB[k], *highsB[k], partB)) {
      unknown = true;
    } else if (partA != partB) {
      return Change::Moved;
    }
  }
  return unknown ? Change::Unknown : Change::None;
}

bool CommonIntegerPart(double low, double high, int32_t& part) {
  const int32_t a = TruncateToInt32(low);
  if (low != high && (TruncateToInt32(high) != a || !(high - low < 1.0))) return false;
  part = a;
  return true;
}

}  // namespace genshoku
