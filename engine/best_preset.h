#pragma once
// The command line's default reduction: the engine's settings and options that give the
// best pictures by PSNR, SSIM and blurred CIEDE2000 (bench/quality), as one record.

#include "engine/engine_options.h"
#include "engine/reduction_params.h"

namespace genshoku {

struct PresetSettings {
  ReductionParams params;
  EngineOptions options;
};

// The best preset: equal weights and no gamma in the working space, every pixel taking part
// in the palette, and the adaptive serpentine diffusion in RGB.
PresetSettings BestPresetSettings();

}  // namespace genshoku
