#pragma once
// The last step of genshoku-cli: the reduced picture becomes its output file, or the bytes
// of standard output, or, with --skip-if-larger, nothing when it would not be smaller than
// its input.

#include <cstdint>
#include <string>

#include "cli/cli_app.h"
#include "cli/cli_options.h"
#include "cli/step_lines.h"
#include "common/pictures.h"

namespace genshoku::cli {

struct InputFacts {
  std::string name;    // as messages name it ("standard input" for -)
  uint64_t bytes = 0;  // the input file's size, or what standard input held
};

// Writes `picture` to `output` (a file name, or "-" for standard output); kExitOk, or the
// exit code of what went wrong after one line naming the file on standard error.
int WriteOutput(const Options& options, const CliStreams& streams, const InputFacts& input,
                const std::string& output, const IndexedPicture& picture, StepLines& lines);

}  // namespace genshoku::cli
