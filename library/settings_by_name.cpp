#include "library/settings_by_name.h"

#include <cstdio>

#include "engine/engine_options.h"
#include "engine/reduction_params.h"

namespace genshoku::library {

namespace {

// The options the engine's own table leaves out (the palette size and the exact path for
// pictures of few colours) by name, each a whole number in a range (switches 0 or 1).
struct WholeOptionInfo {
  const char* name;
  int minimum;
  int maximum;
  int (*get)(const EngineOptions&);
  void (*set)(EngineOptions&, int);
};

constexpr WholeOptionInfo kWholeOptionTable[] = {
    {"paletteSize", kMinPaletteSize, kMaxPaletteSize,
     [](const EngineOptions& o) { return o.paletteSize; },
     [](EngineOptions& o, int value) { o.paletteSize = value; }},
    {"exactFewColours", 0, 1, [](const EngineOptions& o) { return o.exactFewColours ? 1 : 0; },
     [](EngineOptions& o, int value) { o.exactFewColours = value != 0; }},
};

const WholeOptionInfo* FindWholeOption(std::string_view name) {
  for (const WholeOptionInfo& info : kWholeOptionTable) {
    if (name == info.name) return &info;
  }
  return nullptr;
}

// "NAME must be a whole number from A to B, not V": the value came as a number here.
std::string RangeMessage(std::string_view name, bool isInteger, double minimum, double maximum,
                         double value) {
  char text[64];
  std::snprintf(text, sizeof text, ", not %g", value);
  return std::string(name) + (isInteger ? " must be a whole number " : " must be a number ") +
         NumberRangeText(minimum, maximum) + text;
}

// Stores a number into the field of a settings table's entry, or says why it does not fit.
template <typename Record>
genshoku_error SetNamedNumber(Record& record, const NamedNumber<Record>& info, double value,
                              std::string* message) {
  if (!info.Accepts(value)) {
    *message = RangeMessage(info.name, info.isInteger, info.minimum, info.maximum, value);
    return GENSHOKU_ERROR_OUT_OF_RANGE;
  }
  info.Put(record, value);
  return GENSHOKU_OK;
}

genshoku_error SetWholeOption(ReductionSettings& settings, const WholeOptionInfo& info,
                              double value, std::string* message) {
  if (!NumberAccepted(value, true, info.minimum, info.maximum)) {
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
    return SetNamedNumber(settings.params, *info, value, message);
  }
  if (const WholeOptionInfo* info = FindWholeOption(name)) {
    return SetWholeOption(settings, *info, value, message);
  }
  if (const EngineOptionInfo* info = FindEngineOption(name)) {
    return SetNamedNumber(settings.options, *info, value, message);
  }
  *message = "unknown setting '" + std::string(name) + "'";
  return GENSHOKU_ERROR_UNKNOWN_NAME;
}

genshoku_error GetSettingByName(const ReductionSettings& settings, std::string_view name,
                                double* value) {
  if (const ReductionParamInfo* info = FindReductionParam(name)) {
    *value = info->Get(settings.params);
    return GENSHOKU_OK;
  }
  if (const WholeOptionInfo* info = FindWholeOption(name)) {
    *value = info->get(settings.options);
    return GENSHOKU_OK;
  }
  if (const EngineOptionInfo* info = FindEngineOption(name)) {
    *value = info->Get(settings.options);
    return GENSHOKU_OK;
  }
  return GENSHOKU_ERROR_UNKNOWN_NAME;
}

}  // namespace genshoku::library
