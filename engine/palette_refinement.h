#pragma once
// Refinement of a byte palette in RGB: Lloyd iterations (each entry moves to the weighted
// mean of the colours nearest to it) in the space the picture is judged in. A pixel's
// weight tells how visible its error is: scale / (scale + contrast), with `contrast` its
// local contrast (engine/local_contrast.h), so smooth areas, where a wrong colour shows,
// pull the entries harder than edges and busy texture; a scale of 0 weighs every pixel
// alike. Entries that no colour is nearest to stay where they are.
//
// The sums run in the order of the colours: the result does not depend on the engine's
// thread count.

#include <cstdint>
#include <vector>

#include "engine/colour_table.h"
#include "engine/engine_run.h"

namespace genshoku {

// The picture's distinct colours with the summed weight of their pixels.
struct WeightedColours {
  std::vector<uint32_t> rgb;  // 0xRRGGBB
  std::vector<float> weight;  // sum over the colour's pixels
};

// The colours of the colour table with their pixels' weights (contrast scale as above).
// Pixels marked in `excluded` (one byte per pixel, may be null) weigh nothing.
WeightedColours CollectWeightedColours(int width, int height, const uint8_t* red,
                                       const uint8_t* green, const uint8_t* blue,
                                       const ColourTable& colours, double contrastScale,
                                       EngineRun* run, const uint8_t* excluded = nullptr);

// `iterations` Lloyd steps of the first `count` (1..256) entries, in place, rounded to
// bytes at the end. A colour's nearest entry is measured in engine/chroma_weighted_rgb.h's
// view with `chromaWeight` (1: plain RGB). `run` (may be null) is pumped once per step.
// `threads` (1 or 2) share the search for nearest entries.
void RefinePaletteRgb(const WeightedColours& colours, int iterations, int count,
                      uint8_t* paletteRed, uint8_t* paletteGreen, uint8_t* paletteBlue,
                      EngineRun* run, double chromaWeight = 1.0, int threads = 1);

}  // namespace genshoku
