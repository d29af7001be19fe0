#pragma once
// The final mapping: every pixel to a palette entry, with error diffusion.
//
// kernel: 0 Floyd-Steinberg, 1 Sierra Lite, 2 Stucki, 3 Jarvis-Judice-Ninke. strength: the
// fraction of each pixel's quantisation error passed on to its neighbours. Both variants
// write every byte of indexPlane; an unknown kernel, an empty picture or a palette count
// outside 1..256 leaves indexPlane as it is.

#include <cstdint>

#include "tests/engine/reference/engine_types.h"

namespace genshoku::reference {

// Error diffusion of the source bytes against the byte palette. Entries with the same
// colour all give the highest of their indices.
void DiffuseToIndicesRgb(int width, int height, int kernel, double strength, const uint8_t* srcR,
                         const uint8_t* srcG, const uint8_t* srcB, int count,
                         const uint8_t* paletteRed, const uint8_t* paletteGreen,
                         const uint8_t* paletteBlue, uint8_t* indexPlane);

// Error diffusion of the working colours against the weighted palette records. The
// channels are taken in the order of the arguments: planeV, planeY, planeU against each
// record's v, y, u. Records whose integer parts coincide all give the index of the first of
// them (the low byte of its `index`).
void DiffuseToIndicesWeighted(int width, int height, int kernel, double strength,
                              const double* planeV, const double* planeY, const double* planeU,
                              int count, const PaletteRecord* records, uint8_t* indexPlane);

}  // namespace genshoku::reference
