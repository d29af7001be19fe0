#pragma once
// Per-channel tone curves of the working space and their inverses.
//
// The channel gamma runs first on every byte; some colour modes then bend the curved value
// once more, with a knee (a lifted shadow segment joined to a steeper highlight segment) or
// a logistic curve (steeper mid-tones). The palette conversion back to bytes runs the
// inverses in the opposite order.

#include <cstdint>

namespace genshoku::reference {

// 255 * (byte / 255)^gamma: 0 stays 0, 255 stays 255.
double ChannelGamma(uint8_t byte, double gamma);

// The luminance gamma 255 * (value / 255)^exponent. Negative values (the a* or u* that
// the CIE modes carry in the luminance slot) are bent like their mirror image, so that the
// curve is odd and the palette conversion can undo it with the reciprocal exponent.
double LuminanceGamma(double value, double exponent);

// The two knees in use: colour mode 4 has the exact 30 / 255, modes 7 and 8 a rounded one.
inline constexpr double kKneeExact = 0.11764705882352941;
inline constexpr double kKneeRounded = 0.1176470588;

// The knee curve on a curved channel value; the segment is chosen by the channel's source
// byte (the value before the channel gamma) against `knee`.
double KneeCurve(double curved, uint8_t sourceByte, double knee);

// The inverse of the knee curve for a curve built with `knee`: the segment is chosen by the
// value itself against the curve's value at the knee. Negative values have no inverse and
// give NaN, which the palette conversion turns into 0.
double InverseKneeCurve(double value, double knee);

// The logistic curve L(x) = 255 / (1 + e^(-(x - 127.5) * slope)), rescaled so that 0 and
// 255 are fixed points.
double LogisticCurve(double curved, double slope);

// The inverse of LogisticCurve. Values beyond the curve's reach give +infinity (too bright)
// or NaN (too dark).
double InverseLogisticCurve(double value, double slope);

}  // namespace genshoku::reference
