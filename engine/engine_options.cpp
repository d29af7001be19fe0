#include "engine/engine_options.h"

#include <cmath>

namespace genshoku {

namespace {

constexpr auto Int = IntSetting<EngineOptions>;
constexpr auto Real = RealSetting<EngineOptions>;

}  // namespace

const std::array<EngineOptionInfo, kEngineOptionCount> kEngineOptionTable = {{
    Int("adaptiveDiffusion", &EngineOptions::adaptiveDiffusion, 0, 1,
        "1 diffuses the source bytes, more on smooth areas than on edges"),
    Real("diffusionContrastScale", &EngineOptions::diffusionContrastScale, 0, 255,
         "luminance step at which the adaptive diffusion halves (0: never)"),
    Int("diffusionFalloff", &EngineOptions::diffusionFalloff, 1, 2,
        "fall of the adaptive strength with the contrast: 1 linear, 2 quadratic"),
    Real("diffusionSpacingScale", &EngineOptions::diffusionSpacingScale, 0, 64,
         "contrast at which it halves as a multiple of the palette's step there (0: off)"),
    Real("diffusionFineStep", &EngineOptions::diffusionFineStep, 0, 255,
         "palette step at which it is halfway from its strength to full (0: off)"),
    Real("diffusionCoarseError", &EngineOptions::diffusionCoarseError, 0, 100,
         "colour error of the nearest entry at which it rises halfway to full (0: off)"),
    Real("diffusionCoarseContrast", &EngineOptions::diffusionCoarseContrast, 0, 255,
         "local contrast at which that rise halves (0: never)"),
    Real("diffusionFineError", &EngineOptions::diffusionFineError, 0, 100,
         "colour error of the nearest entry below which it fades, halved there (0: off)"),
    Int("serpentine", &EngineOptions::serpentine, 0, 1, "1 scans the rows in alternate directions"),
    Real("diffusionErrorLimit", &EngineOptions::diffusionErrorLimit, 0, 255,
         "largest error a pixel takes from its neighbours (0: no bound)"),
    Real("diffusionVisibleMix", &EngineOptions::diffusionVisibleMix, 0, 0.9,
         "share of the visible colour difference in its choice of entries (0: RGB)"),
    Real("diffusionLargeFrom", &EngineOptions::diffusionLargeFrom, 0, 1e12,
         "pixels from which a picture takes the two large-picture values (0: never)"),
    Real("diffusionLargeStrength", &EngineOptions::diffusionLargeStrength, 0, 1,
         "the adaptive diffusion's strength on large pictures"),
    Real("diffusionLargeVisibleMix", &EngineOptions::diffusionLargeVisibleMix, 0, 0.9,
         "its visible share of the choice of entries on large pictures"),
    Int("refineIterations", &EngineOptions::refineIterations, 0, 16,
        "Lloyd steps of the palette in RGB before the mapping"),
    Real("refineContrastScale", &EngineOptions::refineContrastScale, 0, 255,
         "local contrast at which a pixel weighs half in them (0: all alike)"),
    Real("chromaWeight", &EngineOptions::chromaWeight, 0.25, 8,
         "weight of colour against lightness differences in the mapping (1: RGB)"),
    Int("keepAlpha", &EngineOptions::keepAlpha, 0, 1,
        "1 keeps a picture's transparency in the palette (0: colours only)"),
}};

bool ValidateEngineOptions(const EngineOptions& options, const char** message) {
  if (options.paletteSize < kMinPaletteSize || options.paletteSize > kMaxPaletteSize) {
    if (message) *message = "paletteSize must be from 2 to 256";
    return false;
  }
  // Narrower bounds than the true ones would give wrong palettes.
  if (!(options.kmeansBoundsWidening >= 1.0 && options.kmeansBoundsWidening < HUGE_VAL)) {
    if (message) *message = "kmeansBoundsWidening must be a finite number of at least 1";
    return false;
  }
  if (options.diffusionVisibleMix > 0.0 && options.chromaWeight != 1.0) {
    if (message) *message = "diffusionVisibleMix needs chromaWeight 1";
    return false;
  }
  for (const EngineOptionInfo& info : kEngineOptionTable) {
    if (!info.Accepts(info.Get(options))) {
      if (message) *message = "an engine option is outside its range";
      return false;
    }
  }
  return true;
}

const EngineOptionInfo* FindEngineOption(std::string_view name) {
  for (const EngineOptionInfo& info : kEngineOptionTable) {
    if (name == info.name) return &info;
  }
  return nullptr;
}

bool SetEngineOption(EngineOptions& options, std::string_view name, std::string_view value,
                     std::string* message) {
  const EngineOptionInfo* info = FindEngineOption(name);
  if (info == nullptr) {
    if (message) *message = "unknown option '" + std::string(name) + "'";
    return false;
  }
  double number = 0;
  if (!info->Parse(value, &number, message)) return false;
  info->Put(options, number);
  return true;
}

}  // namespace genshoku
