#pragma once
// The named sets of settings a reduction can start from. "window" is the window program's
// reduction, byte for byte; "best" is the command line's default, chosen for the best
// picture. Single settings may be changed on top of either.

#include <optional>
#include <string_view>

#include "formats/read_options.h"
#include "pipeline/reduce_picture.h"
#include "pipeline/save_picture.h"

namespace genshoku {

enum class Preset { Best, Window };

// The settings of a preset.
ReductionSettings PresetSettings(Preset preset);

// The best preset's settings and options (the values bench/quality chose).
ReductionSettings BestSettings();

// How a preset reads its inputs: "best" every format with its transparency (every PNG
// colour type and bit depth, GIF transparency, BMP alpha masks), "window" as the window
// reads them, so that it gives the window's files byte for byte.
void SetPresetFileReading(Preset preset, ReadOptions& read);

// How a preset writes its files: "best" the smallest files the writers make (the compact
// PNG stream, GIF files without the looping extension), "window" the window's streams.
void SetPresetFileWriting(Preset preset, SaveSettings& save);

// The window's reduction: the engine's defaults and the window's options.
const ReductionSettings& WindowSettings();

// "best", "window".
const char* PresetName(Preset preset);
std::optional<Preset> PresetFromName(std::string_view name);

}  // namespace genshoku
