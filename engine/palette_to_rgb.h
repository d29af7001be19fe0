#pragma once
// The palette back from the working space to 8-bit red, green and blue.

#include <cstdint>

#include "engine/engine_types.h"
#include "engine/reduction_params.h"

namespace genshoku {

// For entries 0..entryCount-1: first saves the working palette as records (entry i with
// index i) for the weighted final mapping, then undoes, entry by entry, what the colour-space
// conversion did (weights, chrominance step, luminance gamma, conversion, channel gamma), rounds
// and clamps into the three byte arrays. The working palette is used as scratch.
void PaletteToRgb(WorkingPalette& palette, int entryCount, const ReductionParams& params,
                  PaletteRecord* records, uint8_t* paletteRed, uint8_t* paletteGreen,
                  uint8_t* paletteBlue);

}  // namespace genshoku
