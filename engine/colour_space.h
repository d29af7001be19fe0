#pragma once
// The weighted working space in which the engine measures every colour distance.

#include <cstdint>

#include "engine/reduction_params.h"

namespace genshoku {

// Runs the optional preparations of the source bytes (pre-smoothing, floor; in place),
// then fills planeY, planeU, planeV (width x height doubles each) with the working colour
// of every pixel: channel gamma, tone curve and conversion by colourMode, chrominance
// step, luminance gamma, weights. Pre-smoothing rewrites only samples with a full 3 x 3
// neighbourhood; the border rows and columns keep their bytes.
void ConvertToWorkingSpace(int width, int height, uint8_t* srcR, uint8_t* srcG, uint8_t* srcB,
                           const ReductionParams& params, double* planeY, double* planeU,
                           double* planeV);

// The optional preparations alone: pre-smoothing and the channel floor, in place.
void PrepareSourcePlanes(int width, int height, uint8_t* srcR, uint8_t* srcG, uint8_t* srcB,
                         const ReductionParams& params);

// The working colour of one (prepared) source colour. Every later phase works on these
// values, and they depend on nothing but the three bytes, so the engine converts each
// distinct colour once. The per-channel curves are tables of the 256 byte values.
class WorkingSpaceConverter {
 public:
  explicit WorkingSpaceConverter(const ReductionParams& params);
  void Convert(uint8_t red, uint8_t green, uint8_t blue, double& y, double& u, double& v) const;

 private:
  double curvedRed_[256], curvedGreen_[256], curvedBlue_[256];
  int conversion_;
  bool fixedChromaMatrix_;
  double cosine_, sine_;
  double gammaY_, weightY_, weightU_, weightV_;
};

}  // namespace genshoku
