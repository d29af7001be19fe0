#include "cli/cli_app.h"

#include <sys/stat.h>

#include <chrono>
#include <cstdio>

#include "cli/progress_line.h"
#include "engine/phase_timer.h"
#include "pipeline/load_picture.h"
#include "pipeline/reduce_picture.h"
#include "pipeline/save_picture.h"

namespace genshoku::cli {

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// "decode 0.412 s, colour space 0.100 s, ..., encode 0.200 s, total 2.345 s"
std::string StepTimes(double decode, const PhaseTimer& engine, double encode) {
  std::string text;
  char piece[96];
  auto add = [&](const char* name, double seconds) {
    std::snprintf(piece, sizeof piece, "%s %.3f s, ", name, seconds);
    text += piece;
  };
  add("decode", decode);
  for (int phase = 0; phase < PhaseTimer::kPhases; ++phase) {
    add(EnginePhaseName(static_cast<EnginePhase>(phase)),
        engine.Seconds(static_cast<EnginePhase>(phase)));
  }
  add("encode", encode);
  std::snprintf(piece, sizeof piece, "total %.3f s", decode + engine.TotalSeconds() + encode);
  return text + piece;
}

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

// The format the output's name asks for; names without a known extension get BMP.
PictureFormat OutputFormat(const std::string& output) {
  const std::optional<PictureFormat> format = FormatFromExtension(output);
  return format && *format != PictureFormat::Jpeg ? *format : PictureFormat::Bmp;
}

int ReduceOne(const Options& options, const CliStreams& streams, const std::string& input) {
  const std::string output = OutputPathFor(options, input);
  if (!options.force && Exists(output)) {
    streams.errors->Err("%s: exists already (use --force to replace it)\n", output.c_str());
    return kExitExists;
  }

  StepLines lines(options, streams);
  const Clock::time_point decodeStart = Clock::now();
  ReductionJob job;
  {
    LoadedPicture loaded;
    if (LoadPictureFile(input, std::nullopt, &loaded, lines.sink()) != LoadStatus::Ok) {
      lines.Fail(input + ": cannot be read");
      return kExitInput;
    }
    try {
      // The planes hold the picture from here on; the decoded copy goes before the engine
      // runs.
      job.planes = PlanesFromPicture(loaded.picture);
    } catch (const std::bad_alloc&) {
      lines.Fail(input + ": not enough memory for the picture");
      return kExitInput;
    }
  }
  job.settings = options.settings;
  lines.Done();
  const double decodeSeconds = SecondsSince(decodeStart);

  ProgressLine progress(input, streams.progressLine);
  PhaseTimer timer(&progress);
  EngineServices services;
  services.host = &timer;
  services.threads = options.threads;
  services.diagnostics = &lines.sink();
  ReductionOutput reduced = ExecuteReduction(job, services);
  timer.Stop();
  job = {};
  progress.Clear();
  if (reduced.result != ReduceResult::Ok) {
    lines.Fail(input + ": " + ReduceResultText(reduced.result));
    return reduced.result == ReduceResult::InvalidArguments ? kExitInput : kExitReduction;
  }
  lines.Done();

  const Clock::time_point encodeStart = Clock::now();
  SaveSettings save;
  save.format = OutputFormat(output);
  const bool saved = SavePicture(reduced.picture, output, save, lines.sink());
  const double encodeSeconds = SecondsSince(encodeStart);
  if (!saved) {
    lines.Fail(output + ": cannot be written");
    return kExitOutput;
  }
  lines.Done();
  if (streams.phaseTimes)
    streams.errors->Err("%s: %s\n", input.c_str(),
                        StepTimes(decodeSeconds, timer, encodeSeconds).c_str());
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
