#include "tests/engine/reference/tone_curves.h"

#include <cmath>
#include <limits>

namespace genshoku::reference {

namespace {

// Exponents of the knee's two segments (5/11 and 15/11) and their reciprocals.
constexpr double kShadowExponent = 0.45454545454545453;
constexpr double kHighlightExponent = 1.3636363636363635;
constexpr double kInverseShadowExponent = 2.2;
constexpr double kInverseHighlightExponent = 0.7333333333333334;

// Gain of the shadow segment, knee^(15/11 - 5/11) for the exact knee, so that both
// segments meet there. The forward curve uses it for both knees.
constexpr double kShadowGain = 0.1429136476;

// Where the inverse switches segment, and the shadow gain it divides by. For the exact knee
// these are knee^(15/11) and the full-precision gain; for the rounded knee they follow the
// forward curve as it stands (its gain and its knee).
struct KneeInverse {
  double joinValue;
  double shadowGain;
};

KneeInverse InverseFor(double knee) {
  if (knee == kKneeExact) return {0.05402696305877764, 0.14291364759577405};
  return {std::pow(knee, kHighlightExponent), kShadowGain};
}

}  // namespace

double ChannelGamma(uint8_t byte, double gamma) {
  return 255.0 * std::pow(static_cast<double>(byte) / 255.0, gamma);
}

double LuminanceGamma(double value, double exponent) {
  if (value < 0) return -(255.0 * std::pow(-value / 255.0, exponent));
  return 255.0 * std::pow(value / 255.0, exponent);
}

double KneeCurve(double curved, uint8_t sourceByte, double knee) {
  const double x = curved / 255.0;
  const double s = static_cast<double>(sourceByte) / 255.0;
  if (s < knee) return 255.0 * kShadowGain * std::pow(x, kShadowExponent);
  return 255.0 * std::pow(x, kHighlightExponent);
}

double InverseKneeCurve(double value, double knee) {
  const KneeInverse inverse = InverseFor(knee);
  const double t = value / 255.0;
  if (t >= inverse.joinValue) return 255.0 * std::pow(t, kInverseHighlightExponent);
  return 255.0 * std::pow(t / inverse.shadowGain, kInverseShadowExponent);
}

double LogisticCurve(double curved, double slope) {
  const double x = curved;
  const double a = slope;
  return (255.0 / (1.0 + std::exp(-(x - 127.5) * a)) - 255.0 / (1.0 + std::exp(127.5 * a))) *
         255.0 / (255.0 - 510.0 / (1.0 + std::exp(127.5 * a)));
}

double InverseLogisticCurve(double value, double slope) {
  const double a = slope;
  // Back from the rescaled range 0..255 to the raw range L(0)..L(255) of the logistic.
  const double rawAtZero = 255.0 / (1.0 + std::exp(127.5 * a));
  const double rawSpan = 255.0 - 510.0 / (1.0 + std::exp(127.5 * a));
  const double raw = value * rawSpan / 255.0 + rawAtZero;
  // The logistic never reaches 255; anything at or above it is brighter than any input.
  if (raw >= 255.0) return std::numeric_limits<double>::infinity();
  return 127.5 - std::log(255.0 / raw - 1.0) / a;
}

}  // namespace genshoku::reference
