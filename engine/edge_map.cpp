#include "engine/edge_map.h"

#include <array>
#include <cmath>

#include "engine/engine_types.h"

// Every rule compares the threshold with a root mean square of gradient values: sqrt(2) and
// sqrt(6) turn the Euclidean norm of two or six values into their root mean square, and 4
// is the gain of the Sobel kernel over a plain central difference. The rules keep the
// single-precision steps of their original definition so that borderline pixels fall on
// the same side every time.
namespace genshoku {

namespace {

constexpr int kChannels = 3;

// The gradients of one pixel: horizontal and vertical, per channel (red, green, blue).
struct PixelGradients {
  std::array<int, kChannels> h;
  std::array<int, kChannels> v;
};

// sqrt of a single-precision sum of squares, taken in double and rounded back to single.
float SingleRoot(float sumOfSquares) {
  return static_cast<float>(std::sqrt(static_cast<double>(sumOfSquares)));
}

float SingleSquare(int value) {
  const float f = static_cast<float>(value);
  return f * f;
}

float ChannelMagnitude(const PixelGradients& g, int channel) {
  return SingleRoot(SingleSquare(g.h[channel]) + SingleSquare(g.v[channel]));
}

float SixValueMagnitude(const PixelGradients& g) {
  float sum = SingleSquare(g.h[0]);
  sum += SingleSquare(g.v[0]);
  for (int c = 1; c < kChannels; ++c) {
    sum += SingleSquare(g.h[c]);
    sum += SingleSquare(g.v[c]);
  }
  return SingleRoot(sum);
}

bool AnyChannelReaches(const PixelGradients& g, double threshold) {
  for (int c = 0; c < kChannels; ++c) {
    if (static_cast<double>(ChannelMagnitude(g, c)) >= threshold) return true;
  }
  return false;
}

// Operator 0: per channel, central differences, all in single precision.
bool ChannelNormRule(const PixelGradients& g, int t) {
  const float threshold = static_cast<float>(std::sqrt(2.0)) * static_cast<float>(t);
  for (int c = 0; c < kChannels; ++c) {
    if (ChannelMagnitude(g, c) >= threshold) return true;
  }
  return false;
}

// Operator 1: any single difference.
bool AnyDifferenceRule(const PixelGradients& g, int t) {
  for (int c = 0; c < kChannels; ++c) {
    if (g.h[c] >= t || g.v[c] >= t) return true;
  }
  return false;
}

// Operator 3: per channel, Sobel responses; magnitude single, threshold double.
bool SobelChannelNormRule(const PixelGradients& g, int t) {
  return AnyChannelReaches(g, std::sqrt(2.0) * (4.0 * t));
}

// Operator 4: no pixel is an edge pixel; the strength weights the splitting score instead.
// Squares in single precision, their sum in double.
double EdgeStrengthOf(const PixelGradients& g) {
  double sum = SingleSquare(g.h[0]);
  sum += SingleSquare(g.v[0]);
  for (int c = 1; c < kChannels; ++c) {
    sum += SingleSquare(g.h[c]);
    sum += SingleSquare(g.v[c]);
  }
  return std::sqrt(sum) * 0.25 / std::sqrt(6.0);
}

// Operator 5: all six Sobel responses; magnitude single, threshold double.
bool SobelNormRule(const PixelGradients& g, int t) {
  return static_cast<double>(SixValueMagnitude(g)) >= std::sqrt(6.0) * (4.0 * t);
}

// Operator 6: all six central differences, all in single precision.
bool NormRule(const PixelGradients& g, int t) {
  const float threshold = static_cast<float>(std::sqrt(6.0)) * static_cast<float>(t);
  return SixValueMagnitude(g) >= threshold;
}

}  // namespace

bool UsesCentralDifferences(int edgeOperator) {
  return edgeOperator == 0 || edgeOperator == 1 || edgeOperator == 2 || edgeOperator == 6;
}

bool UsesSobel(int edgeOperator) {
  return edgeOperator == 3 || edgeOperator == 4 || edgeOperator == 5;
}

int64_t SmallestEdgeSumOfSquares(int edgeThreshold) {
  const float threshold = static_cast<float>(std::sqrt(6.0)) * static_cast<float>(edgeThreshold);
  // The largest sum of six squared byte differences.
  const int64_t largest = 6 * 255 * 255;
  auto isEdge = [&](int64_t sum) { return SingleRoot(static_cast<float>(sum)) >= threshold; };
  if (!isEdge(largest)) return -1;
  int64_t low = 0, high = largest;  // isEdge(high) holds
  while (low < high) {
    const int64_t middle = low + (high - low) / 2;
    if (isEdge(middle)) {
      high = middle;
    } else {
      low = middle + 1;
    }
  }
  return low;
}

int MirrorIndex(int index, int size) {
  if (size == 1) return 0;
  if (index < 0) return 1;
  if (index >= size) return size - 2;
  return index;
}

bool IsEdgePixel(int edgeOperator, int edgeThreshold, const int (&h)[3], const int (&v)[3],
                 double* strength) {
  PixelGradients g{};
  for (int c = 0; c < kChannels; ++c) {
    g.h[c] = h[c];
    g.v[c] = v[c];
  }
  switch (edgeOperator) {
    case 0: return ChannelNormRule(g, edgeThreshold);
    // Operator 2 reads per-difference flags (difference >= threshold): the same outcome.
    case 1:
    case 2: return AnyDifferenceRule(g, edgeThreshold);
    case 3: return SobelChannelNormRule(g, edgeThreshold);
    case 4:
      if (strength) *strength = EdgeStrengthOf(g);
      return false;
    case 5: return SobelNormRule(g, edgeThreshold);
    case 6: return NormRule(g, edgeThreshold);
  }
  return false;
}

int BuildEdgeMap(int width, int height, const uint8_t* srcR, const uint8_t* srcG,
                 const uint8_t* srcB, int edgeOperator, int edgeThreshold, int16_t* pixelLabel,
                 double* edgeStrength) {
  return ClassifyEdgeRows(
      width, height, srcR, srcG, srcB, edgeOperator, edgeThreshold, 0, height, edgeStrength,
      [&](int64_t i, bool edge) { pixelLabel[i] = edge ? LABEL_EDGE : LABEL_NONEDGE; });
}

}  // namespace genshoku
