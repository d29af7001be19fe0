#include "library/settings_by_name.h"

#include <cmath>
#include <cstdio>

#include "engine/engine_options.h"
#include "engine/reduction_params.h"

namespace genshoku::library {

namespace {

// The engine's options by name, each a whole number in a range (switches 0 or 1).
struct EngineOptionInfo {
  const char* name;
  int minimum;
  int maximum;
  int (*get)(const EngineOptions&);
  void (*set)(EngineOptions&, int);
};

constexpr EngineOptionInfo kEngineOptionTable[] = {
    {"paletteSize", kMinPaletteSize, kMaxPaletteSize,
     [](const EngineOptions& o) { return o.paletteSize; },
     [](EngineOptions& o, int value) { o.paletteSize = value; }},
    {"exactFewColours", 0, 1, [](const EngineOptions& o) { return o.exactFewColours ? 1 : 0; },
     [](EngineOptions& o, int value) { o.exactFewColours = value != 0; }},
};

const EngineOptionInfo* FindEngineOption(std::string_view name) {
  for (const EngineOptionInfo& info : kEngineOptionTable) {
    if (name == info.name) return &info;
  }
  return nullptr;
}

bool Acceptable(double value, bool isInteger, double minimum, double maximum) {
  return std::isfinite(value) && (!isInteger || value == std::floor(value)) && value >= minimum &&
         value <= maximum;
}

std::string RangeMessage(std::string_view name, bool isInteger, double minimum, double maximum,
                         double value) {
  char range[96];
  if (maximum >= 1e300) {
    std::snprintf(range, sizeof range, "at least %g", minimum);
  } else {
    std::snprintf(range, sizeof range, "from %g to %g", minimum, maximum);
  }
  char text[256];
  std::snprintf(text, sizeof text, "%.*s must be %s %s, not %g", static_cast<int>(name.size()),
                name.data(), isInteger ? "a whole number" : "a number", range, value);
  return text;
}

genshoku_error SetEngineOption(ReductionSettings& settings, const EngineOptionInfo& info,
                               double value, std::string* message) {
  if (!Acceptable(value, true, info.minimum, info.maximum)) {
    *message = RangeMessage(info.name, true, info.minimum, info.maximum, value);
    return GENSHOKU_ERROR_OUT_OF_RANGE;
  }
  EngineOptions options = settings.options;
  info.set(options, static_cast<int>(value));
  // A value in range may still be one the engine does not make yet; it says so itself.
  const char* refusal = nullptr;
  if (!ValidateEngineOptions(options, &refusal)) {
    *message = refusal ? refusal : "the engine refuses this value";
    return GENSHOKU_ERROR_UNSUPPORTED;
  }
  settings.options = options;
  return GENSHOKU_OK;
}

}  // namespace

genshoku_error SetSettingByName(ReductionSettings& settings, std::string_view name, double value,
                                std::string* message) {
  if (const ReductionParamInfo* info = FindReductionParam(name)) {
    if (!Acceptable(value, info->isInteger, info->minimum, info->maximum)) {
      *message = RangeMessage(name, info->isInteger, info->minimum, info->maximum, value);
      return GENSHOKU_ERROR_OUT_OF_RANGE;
    }
    if (info->isInteger) {
      settings.params.*(info->intField) = static_cast<int>(value);
    } else {
      settings.params.*(info->doubleField) = value;
    }
    return GENSHOKU_OK;
  }
  if (const EngineOptionInfo* info = FindEngineOption(name)) {
    return SetEngineOption(settings, *info, value, message);
  }
  *message = "unknown setting '" + std::string(name) + "'";
  return GENSHOKU_ERROR_UNKNOWN_NAME;
}

genshoku_error GetSettingByName(const ReductionSettings& settings, std::string_view name,
                                double* value) {
  if (const ReductionParamInfo* info = FindReductionParam(name)) {
    *value =
        info->isInteger ? settings.params.*(info->intField) : settings.params.*(info->doubleField);
    return GENSHOKU_OK;
  }
  if (const EngineOptionInfo* info = FindEngineOption(name)) {
    *value = info->get(settings.options);
    return GENSHOKU_OK;
  }
  return GENSHOKU_ERROR_UNKNOWN_NAME;
}

}  // namespace genshoku::library
