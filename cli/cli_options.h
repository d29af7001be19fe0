#pragma once
// The command line of genshoku-cli.

#include <string>
#include <vector>

namespace genshoku::cli {

// Exit codes, as --help documents them.
enum ExitCode {
  kExitOk = 0,
  kExitUsage = 1,         // the command line is not understood
  kExitInput = 2,         // an input file cannot be read or is not a picture we reduce
  kExitReduction = 3,     // the engine failed
  kExitOutput = 4,        // an output file cannot be written
};

struct Options {
  std::vector<std::string> inputs;
  std::string output;  // -o
  bool verbose = false;
  bool help = false;
};

// Parses argv[1..]. On failure returns false with a message for standard error.
bool ParseOptions(const std::vector<std::string>& arguments, Options* options,
                  std::string* message);

const char* UsageText();

}  // namespace genshoku::cli
