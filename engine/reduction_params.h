#pragma once
// The engine's settings: 25 numbers that fix every choice of the reduction.
//
// The defaults are the values the reduce command always passes. `kReductionParamTable`
// lists every setting once, in the order of the engine's argument list, with its name,
// its valid range and its meaning; the command line tool's --set and the argument
// checks of the engine both read it, so the values live in one place.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/named_number.h"

namespace genshoku {

struct ReductionParams {
  int edgeOperator = 6;             // 0..6: gradient and edge rule
  int edgeThreshold = 20;           // gradient threshold of the edge rule
  int finalMapMode = 2;             // 1 RGB diffusion, 2 working-space diffusion, 0 nearest only
  int kmeansOn = 1;                 // 1 runs the k-means refinement
  double weightV = 4.0;             // weight of the second chrominance component
  double weightY = 7.5;             // weight of the luminance component
  double weightU = 3.0;             // weight of the first chrominance component
  double gammaG = 1.1;              // gamma of green
  int thresholdMode = 4;            // 0 Otsu int, 1 median, 2 mean, 3 Otsu real, 4 min scatter
  int channelFloor = 0;             // source bytes below it are raised to it
  int diffusionKernel = 0;          // 0 Floyd-Steinberg, 1 Sierra Lite, 2 Stucki, 3 JJN
  int colourMode = 3;               // 0..9, colour space of the working planes
  double diffusionStrength = 0.75;  // fraction of the quantisation error diffused
  int distancePowerOn = 1;          // 1: the splitting score sums distance^distanceExponent
  double distanceExponent = 2.0;    // exponent of the distance in the splitting score
  double edgeWeightExponent = 1.0;  // exponent of the edge weight (edge operator 4)
  double chromaAngle = 5.0;         // rotation of the chrominance plane, degrees
  double contrastSlope = 0.001;     // slope of the logistic tone curve (modes 5, 6)
  double gammaR = 1.1;              // gamma of red
  double gammaB = 1.1;              // gamma of blue
  double gammaY = 1.1;              // gamma of the luminance component
  int spreadMode = 1;               // statistic that picks the next cluster to split
  int presmoothOn = 0;              // 1 smooths the source bytes first
  double edgeStrengthGain = 1.0;    // multiplier of edgeStrength (edge operator 4)
  double presmoothCentre = 0.8;     // centre weight of the smoothing
};

using ReductionParamInfo = NamedNumber<ReductionParams>;

inline constexpr int kReductionParamCount = 25;
extern const std::array<ReductionParamInfo, kReductionParamCount> kReductionParamTable;

// The entry of a setting by name, if there is one.
const ReductionParamInfo* FindReductionParam(std::string_view name);

// Reads a setting's value as a number in its range. Returns false with a message for an
// unknown name, a value that is not a number of the right kind, or one out of range.
bool SetReductionParam(ReductionParams& params, std::string_view name, std::string_view value,
                       std::string* message);

// Checks every setting against its range; the message names the first one outside it.
bool ValidateReductionParams(const ReductionParams& params, std::string* message);

}  // namespace genshoku
