#include "tests/engine/reference/edge_map.h"

#include <array>
#include <cmath>
#include <vector>

#include "tests/engine/reference/engine_types.h"
#include "tests/engine/reference/gradients.h"

// Every rule compares the threshold with a root mean square of gradient values: sqrt(2) and
// sqrt(6) turn the Euclidean norm of two or six values into their root mean square, and 4
// is the gain of the Sobel kernel over a plain central difference. The rules keep the
// single-precision steps of their original definition so that borderline pixels fall on
// the same side every time.
namespace genshoku::reference {

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

bool UsesCentralDifferences(int edgeOperator) {
  return edgeOperator == 0 || edgeOperator == 1 || edgeOperator == 2 || edgeOperator == 6;
}

bool UsesSobel(int edgeOperator) {
  return edgeOperator == 3 || edgeOperator == 4 || edgeOperator == 5;
}

}  // namespace

int BuildEdgeMap(int width, int height, const uint8_t* srcR, const uint8_t* srcG,
                 const uint8_t* srcB, int edgeOperator, int edgeThreshold, int16_t* pixelLabel,
                 double* edgeStrength) {
  const bool central = UsesCentralDifferences(edgeOperator);
  if (!central && !UsesSobel(edgeOperator)) return 0;

  const int64_t n = static_cast<int64_t>(width) * height;
  const uint8_t* sources[kChannels] = {srcR, srcG, srcB};
  std::vector<int> diffH[kChannels];
  std::vector<int> diffV[kChannels];
  // Operator 2 is operator 1 read through the per-difference flags; only it needs them.
  const bool withFlags = edgeOperator == 2;
  std::vector<int> flagH[kChannels];
  std::vector<int> flagV[kChannels];

  for (int c = 0; c < kChannels; ++c) {
    const std::vector<int> widened(sources[c], sources[c] + n);
    diffH[c].assign(n, 0);
    diffV[c].assign(n, 0);
    if (central) {
      if (withFlags) {
        flagH[c].assign(n, 0);
        flagV[c].assign(n, 0);
      }
      CentralDiffH(width, height, edgeThreshold, widened.data(), diffH[c].data(),
                   withFlags ? flagH[c].data() : nullptr);
      CentralDiffV(width, height, edgeThreshold, widened.data(), diffV[c].data(),
                   withFlags ? flagV[c].data() : nullptr);
    } else {
      SobelH(width, height, widened.data(), diffH[c].data());
      SobelV(width, height, widened.data(), diffV[c].data());
    }
  }

  int edgeCount = 0;
  for (int64_t i = 0; i < n; ++i) {
    PixelGradients g{};
    for (int c = 0; c < kChannels; ++c) {
      g.h[c] = diffH[c][i];
      g.v[c] = diffV[c][i];
    }
    bool edge = false;
    switch (edgeOperator) {
      case 0: edge = ChannelNormRule(g, edgeThreshold); break;
      case 1: edge = AnyDifferenceRule(g, edgeThreshold); break;
      case 2:
        for (int c = 0; c < kChannels; ++c) {
          if (flagH[c][i] == 1 || flagV[c][i] == 1) edge = true;
        }
        break;
      case 3: edge = SobelChannelNormRule(g, edgeThreshold); break;
      case 4:
        if (edgeStrength) edgeStrength[i] = EdgeStrengthOf(g);
        break;
      case 5: edge = SobelNormRule(g, edgeThreshold); break;
      case 6: edge = NormRule(g, edgeThreshold); break;
    }
    pixelLabel[i] = edge ? LABEL_EDGE : LABEL_NONEDGE;
    if (edge) ++edgeCount;
  }
  return edgeCount;
}

}  // namespace genshoku::reference
