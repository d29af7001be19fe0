#pragma once
// Single-precision steps inside the double-precision colour arithmetic.
//
// A few colour formulas take their inputs rounded to single precision. Keeping that
// rounding explicit (and not merely storing into a float) makes every such place visible
// and keeps the rest of the expression in double precision.

namespace genshoku::reference {

// x rounded to the nearest float and widened back to double.
inline double RoundToFloat(double x) { return static_cast<double>(static_cast<float>(x)); }

}  // namespace genshoku::reference
