#pragma once
// The final mapping: every pixel to a palette entry, with error diffusion.
//
// kernel: 0 Floyd-Steinberg, 1 Sierra Lite, 2 Stucki, 3 Jarvis-Judice-Ninke. strength: the
// fraction of each pixel's quantisation error passed on to its neighbours. Both variants
// write every byte of indexPlane; an unknown kernel, an empty picture or a palette count
// outside 1..256 leaves indexPlane as it is.
//
// With two threads the rows are shared out alternately; a row's thread stays far enough
// behind the row above that every error cell receives its shares in the order of a plain
// raster scan, so the result does not depend on the number of threads.

#include <cstdint>
#include <vector>

#include "engine/colour_table.h"
#include "engine/engine_run.h"
#include "engine/engine_types.h"

namespace genshoku {

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

// The same two mappings for the engine: the pixels' colours come from the colour table and
// its per-pixel colour numbers (working colours, or the source bytes for the RGB variant),
// the palette has `count` entries, and up to two threads work. Pixels marked in `excluded`
// (one byte per pixel, may be null) are left out: they pass no error on and take none,
// and their index is 0.
void DiffuseColoursRgb(int width, int height, int kernel, double strength,
                       const ColourTable& colours, const uint8_t* srcR, const uint8_t* srcG,
                       const uint8_t* srcB, int count, const uint8_t* paletteRed,
                       const uint8_t* paletteGreen, const uint8_t* paletteBlue,
                       const uint8_t* excluded, uint8_t* indexPlane, EngineRun& run, int threads);
void DiffuseColoursWeighted(int width, int height, int kernel, double strength,
                            const ColourTable& colours, int count, const PaletteRecord* records,
                            const uint8_t* excluded, uint8_t* indexPlane, EngineRun& run,
                            int threads);

}  // namespace genshoku
