#pragma once
// The diagnostic lines of one step of genshoku-cli (reading, reducing, writing a file).

#include <string>

#include "cli/cli_app.h"
#include "common/diagnostics.h"

namespace genshoku::cli {

// Sends every line to two sinks: the verbose output and the step's record.
class TeeDiagnostics final : public Diagnostics {
 public:
  TeeDiagnostics(Diagnostics& first, Diagnostics& second) : first_(first), second_(second) {}
  void Write(DiagnosticStream stream, std::string_view text) override {
    first_.Write(stream, text);
    second_.Write(stream, text);
  }

 private:
  Diagnostics& first_;
  Diagnostics& second_;
};

// The lines a step prints: passed on at once with --verbose, and kept in any case, so that
// a failed step is reported in one line that names its file: the step's own line about
// the file when it printed one (the system's fixed lines name no file), else `fallback`.
class StepLines {
 public:
  StepLines(const Options& options, const CliStreams& streams)
      : verbose_(options.verbose), streams_(streams), tee_(*streams.diagnostics, captured_) {}

  Diagnostics& sink() { return verbose_ ? static_cast<Diagnostics&>(tee_) : captured_; }

  void Fail(const std::string& name, const std::string& fallback);
  void Done() { captured_.Clear(); }

 private:
  bool verbose_;
  const CliStreams& streams_;
  CapturedDiagnostics captured_;
  TeeDiagnostics tee_;
};

}  // namespace genshoku::cli
