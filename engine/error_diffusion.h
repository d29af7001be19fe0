#pragma once
// The final mapping: every pixel to a palette entry, with error diffusion.

#include <cstdint>

#include "engine/engine_types.h"

namespace genshoku {

// Error diffusion of the source bytes against the byte palette.
void DiffuseToIndicesRgb(int width, int height, int kernel, double strength,
                         const uint8_t* srcR, const uint8_t* srcG, const uint8_t* srcB,
                         int count, const uint8_t* paletteRed, const uint8_t* paletteGreen,
                         const uint8_t* paletteBlue, uint8_t* indexPlane);

// Error diffusion of the working colours against the weighted palette records. The
// channels are taken in the order of the arguments: planeV, planeY, planeU.
void DiffuseToIndicesWeighted(int width, int height, int kernel, double strength,
                              const double* planeV, const double* planeY, const double* planeU,
                              int count, const PaletteRecord* records, uint8_t* indexPlane);

}  // namespace genshoku
