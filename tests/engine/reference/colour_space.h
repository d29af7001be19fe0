#pragma once
// The weighted working space in which the engine measures every colour distance.

#include <cstdint>

#include "engine/reduction_params.h"

namespace genshoku::reference {

// Runs the optional preparations of the source bytes (pre-smoothing, floor; in place),
// then fills planeY, planeU, planeV (width x height doubles each) with the working colour
// of every pixel: channel gamma, tone curve and conversion by colourMode, chrominance
// step, luminance gamma, weights. Pre-smoothing rewrites only samples with a full 3 x 3
// neighbourhood; the border rows and columns keep their bytes.
void ConvertToWorkingSpace(int width, int height, uint8_t* srcR, uint8_t* srcG, uint8_t* srcB,
                           const ReductionParams& params, double* planeY, double* planeU,
                           double* planeV);

}  // namespace genshoku::reference
