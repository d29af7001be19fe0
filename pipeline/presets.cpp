#include "pipeline/presets.h"

namespace genshoku {

const ReductionSettings& WindowSettings() {
  // The defaults of the settings and options are the window's fixed values.
  static const ReductionSettings settings;
  return settings;
}

ReductionSettings BestSettings() {
  ReductionSettings best = WindowSettings();
  ReductionParams& params = best.params;
  // Equal weights and gammas below 1 make the working space a rotation of RGB with a little
  // more room for dark colours, where errors show most; no pixel is left out of the palette
  // as an edge pixel.
  params.weightY = 4.0;
  params.weightU = 4.0;
  params.weightV = 4.0;
  params.gammaR = 0.9;
  params.gammaG = 0.9;
  params.gammaB = 0.9;
  params.gammaY = 0.9;
  params.edgeThreshold = 100000;
  // The next cluster to split is the one with the largest count times variance along its
  // main axis.
  params.spreadMode = 2;
  params.diffusionStrength = 0.55;

  EngineOptions& options = best.options;
  options.exactFewColours = true;
  // The palette is refined in RGB, smooth areas weighing most, and mapped with a serpentine
  // diffusion that eases off where the picture is busy.
  options.refineIterations = 3;
  options.refineContrastScale = 4.0;
  options.adaptiveDiffusion = 1;
  options.diffusionContrastScale = 8.0;
  options.serpentine = 1;
  // Pictures of full-HD size and up are mostly seen fitted to a screen: there the diffusion
  // is stronger and its choice of entries weighs how visible a colour difference is, which
  // keeps the colour of smooth areas right on average.
  options.diffusionLargeFrom = 2000000;
  options.diffusionLargeStrength = 0.8;
  options.diffusionLargeVisibleMix = 0.3;
  // Transparent, partly transparent and opaque pixels keep their class.
  options.keepAlpha = 1;
  return best;
}

ReductionSettings PresetSettings(Preset preset) {
  switch (preset) {
    case Preset::Window: return WindowSettings();
    case Preset::Best: break;
  }
  return BestSettings();
}

void SetPresetFileReading(Preset preset, ReadOptions& read) {
  read.everyFormatWithAlpha = preset == Preset::Best;
}

void SetPresetFileWriting(Preset preset, SaveSettings& save) {
  const bool best = preset == Preset::Best;
  save.compactPng = best;
  save.stillGif = best;
  save.smallestBmp = best;
}

const char* PresetName(Preset preset) { return preset == Preset::Best ? "best" : "window"; }

std::optional<Preset> PresetFromName(std::string_view name) {
  if (name == "best") return Preset::Best;
  if (name == "window") return Preset::Window;
  return std::nullopt;
}

}  // namespace genshoku
