#include "cli/cli_options.h"

namespace genshoku::cli {

const char* UsageText() {
  return "usage: genshoku-cli [options] INPUT -o OUTPUT\n"
         "\n"
         "Reduces a picture to exactly 256 colours and writes it as an 8-bit BMP file.\n"
         "\n"
         "options:\n"
         "  -o, --output FILE   where to write the reduced picture\n"
         "  -v, --verbose       print the engine's diagnostic lines\n"
         "  -h, --help          show this text\n"
         "\n"
         "exit codes:\n"
         "  0  success\n"
         "  1  the command line is not understood\n"
         "  2  an input file cannot be read or cannot be reduced\n"
         "  3  the reduction failed\n"
         "  4  an output file cannot be written\n";
}

bool ParseOptions(const std::vector<std::string>& arguments, Options* options,
                  std::string* message) {
  Options parsed;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == "-h" || argument == "--help") {
      parsed.help = true;
    } else if (argument == "-v" || argument == "--verbose") {
      parsed.verbose = true;
    } else if (argument == "-o" || argument == "--output") {
      if (i + 1 >= arguments.size()) {
        *message = argument + " needs a file name";
        return false;
      }
      parsed.output = arguments[++i];
    } else if (argument.size() > 1 && argument[0] == '-' && argument != "--") {
      *message = "unknown option '" + argument + "'";
      return false;
    } else if (argument == "--") {
      for (++i; i < arguments.size(); ++i) parsed.inputs.push_back(arguments[i]);
    } else {
      parsed.inputs.push_back(argument);
    }
  }
  if (!parsed.help) {
    if (parsed.inputs.empty()) {
      *message = "no input file";
      return false;
    }
    if (parsed.inputs.size() > 1) {
      *message = "one input file at a time";
      return false;
    }
    if (parsed.output.empty()) {
      *message = "no output file (-o OUTPUT)";
      return false;
    }
  }
  *options = parsed;
  return true;
}

}  // namespace genshoku::cli
