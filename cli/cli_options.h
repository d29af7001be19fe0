#pragma once
// The command line of genshoku-cli.

#include <string>
#include <vector>

#include "pipeline/presets.h"

namespace genshoku::cli {

// Exit codes, as --help documents them.
enum ExitCode {
  kExitOk = 0,
  kExitUsage = 1,      // the command line is not understood
  kExitInput = 2,      // an input file cannot be read, is damaged or cannot be reduced
  kExitReduction = 3,  // the engine failed
  kExitOutput = 4,     // an output file cannot be written (or would be the input itself)
  kExitExists = 5,     // an output file exists already (or appeared meanwhile), no --force
  // --skip-if-larger kept no output, and nothing failed. pngquant's code for the same case,
  // so that scripts written for it keep working.
  kExitSkipped = 98,
};

struct Options {
  std::vector<std::string> inputs;
  std::string output;              // -o: the one output file of a single input
  bool outputGiven = false;        // -o was given (even with an empty name, which is refused)
  std::string outDir;              // --out-dir: batch outputs go here instead of beside inputs
  std::string suffix = "vk";       // --suffix: appended to each base name in batch use
  std::string extension = ".bmp";  // --ext: the batch output format, by the save table
  int threads = 0;                 // --threads: engine threads, 0 = as many as help (up to 2)
  bool force = false;
  bool allowDamaged = false;  // --allow-damaged: reduce what a damaged input holds
  bool verbose = false;
  bool help = false;
  bool listSettings = false;
  Preset preset = Preset::Best;  // --preset: the settings the reduction starts from
  ReductionSettings settings;    // the preset's settings, changed by --set

  // Pipes, output size and GIF images.
  bool extensionGiven = false;  // --ext was given (else -o - writes PNG)
  bool skipIfLarger = false;    // --skip-if-larger: no output unless smaller than the input
  int frame = 0;                // --frame: the image of a GIF input, 0 for the first
  // The one input is "-", standard input.
  bool ReadsStandardInput() const;
  // -o -: the output goes to standard output.
  bool WritesStandardOutput() const;
};

// Parses argv[1..]. On failure returns false with a message for standard error.
bool ParseOptions(const std::vector<std::string>& arguments, Options* options,
                  std::string* message);

// Where the output of `input` goes: -o for a single input, else the input's base name
// followed by the suffix and the extension, in --out-dir or beside the input.
std::string OutputPathFor(const Options& options, const std::string& input);

// The format of `output` (a name OutputPathFor gave): by its extension, and for standard
// output by --ext, PNG when --ext is not given.
PictureFormat OutputFormatFor(const Options& options, const std::string& output);

const char* UsageText();

// The 25 engine settings with their defaults, ranges and meanings.
std::string SettingsText();

}  // namespace genshoku::cli
