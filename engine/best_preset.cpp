#include "engine/best_preset.h"

namespace genshoku {

PresetSettings BestPresetSettings() {
  PresetSettings preset;
  ReductionParams& params = preset.params;
  // Equal weights and gammas of 1 make the working space a plain rotation of RGB, the space
  // in which the picture is judged; no pixel is left out of the palette as an edge.
  params.weightY = 4.0;
  params.weightU = 4.0;
  params.weightV = 4.0;
  params.gammaR = 1.0;
  params.gammaG = 1.0;
  params.gammaB = 1.0;
  params.gammaY = 1.0;
  params.edgeThreshold = 100000;
  params.diffusionStrength = 1.0;

  EngineOptions& options = preset.options;
  options.adaptiveDiffusion = 1;
  options.diffusionContrastScale = 16.0;
  options.serpentine = 1;
  options.diffusionErrorLimit = 0.0;
  return preset;
}

}  // namespace genshoku
