#include "cli/cli_app.h"

#include <sys/stat.h>

#include "cli/phase_clock.h"
#include "cli/progress_line.h"
#include "shell/file_names.h"
#include "shell/input_decoding.h"
#include "shell/reduction_entry.h"
#include "shell/save_formats.h"

namespace genshoku::cli {

namespace {

bool Exists(const std::string& path) {
  struct stat info;
  return ::lstat(path.c_str(), &info) == 0;
}

// The lines a step prints: passed on at once with --verbose; otherwise kept, and only the
// standard-error lines of a failed step are shown, since they say why it failed.
class StepLines {
 public:
  StepLines(const Options& options, const CliStreams& streams)
      : verbose_(options.verbose), streams_(streams) {}

  Diagnostics& sink() { return verbose_ ? *streams_.diagnostics : captured_; }

  // Reports a failed step: its own error lines, or `fallback` when it printed none.
  void Fail(const std::string& fallback) {
    bool said = false;
    if (!verbose_) {
      for (const CapturedDiagnostics::Line& line : captured_.lines()) {
        if (line.stream != DiagnosticStream::Err) continue;
        streams_.errors->Err("%s", line.text.c_str());
        said = true;
      }
    }
    if (!said || verbose_) streams_.errors->Err("%s\n", fallback.c_str());
    captured_.Clear();
  }
  void Done() { captured_.Clear(); }

 private:
  bool verbose_;
  const CliStreams& streams_;
  CapturedDiagnostics captured_;
};

const char* WhyNotReducible(const DropOutcome& outcome) {
  switch (outcome.reader) {
    case InputReader::Gif: return "GIF pictures have 256 colours or fewer already and are not reduced";
    case InputReader::Png: return "only truecolour PNG pictures are reduced (this one is grey or has a palette)";
    case InputReader::Bmp: return "only 24-bit BMP pictures are reduced";
    case InputReader::Jpeg: break;
  }
  return "this picture cannot be reduced";
}

int ReduceOne(const Options& options, const CliStreams& streams, const std::string& input) {
  const std::string output = OutputPathFor(options, input);
  if (!options.force && Exists(output)) {
    streams.errors->Err("%s: exists already (use --force to replace it)\n", output.c_str());
    return kExitExists;
  }

  StepLines lines(options, streams);
  PhaseClock clock;
  clock.Start("decode");
  PictureState state;
  const DropOutcome outcome = LoadDroppedFile(state, input, lines.sink());
  if (!outcome.loaded) {
    lines.Fail(input + ": cannot be read");
    return kExitInput;
  }
  if (!outcome.reduceEnabled) {
    lines.Fail(input + ": " + WhyNotReducible(outcome));
    return kExitInput;
  }
  ReductionJob job;
  job.params = options.params;
  if (!PrepareReduction(state, input, job, lines.sink())) {
    lines.Fail(input + ": cannot be read");
    return kExitInput;
  }
  lines.Done();
  // The planes hold the picture now; the decoded copy is not needed while the engine runs.
  state.imageBlock = {};

  ProgressLine progress(input, streams.progressLine);
  progress.TimePhasesOn(&clock);
  EngineServices services;
  services.host = &progress;
  services.diagnostics = &lines.sink();
  ReductionOutput reduced = ExecuteReduction(job, services);
  job = {};
  progress.Clear();
  if (reduced.result != ReduceResult::Ok) {
    lines.Fail(input + ": " + ReduceResultText(reduced.result));
    return reduced.result == ReduceResult::InvalidArguments ? kExitInput : kExitReduction;
  }
  ApplyReduction(state, std::move(reduced));
  lines.Done();

  clock.Start("encode");
  const std::string title = SplitFilePath(output).baseName + SplitFilePath(output).extension;
  const bool saved = SaveResult(state, output, title, lines.sink());
  clock.Stop();
  if (!saved) {
    lines.Fail(output + ": cannot be written");
    return kExitOutput;
  }
  lines.Done();
  if (streams.phaseTimes) streams.errors->Err("%s: %s\n", input.c_str(), clock.Summary().c_str());
  return kExitOk;
}

}  // namespace

int RunCli(const Options& options, const CliStreams& streams) {
  int firstFailure = kExitOk;
  for (const std::string& input : options.inputs) {
    const int code = ReduceOne(options, streams, input);
    if (firstFailure == kExitOk) firstFailure = code;
  }
  return firstFailure;
}

}  // namespace genshoku::cli
