#include "engine/reduction_params.h"

namespace genshoku {

namespace {

constexpr auto Int = IntSetting<ReductionParams>;
constexpr auto Real = RealSetting<ReductionParams>;

}  // namespace

const std::array<ReductionParamInfo, kReductionParamCount> kReductionParamTable = {{
    Int("edgeOperator", &ReductionParams::edgeOperator, 0, 6,
        "edge rule: 0..6 (6 root mean square of six central differences, 4 edge-weighted score)"),
    Int("edgeThreshold", &ReductionParams::edgeThreshold, 0, 100000,
        "gradient threshold of the edge rule"),
    Int("finalMapMode", &ReductionParams::finalMapMode, 0, 2,
        "1 diffusion of the source bytes, 2 diffusion in the working space, 0 nearest entry"),
    Int("kmeansOn", &ReductionParams::kmeansOn, 0, 1, "1 runs the k-means refinement"),
    Real("weightV", &ReductionParams::weightV, 0.001, 1000, "weight of the second chrominance"),
    Real("weightY", &ReductionParams::weightY, 0.001, 1000, "weight of the luminance"),
    Real("weightU", &ReductionParams::weightU, 0.001, 1000, "weight of the first chrominance"),
    Real("gammaG", &ReductionParams::gammaG, 0.01, 100, "gamma of green"),
    Int("thresholdMode", &ReductionParams::thresholdMode, 0, 4,
        "split rule: 0 Otsu on integers, 1 median, 2 mean, 3 Otsu on reals, 4 minimum scatter"),
    Int("channelFloor", &ReductionParams::channelFloor, 0, 255,
        "source bytes below it are raised to it"),
    Int("diffusionKernel", &ReductionParams::diffusionKernel, 0, 3,
        "0 Floyd-Steinberg, 1 Sierra Lite, 2 Stucki, 3 Jarvis-Judice-Ninke"),
    Int("colourMode", &ReductionParams::colourMode, 0, 9,
        "working colour space 0..9 (3 YCbCr-like)"),
    Real("diffusionStrength", &ReductionParams::diffusionStrength, 0, 10,
         "fraction of the quantisation error diffused"),
    Int("distancePowerOn", &ReductionParams::distancePowerOn, 0, 1,
        "1 sums distance to the power distanceExponent in the splitting score"),
    Real("distanceExponent", &ReductionParams::distanceExponent, 0, 16,
         "exponent of the distance in the splitting score"),
    Real("edgeWeightExponent", &ReductionParams::edgeWeightExponent, 0, 16,
         "exponent of the edge weight in the edge-weighted score"),
    Real("chromaAngle", &ReductionParams::chromaAngle, -360, 360,
         "rotation of the chrominance plane, degrees"),
    Real("contrastSlope", &ReductionParams::contrastSlope, 0.000001, 1,
         "slope of the logistic tone curve of colour modes 5 and 6"),
    Real("gammaR", &ReductionParams::gammaR, 0.01, 100, "gamma of red"),
    Real("gammaB", &ReductionParams::gammaB, 0.01, 100, "gamma of blue"),
    Real("gammaY", &ReductionParams::gammaY, 0.01, 100, "gamma of the luminance"),
    Int("spreadMode", &ReductionParams::spreadMode, 0, 5,
        "which statistic picks the next cluster to split (1 sum of squared distances)"),
    Int("presmoothOn", &ReductionParams::presmoothOn, 0, 1, "1 smooths the source bytes first"),
    Real("edgeStrengthGain", &ReductionParams::edgeStrengthGain, 0, kNoUpperBound,
         "multiplier of the edge strength in the edge-weighted score"),
    Real("presmoothCentre", &ReductionParams::presmoothCentre, 0, 1,
         "centre weight of the smoothing"),
}};

const ReductionParamInfo* FindReductionParam(std::string_view name) {
  for (const ReductionParamInfo& info : kReductionParamTable) {
    if (name == info.name) return &info;
  }
  return nullptr;
}

bool SetReductionParam(ReductionParams& params, std::string_view name, std::string_view value,
                       std::string* message) {
  const ReductionParamInfo* info = FindReductionParam(name);
  if (info == nullptr) {
    if (message) *message = "unknown setting '" + std::string(name) + "'";
    return false;
  }
  double number = 0;
  if (!info->Parse(value, &number, message)) return false;
  info->Put(params, number);
  return true;
}

bool ValidateReductionParams(const ReductionParams& params, std::string* message) {
  for (const ReductionParamInfo& info : kReductionParamTable) {
    if (!info.Accepts(info.Get(params))) {
      if (message) {
        *message = std::string(info.name) + " is " + info.Format(params) + ", outside the range " +
                   NumberRangeText(info.minimum, info.maximum);
      }
      return false;
    }
  }
  return true;
}

}  // namespace genshoku
