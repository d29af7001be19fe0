#include "cli/cli_options.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "cli/output_names.h"
#include "cli/standard_streams.h"
#include "common/file_paths.h"

namespace genshoku::cli {

const char* UsageText() {
  return "usage: genshoku-cli [options] INPUT -o OUTPUT\n"
         "       genshoku-cli [options] INPUT... [--out-dir DIR] [--ext .png]\n"
         "       genshoku-cli [options] - -o - < INPUT > OUTPUT\n"
         "\n"
         "Reduces pictures to 256 colours. Inputs are JPEG, PNG (every colour type and\n"
         "bit depth), GIF or BMP files, recognised by their first bytes; with the best\n"
         "preset their transparency is read too. The output format follows the output name's\n"
         "extension, in any letter case: .bmp a palette BMP file, .png a palette PNG, .gif\n"
         "a GIF; other names are refused. A file is only ever replaced by a complete new\n"
         "one, and never the input itself.\n"
         "\n"
         "Transparency is kept: a PNG keeps every level of alpha, a GIF one transparent\n"
         "colour for pixels less than half opaque; a BMP cannot hold it (a warning says\n"
         "so). The window preset drops it, as the window program does.\n"
         "\n"
         "options:\n"
         "  -o, --output FILE     the output file (one input only)\n"
         "  -d, --out-dir DIR     write each output into DIR instead of beside its input\n"
         "      --suffix TEXT     appended to each input's base name (default: vk)\n"
         "      --ext EXT         output extension when several inputs are given or -o is\n"
         "                        not (default: .bmp)\n"
         "  -f, --force           replace output files that exist (default: refuse)\n"
         "      --allow-damaged   reduce what can be decoded of a damaged input (cut short,\n"
         "                        corrupt data), with a warning (default: refuse it)\n"
         "      --frame K         reduce image K of a GIF input (default 0: the first)\n"
         "      --skip-if-larger  keep no output that would not be smaller than its input\n"
         "                        (exit code 98, as pngquant's)\n"
         "  -j, --threads N       threads of the engine and the PNG writer (default 0: as\n"
         "                        many as help); the result is the same whatever the\n"
         "                        number\n"
         "      --preset NAME     the settings to start from: best (default), or window\n"
         "                        for exactly the window program's reduction\n"
         "      --set NAME=VALUE  change an engine setting on top of the preset (see\n"
         "                        --list-settings)\n"
         "  -c, --colors N        entries of the palette, 2 to 256 (default 256); the file\n"
         "                        holds just these\n"
         "      --list-settings   show the engine settings with defaults and ranges\n"
         "  -v, --verbose         print the engine's and writers' diagnostic lines\n"
         "  -h, --help            show this text\n"
         "\n"
         "Pipes: an INPUT of - reads the picture from standard input (one input only, up\n"
         "to 1 GiB, with -o); -o - writes the file to standard output, as PNG unless --ext\n"
         "names another format, and every other line (--verbose too) goes to standard error.\n"
         "\n"
         "Outputs hold the picture alone: no metadata of the input (text, dates, EXIF, colour\n"
         "profile) is copied, so there is nothing to --strip.\n"
         "\n"
         "Quiet by default: nothing is printed on success; each failure is reported on\n"
         "standard error, and the remaining inputs are still processed.\n"
         "\n"
         "exit codes (the first failure decides):\n"
         "  0  success\n"
         "  1  the command line is not understood (an output name without .bmp, .png or\n"
         "     .gif, a suffix or extension with a '/', - among several inputs)\n"
         "  2  an input file cannot be read, is damaged (without --allow-damaged) or\n"
         "     cannot be reduced\n"
         "  3  the reduction failed\n"
         "  4  an output file cannot be written: its folder does not exist, it would be\n"
         "     the input itself, a GIF picture is wider or higher than 65535, the disk\n"
         "     is full, ...\n"
         "  5  an output file exists already, or appeared while it was written (use\n"
         "     --force to replace it)\n"
         " 98  --skip-if-larger kept no output, as it would not have been smaller than\n"
         "     its input; nothing failed (a failure's code comes first)\n";
}

std::string SettingsText() {
  std::string text =
      "engine settings (--set NAME=VALUE changes one on top of the preset):\n"
      "  name                     best    window  meaning\n";
  const ReductionParams best = PresetSettings(Preset::Best).params;
  const ReductionParams window = PresetSettings(Preset::Window).params;
  for (const ReductionParamInfo& info : kReductionParamTable) {
    char line[512];
    std::snprintf(line, sizeof line, "  %-24s %-7s %-7s %s\n", info.name, info.Format(best).c_str(),
                  info.Format(window).c_str(), info.meaning);
    text += line;
  }
  const EngineOptions bestOptions = PresetSettings(Preset::Best).options;
  const EngineOptions windowOptions = PresetSettings(Preset::Window).options;
  for (const EngineOptionInfo& info : kEngineOptionTable) {
    char line[512];
    std::snprintf(line, sizeof line, "  %-24s %-7s %-7s %s\n", info.name,
                  info.Format(bestOptions).c_str(), info.Format(windowOptions).c_str(),
                  info.meaning);
    text += line;
  }
  return text;
}

namespace {

// The highest --frame: far more images than any GIF file of the program's size holds.
constexpr long kMaxFrame = 1'000'000;

// The value of an option given as "--name VALUE" or "--name=VALUE".
bool TakeValue(const std::vector<std::string>& arguments, size_t& i, const std::string& name,
               std::string* value, std::string* message) {
  const std::string& argument = arguments[i];
  if (argument.size() > name.size() && argument.compare(0, name.size() + 1, name + "=") == 0) {
    *value = argument.substr(name.size() + 1);
    return true;
  }
  if (i + 1 >= arguments.size()) {
    *message = name + " needs a value";
    return false;
  }
  *value = arguments[++i];
  return true;
}

// The palette size of --colors: a whole number from 2 to 256.
bool ParseColors(const std::string& value, int* colors, std::string* message) {
  char* end = nullptr;
  const long number = std::strtol(value.c_str(), &end, 10);
  if (value.empty() || *end != '\0' || number < kMinPaletteSize || number > kMaxPaletteSize) {
    *message = "--colors takes a whole number from 2 to 256, not '" + value + "'";
    return false;
  }
  *colors = static_cast<int>(number);
  return true;
}

bool ParseFrame(const std::string& value, Options* options, std::string* message) {
  char* end = nullptr;
  const long frame = std::strtol(value.c_str(), &end, 10);
  if (value.empty() || *end != '\0' || frame < 0 || frame > kMaxFrame) {
    *message = "--frame takes a whole number from 0 to " + std::to_string(kMaxFrame) + ", not '" +
               value + "'";
    return false;
  }
  options->frame = static_cast<int>(frame);
  return true;
}

// Standard input is one picture with no name to make output names of: the one input, and
// -o names the output.
bool CheckStandardInput(const Options& options, std::string* message) {
  const bool anyStandardInput = std::find(options.inputs.begin(), options.inputs.end(),
                                          kStandardStreamName) != options.inputs.end();
  if (!anyStandardInput) return true;
  if (options.inputs.size() > 1) {
    *message = "standard input (-) can only be the one input: batch use takes files";
    return false;
  }
  if (!options.outputGiven) {
    *message = "standard input (-) has no name to make an output name of: give -o FILE or -o -";
    return false;
  }
  return true;
}

bool Is(const std::string& argument, const char* shortName, const char* longName) {
  const std::string name(longName);
  return argument == shortName || argument == name ||
         argument.compare(0, name.size() + 1, name + "=") == 0;
}

// "-j N": 0 (one per processor) to 64.
bool ParseThreads(const std::string& value, Options* parsed, std::string* message) {
  char* end = nullptr;
  const long threads = std::strtol(value.c_str(), &end, 10);
  if (value.empty() || *end != '\0' || threads < 0 || threads > 64) {
    *message = "--threads takes a whole number from 0 to 64, not '" + value + "'";
    return false;
  }
  parsed->threads = static_cast<int>(threads);
  return true;
}

// "--ext png" or "--ext .png": one of the output formats' extensions.
bool ParseExtension(const std::string& value, Options* parsed, std::string* message) {
  parsed->extension = value.empty() || value[0] != '.' ? "." + value : value;
  std::string why;
  if (!IsNamePart(parsed->extension) || !OutputFormatOf("x" + parsed->extension, &why)) {
    *message = "--ext takes .bmp, .png or .gif, not '" + parsed->extension + "'";
    return false;
  }
  parsed->extensionGiven = true;
  return true;
}

// The --set changes, NAME=VALUE each, on top of the preset's settings in the order given.
bool ApplySettingChanges(const std::vector<std::string>& changes, ReductionSettings* settings,
                         std::string* message) {
  for (const std::string& change : changes) {
    const size_t equals = change.find('=');
    if (equals == std::string::npos) {
      *message = "--set takes NAME=VALUE, not '" + change + "'";
      return false;
    }
    const std::string name = change.substr(0, equals);
    const std::string value = change.substr(equals + 1);
    if (FindEngineOption(name) != nullptr) {
      if (!SetEngineOption(settings->options, name, value, message)) return false;
    } else if (!SetReductionParam(settings->params, name, value, message)) {
      return false;
    }
  }
  return true;
}

// What a run that reduces needs: inputs, and outputs that fit them.
bool CheckInputsAndOutputs(const Options& parsed, std::string* message) {
  if (parsed.inputs.empty()) {
    *message = "no input file";
    return false;
  }
  if (parsed.outputGiven && parsed.inputs.size() > 1) {
    *message = "-o names one output file; for several inputs use --out-dir";
    return false;
  }
  if (parsed.outputGiven && !parsed.outDir.empty()) {
    *message = "-o and --out-dir cannot be used together";
    return false;
  }
  if (parsed.outputGiven && !parsed.WritesStandardOutput() &&
      !OutputFormatOf(parsed.output, message))
    return false;
  return CheckStandardInput(parsed, message);
}

// The short options that take a value also take it joined to them, as "-j2" or "-oout.png"
// (the usual form of command-line tools); such an argument becomes the two it stands for.
std::vector<std::string> SeparateJoinedValues(const std::vector<std::string>& arguments) {
  std::vector<std::string> separate;
  bool onlyInputs = false;
  for (const std::string& argument : arguments) {
    if (argument == "--") onlyInputs = true;
    const bool joined = !onlyInputs && argument.size() > 2 && argument[0] == '-' &&
                        std::string_view("ojdc").find(argument[1]) != std::string_view::npos;
    if (joined) {
      separate.push_back(argument.substr(0, 2));
      separate.push_back(argument.substr(2));
    } else {
      separate.push_back(argument);
    }
  }
  return separate;
}

}  // namespace

bool ParseOptions(const std::vector<std::string>& givenArguments, Options* options,
                  std::string* message) {
  const std::vector<std::string> arguments = SeparateJoinedValues(givenArguments);
  Options parsed;
  bool onlyInputs = false;
  // The changed settings apply on top of the preset, wherever --preset comes.
  std::vector<std::string> settingChanges;
  int colors = kMaxPaletteSize;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    std::string value;
    if (onlyInputs || argument.empty() || argument[0] != '-' || argument == "-") {
      parsed.inputs.push_back(argument);
    } else if (argument == "--") {
      onlyInputs = true;
    } else if (argument == "-h" || argument == "--help") {
      parsed.help = true;
    } else if (argument == "-v" || argument == "--verbose") {
      parsed.verbose = true;
    } else if (argument == "-f" || argument == "--force") {
      parsed.force = true;
    } else if (argument == "--allow-damaged") {
      parsed.allowDamaged = true;
    } else if (argument == "--list-settings") {
      parsed.listSettings = true;
    } else if (Is(argument, "-o", "--output")) {
      if (!TakeValue(arguments, i, argument == "-o" ? "-o" : "--output", &parsed.output, message))
        return false;
      parsed.outputGiven = true;
    } else if (Is(argument, "-d", "--out-dir")) {
      if (!TakeValue(arguments, i, argument == "-d" ? "-d" : "--out-dir", &parsed.outDir, message))
        return false;
    } else if (Is(argument, "-j", "--threads")) {
      if (!TakeValue(arguments, i, argument == "-j" ? "-j" : "--threads", &value, message) ||
          !ParseThreads(value, &parsed, message))
        return false;
    } else if (Is(argument, "", "--suffix")) {
      if (!TakeValue(arguments, i, "--suffix", &parsed.suffix, message)) return false;
      if (!IsNamePart(parsed.suffix)) {
        *message = "--suffix is part of a file name and cannot hold a '/'";
        return false;
      }
    } else if (Is(argument, "", "--ext")) {
      if (!TakeValue(arguments, i, "--ext", &value, message) ||
          !ParseExtension(value, &parsed, message))
        return false;
    } else if (Is(argument, "", "--preset")) {
      if (!TakeValue(arguments, i, "--preset", &value, message)) return false;
      const std::optional<Preset> preset = PresetFromName(value);
      if (!preset) {
        *message = "--preset takes best or window, not '" + value + "'";
        return false;
      }
      parsed.preset = *preset;
    } else if (Is(argument, "-c", "--colors")) {
      if (!TakeValue(arguments, i, argument == "-c" ? "-c" : "--colors", &value, message))
        return false;
      if (!ParseColors(value, &colors, message)) return false;
    } else if (Is(argument, "", "--set")) {
      if (!TakeValue(arguments, i, "--set", &value, message)) return false;
      settingChanges.push_back(value);
    } else if (argument == "--skip-if-larger") {
      parsed.skipIfLarger = true;
    } else if (Is(argument, "", "--frame")) {
      if (!TakeValue(arguments, i, "--frame", &value, message) ||
          !ParseFrame(value, &parsed, message))
        return false;
    } else {
      *message = "unknown option '" + argument + "'";
      return false;
    }
  }
  parsed.settings = PresetSettings(parsed.preset);
  parsed.settings.options.paletteSize = colors;
  if (!ApplySettingChanges(settingChanges, &parsed.settings, message)) return false;
  const char* refusal = nullptr;
  if (!ValidateEngineOptions(parsed.settings.options, &refusal)) {
    *message = refusal;
    return false;
  }
  if (!parsed.help && !parsed.listSettings && !CheckInputsAndOutputs(parsed, message)) return false;
  *options = parsed;
  return true;
}

bool Options::ReadsStandardInput() const {
  return inputs.size() == 1 && inputs[0] == kStandardStreamName;
}

bool Options::WritesStandardOutput() const { return outputGiven && output == kStandardStreamName; }

PictureFormat OutputFormatFor(const Options& options, const std::string& output) {
  std::string why;
  if (output == kStandardStreamName) {
    return options.extensionGiven
               ? OutputFormatOf("x" + options.extension, &why).value_or(PictureFormat::Png)
               : PictureFormat::Png;
  }
  // The names were checked with the command line.
  return OutputFormatOf(output, &why).value_or(PictureFormat::Bmp);
}

std::string OutputPathFor(const Options& options, const std::string& input) {
  if (options.outputGiven) return options.output;
  const SplitPath split = SplitFilePath(input);
  std::string folder = split.folder;
  if (!options.outDir.empty()) {
    folder = options.outDir;
    if (folder.back() != '/') folder += '/';
  }
  return folder + split.baseName + options.suffix + options.extension;
}

}  // namespace genshoku::cli
