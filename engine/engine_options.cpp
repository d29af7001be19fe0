#include "engine/engine_options.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace genshoku {

namespace {

constexpr EngineOptionInfo Int(const char* name, int EngineOptions::*field, double minimum,
                               double maximum, const char* meaning) {
  return {name, true, field, nullptr, minimum, maximum, meaning};
}

constexpr EngineOptionInfo Real(const char* name, double EngineOptions::*field, double minimum,
                                double maximum, const char* meaning) {
  return {name, false, nullptr, field, minimum, maximum, meaning};
}

bool InRange(const EngineOptionInfo& info, double value) {
  return std::isfinite(value) && value >= info.minimum && value <= info.maximum;
}

double ValueOf(const EngineOptions& options, const EngineOptionInfo& info) {
  return info.isInteger ? options.*(info.intField) : options.*(info.doubleField);
}

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
  for (const EngineOptionInfo& info : kEngineOptionTable) {
    if (!InRange(info, ValueOf(options, info))) {
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
  const std::string text(value);
  char* end = nullptr;
  errno = 0;
  const double number = std::strtod(text.c_str(), &end);
  const bool parsed = !text.empty() && end == text.c_str() + text.size() && errno == 0;
  const bool whole = parsed && number == std::floor(number);
  if (!parsed || (info->isInteger && !whole) || !InRange(*info, number)) {
    if (message) {
      char range[96];
      std::snprintf(range, sizeof range, "%g to %g", info->minimum, info->maximum);
      *message = std::string(info->name) + " must be " +
                 (info->isInteger ? "a whole number " : "a number ") + "from " + range + ", not '" +
                 text + "'";
    }
    return false;
  }
  if (info->isInteger) {
    options.*(info->intField) = static_cast<int>(number);
  } else {
    options.*(info->doubleField) = number;
  }
  return true;
}

std::string FormatEngineOption(const EngineOptions& options, const EngineOptionInfo& info) {
  char text[64];
  if (info.isInteger) {
    std::snprintf(text, sizeof text, "%d", options.*(info.intField));
  } else {
    std::snprintf(text, sizeof text, "%g", options.*(info.doubleField));
  }
  return text;
}

}  // namespace genshoku
