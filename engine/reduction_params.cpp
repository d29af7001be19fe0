#include "engine/reduction_params.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace genshoku {

namespace {

constexpr double kHuge = 1e300;

constexpr ReductionParamInfo Int(int position, const char* name, int ReductionParams::*field,
                                 double minimum, double maximum, const char* meaning) {
  return {position, name, true, field, nullptr, minimum, maximum, meaning};
}

constexpr ReductionParamInfo Real(int position, const char* name, double ReductionParams::*field,
                                  double minimum, double maximum, const char* meaning) {
  return {position, name, false, nullptr, field, minimum, maximum, meaning};
}

}  // namespace

const std::array<ReductionParamInfo, kReductionParamCount> kReductionParamTable = {{
    Int(10, "edgeOperator", &ReductionParams::edgeOperator, 0, 6,
        "edge rule: 0..6 (6 root mean square of six central differences, 4 edge-weighted score)"),
    Int(11, "edgeThreshold", &ReductionParams::edgeThreshold, 0, 100000,
        "gradient threshold of the edge rule"),
    Int(12, "finalMapMode", &ReductionParams::finalMapMode, 0, 2,
        "1 diffusion of the source bytes, 2 diffusion in the working space, 0 nearest entry"),
    Int(13, "kmeansOn", &ReductionParams::kmeansOn, 0, 1, "1 runs the k-means refinement"),
    Real(14, "weightV", &ReductionParams::weightV, 0.001, 1000, "weight of the second chrominance"),
    Real(15, "weightY", &ReductionParams::weightY, 0.001, 1000, "weight of the luminance"),
    Real(16, "weightU", &ReductionParams::weightU, 0.001, 1000, "weight of the first chrominance"),
    Real(17, "gammaG", &ReductionParams::gammaG, 0.01, 100, "gamma of green"),
    Int(18, "thresholdMode", &ReductionParams::thresholdMode, 0, 4,
        "split rule: 0 Otsu on integers, 1 median, 2 mean, 3 Otsu on reals, 4 minimum scatter"),
    Int(19, "channelFloor", &ReductionParams::channelFloor, 0, 255,
        "source bytes below it are raised to it"),
    Int(20, "diffusionKernel", &ReductionParams::diffusionKernel, 0, 3,
        "0 Floyd-Steinberg, 1 Sierra Lite, 2 Stucki, 3 Jarvis-Judice-Ninke"),
    Int(21, "colourMode", &ReductionParams::colourMode, 0, 9,
        "working colour space 0..9 (3 YCbCr-like)"),
    Real(22, "diffusionStrength", &ReductionParams::diffusionStrength, 0, 10,
         "fraction of the quantisation error diffused"),
    Int(23, "distancePowerOn", &ReductionParams::distancePowerOn, 0, 1,
        "1 sums distance to the power distanceExponent in the splitting score"),
    Real(24, "distanceExponent", &ReductionParams::distanceExponent, 0, 16,
         "exponent of the distance in the splitting score"),
    Real(25, "edgeWeightExponent", &ReductionParams::edgeWeightExponent, 0, 16,
         "exponent of the edge weight in the edge-weighted score"),
    Real(26, "chromaAngle", &ReductionParams::chromaAngle, -360, 360,
         "rotation of the chrominance plane, degrees"),
    Real(27, "contrastSlope", &ReductionParams::contrastSlope, 0.000001, 1,
         "slope of the logistic tone curve of colour modes 5 and 6"),
    Real(28, "gammaR", &ReductionParams::gammaR, 0.01, 100, "gamma of red"),
    Real(29, "gammaB", &ReductionParams::gammaB, 0.01, 100, "gamma of blue"),
    Real(30, "gammaY", &ReductionParams::gammaY, 0.01, 100, "gamma of the luminance"),
    Int(31, "spreadMode", &ReductionParams::spreadMode, 0, 5,
        "which statistic picks the next cluster to split (1 sum of squared distances)"),
    Int(32, "presmoothOn", &ReductionParams::presmoothOn, 0, 1, "1 smooths the source bytes first"),
    Real(33, "edgeStrengthGain", &ReductionParams::edgeStrengthGain, 0, kHuge,
         "multiplier of the edge strength in the edge-weighted score"),
    Real(34, "presmoothCentre", &ReductionParams::presmoothCentre, 0, 1,
         "centre weight of the smoothing"),
}};

const ReductionParamInfo* FindReductionParam(std::string_view name) {
  for (const ReductionParamInfo& info : kReductionParamTable) {
    if (name == info.name) return &info;
  }
  return nullptr;
}

namespace {

std::string RangeText(const ReductionParamInfo& info) {
  char text[128];
  if (info.isInteger) {
    std::snprintf(text, sizeof text, "%d to %d", static_cast<int>(info.minimum),
                  static_cast<int>(info.maximum));
  } else if (info.maximum >= kHuge) {
    std::snprintf(text, sizeof text, "at least %g", info.minimum);
  } else {
    std::snprintf(text, sizeof text, "%g to %g", info.minimum, info.maximum);
  }
  return text;
}

bool InRange(const ReductionParamInfo& info, double value) {
  return std::isfinite(value) && value >= info.minimum && value <= info.maximum;
}

}  // namespace

bool SetReductionParam(ReductionParams& params, std::string_view name, std::string_view value,
                       std::string* message) {
  const ReductionParamInfo* info = FindReductionParam(name);
  if (info == nullptr) {
    if (message) *message = "unknown setting '" + std::string(name) + "'";
    return false;
  }
  const std::string text(value);
  char* end = nullptr;
  errno = 0;
  const double number = std::strtod(text.c_str(), &end);
  const bool parsed = !text.empty() && end == text.c_str() + text.size() && errno == 0;
  const bool whole = parsed && number == std::floor(number);
  if (!parsed || (info->isInteger && !whole) || !InRange(*info, number)) {
    if (message) {
      *message = std::string(info->name) + " must be " +
                 (info->isInteger ? "a whole number " : "a number ") + "from " + RangeText(*info) +
                 ", not '" + text + "'";
    }
    return false;
  }
  if (info->isInteger) {
    params.*(info->intField) = static_cast<int>(number);
  } else {
    params.*(info->doubleField) = number;
  }
  return true;
}

std::string FormatReductionParam(const ReductionParams& params, const ReductionParamInfo& info) {
  char text[64];
  if (info.isInteger) {
    std::snprintf(text, sizeof text, "%d", params.*(info.intField));
  } else {
    std::snprintf(text, sizeof text, "%g", params.*(info.doubleField));
  }
  return text;
}

bool ValidateReductionParams(const ReductionParams& params, std::string* message) {
  for (const ReductionParamInfo& info : kReductionParamTable) {
    const double value = info.isInteger ? params.*(info.intField) : params.*(info.doubleField);
    if (!InRange(info, value)) {
      if (message) {
        *message = std::string(info.name) + " is " + FormatReductionParam(params, info) +
                   ", outside " + RangeText(info);
      }
      return false;
    }
  }
  return true;
}

}  // namespace genshoku
