#include "pipeline/presets.h"

namespace genshoku {

const ReductionSettings& WindowSettings() {
  // The defaults of the settings and options are the window's fixed values.
  static const ReductionSettings settings;
  return settings;
}

ReductionSettings PresetSettings(Preset preset) {
  switch (preset) {
    case Preset::Window: return WindowSettings();
    case Preset::Best: break;
  }
  ReductionSettings best = WindowSettings();
  best.options.exactFewColours = true;
  return best;
}

const char* PresetName(Preset preset) { return preset == Preset::Best ? "best" : "window"; }

std::optional<Preset> PresetFromName(std::string_view name) {
  if (name == "best") return Preset::Best;
  if (name == "window") return Preset::Window;
  return std::nullopt;
}

}  // namespace genshoku
