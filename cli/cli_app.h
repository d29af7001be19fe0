#pragma once
// What genshoku-cli does with its parsed command line.

#include "cli/cli_options.h"
#include "common/diagnostics.h"

namespace genshoku::cli {

struct CliStreams {
  Diagnostics* errors = &StandardDiagnostics();       // failures, one line each
  Diagnostics* diagnostics = &StandardDiagnostics();  // the system's lines, with --verbose
  bool progressLine = false;                          // standard error is a terminal
  bool phaseTimes = false;                            // print the time of every step
};

// Reduces every input in turn and returns the exit code of the first failure (0 if none).
int RunCli(const Options& options, const CliStreams& streams);

}  // namespace genshoku::cli
