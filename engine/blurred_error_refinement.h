#pragma once
// Refinement of a mapped picture against its error as the eye sees it from a little
// distance: pixel by pixel, each pixel takes the palette entry that lowers
//   J = sum over pixels of |G * e|^2  +  sum over pixels p of plainWeight * v(p) * |e(p)|^2
// most, with e = source - mapped colour (RGB, byte steps), G a Gaussian blur of sigma 1
// pixel and v(p) = C / (C + 2 variance(p)), `variance` the local variance of the source's
// luminance over 7 x 7 pixels (engine/local_variance.h) and C = (0.03 * 255)^2. The first
// term is the error of the local mean colour, which a diffusion leaves where it is weak
// (bands on smooth gradients); the second is the error a structural comparison sees: noise
// added to a flat area shows, the same noise on busy texture hardly. This is a direct
// binary search in the manner of the halftoning literature, with the model of the eye a
// Gaussian and a penalty on visible noise.
//
// Moving pixel p from colour q to q' (d = q' - q) changes J by
//   a0 |d|^2 - 2 d . c(p) + plainWeight v(p) (|x - q'|^2 - |x - q|^2),
// with c = A * e, A = G correlated with itself and a0 = A(0, 0), so the best entry is the
// nearest one to (a0 q + c(p) + plainWeight v(p) x) / (a0 + plainWeight v(p)) and every
// move updates c over the 9 x 9 pixels around it.
//
// The picture is worked on in bands of rows, first the even bands and then the odd ones,
// each band row by row: a band's moves change c only within 4 rows of it, so two bands of
// the same parity never meet, and the result does not depend on the number of threads.

#include <cstdint>

#include "engine/engine_run.h"

namespace genshoku {

struct BlurredErrorSettings {
  int passes = 1;            // times over the whole picture; 0: no change
  double plainWeight = 1.0;  // weight of the visible plain error against the blurred one
  // Errors are measured in engine/chroma_weighted_rgb.h's view with this weight; 1: RGB.
  double chromaWeight = 1.0;
};

// Improves indexPlane (entries 0..count-1 of the palette, width x height) in place.
// `run` (may be null) is pumped once per row on the calling thread.
void RefineForBlurredError(int width, int height, const uint8_t* red, const uint8_t* green,
                           const uint8_t* blue, int count, const uint8_t* paletteRed,
                           const uint8_t* paletteGreen, const uint8_t* paletteBlue,
                           const BlurredErrorSettings& settings, uint8_t* indexPlane,
                           EngineRun* run, int threads);

}  // namespace genshoku
