#pragma once
// Error diffusion of the source bytes against a byte palette whose strength follows the
// picture: full on smooth gradients, where the diffused error is what hides the palette's
// steps, and lower where a pixel differs much from its neighbours (edges, busy texture),
// where the error would only smear noise across the structure.
//
// The kernel is Floyd-Steinberg. Each pixel's strength is
//   strength / (1 + r)   or, with the quadratic falloff,   strength / (1 + r * r)
// with r = contrast / scale, `contrast` the largest luminance step from the pixel to any of
// its 8 neighbours (engine/local_contrast.h) and `scale` the contrast scale (0: no
// adaptation). The quadratic falloff keeps nearly full strength on the smoothest areas and
// drops faster on texture. A pixel's own quantisation error is passed on at its
// strength. Rows may be scanned in alternate directions (serpentine), which keeps the
// error from drifting to one side; the error a pixel takes from its neighbours may be
// bounded per channel, which keeps a run of far-off colours from piling up an error that
// then spills into a region of another colour; and the corrected colour is kept within the
// byte range, where the palette lies.
//
// The scan is sequential: the result does not depend on the engine's thread count.

#include <cstdint>

#include "engine/engine_run.h"

namespace genshoku {

struct AdaptiveDiffusionSettings {
  double strength = 1.0;       // fraction of the error diffused where the picture is smooth
  double contrastScale = 0.0;  // luminance step at which the strength halves; 0: none
  bool serpentine = false;
  double errorLimit = 0.0;  // largest carried error per channel; 0: unbounded
  bool quadraticFalloff = false;
  // Entries are chosen by distance in engine/chroma_weighted_rgb.h's view with this
  // weight; 1: plain RGB distance.
  double chromaWeight = 1.0;
  // When above 0, the contrast at which a pixel's strength halves is this times the RGB
  // distance from the entry it took to the nearest other entry, in place of
  // contrastScale: where the palette's steps are fine, less texture already hides them.
  double spacingScale = 0.0;
  // When above 0, the strength before the contrast's share is raised from `strength`
  // towards 1 by fineStep / (fineStep + spacing), spacing the RGB distance from the entry a
  // pixel took to the nearest other entry: where the entries lie close, full diffusion adds
  // little visible noise and keeps the local mean colour.
  double fineStep = 0.0;
  // How finely the palette covers a pixel's own colour, judged by the visible colour
  // difference v (about CIEDE2000 units, engine/visible_error.h) between it and its nearest
  // entry. When coarseError is above 0 the strength is raised towards 1 by
  //   v^2 / (v^2 + coarseError^2) / (1 + (contrast / coarseContrast)^2)
  // (no contrast factor when coarseContrast is 0): where an entry is visibly off on a
  // smooth area, the palette's steps show as bands once the eye averages the dither.
  // When fineError is above 0 the strength is then multiplied by v^2 / (v^2 + fineError^2):
  // where an entry matches the colour invisibly closely, diffusing only adds noise.
  double coarseError = 0.0;
  double coarseContrast = 0.0;
  double fineError = 0.0;
  // When above 0 (at most 0.9; chromaWeight must be 1), a pixel takes the entry e with the
  // least
  //   (1 - visibleMix) |d|^2 + visibleMix (2.5 v)^2
  // d the RGB difference from the corrected colour to e and v its visible colour difference
  // (engine/visible_error.h, judged at the entry nearest in RGB), the lowest entry on ties.
  // The visible share keeps the hue of greyish colours, where a small RGB step shows as a
  // tint, and lets the error ride on lightness; 2.5 byte steps are about one unit of visible
  // difference on mid tones.
  double visibleMix = 0.0;
  // One byte per pixel, may be null: a marked pixel is left out (index 0); it passes no
  // error on, and the error that reaches it is dropped.
  const uint8_t* excluded = nullptr;
};

// Maps every pixel of the three planes (width x height, row-major) to the nearest of the
// first `count` (1..256) palette entries of the corrected colour, and writes the entry
// numbers into indexPlane. Nearest means the smallest squared distance in the chroma-weighted
// view (plain RGB at weight 1), the lowest entry on ties. `run` (may be null) is pumped once per
// row.
void DiffuseAdaptive(int width, int height, const uint8_t* red, const uint8_t* green,
                     const uint8_t* blue, int count, const uint8_t* paletteRed,
                     const uint8_t* paletteGreen, const uint8_t* paletteBlue,
                     const AdaptiveDiffusionSettings& settings, uint8_t* indexPlane,
                     EngineRun* run);

// The strength of each pixel as DiffuseAdaptive uses it (for tests and tools): a plane of
// width x height values.
void AdaptiveStrengths(int width, int height, const uint8_t* red, const uint8_t* green,
                       const uint8_t* blue, const AdaptiveDiffusionSettings& settings,
                       double* strengths);

}  // namespace genshoku
