#include "cli/cli_app.h"

#include <sys/stat.h>

#include <chrono>
#include <cstdio>

#include "cli/output_names.h"
#include "cli/progress_line.h"
#include "codecs/gif/gif_writer.h"
#include "engine/phase_timer.h"
#include "pipeline/format_transparency.h"
#include "pipeline/load_picture.h"
#include "pipeline/probe_picture.h"
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

  void Fail(const std::string& name, const std::string& fallback) {
    const CapturedDiagnostics::Line* named = nullptr;
    for (const CapturedDiagnostics::Line& line : captured_.lines()) {
      if (line.stream == DiagnosticStream::Err && line.text.find(name) != std::string::npos) {
        named = &line;
        break;
      }
    }
    // With --verbose that line was shown already.
    if (named == nullptr) {
      streams_.errors->Err("%s\n", fallback.c_str());
    } else if (!verbose_) {
      streams_.errors->Err("%s", named->text.c_str());
    }
    captured_.Clear();
  }
  void Done() { captured_.Clear(); }

 private:
  bool verbose_;
  const CliStreams& streams_;
  CapturedDiagnostics captured_;
  TeeDiagnostics tee_;
};

// What stands in the way of writing `output` for `input`, found before the picture is
// decoded; kExitOk when nothing does.
int CheckOutput(const Options& options, const CliStreams& streams, const std::string& input,
                const std::string& output, PictureFormat format) {
  if (const std::optional<std::string> problem = OutputProblem(input, output)) {
    streams.errors->Err("%s: %s\n", output.c_str(), problem->c_str());
    return kExitOutput;
  }
  if (!options.force && Exists(output)) {
    streams.errors->Err("%s: exists already (use --force to replace it)\n", output.c_str());
    return kExitExists;
  }
  if (format == PictureFormat::Gif) {
    const std::optional<PictureSize> size = ProbePictureSize(input);
    if (size && (size->width > GifWriter::kMaxSide || size->height > GifWriter::kMaxSide)) {
      streams.errors->Err("%s: GIF files cannot hold pictures wider or higher than 65535 pixels\n",
                          output.c_str());
      return kExitOutput;
    }
  }
  return kExitOk;
}

// Reads the input into the job's planes; kExitOk or the failure's exit code.
int Load(const Options& options, const CliStreams& streams, const std::string& input,
         StepLines& lines, ReductionJob& job) {
  LoadedPicture loaded;
  ReadOptions read;
  read.refuseDamaged = !options.allowDamaged;
  if (LoadPictureFile(input, std::nullopt, &loaded, lines.sink(), read) != LoadStatus::Ok) {
    lines.Fail(input, input + ": cannot be read");
    return kExitInput;
  }
  if (!loaded.damage.empty()) {
    streams.errors->Err("%s: warning: %s; reducing what was decoded\n", input.c_str(),
                        loaded.damage.c_str());
  }
  try {
    // The planes hold the picture from here on; the decoded copy goes before the engine
    // runs.
    job.planes = PlanesFromPicture(loaded.picture);
  } catch (const std::bad_alloc&) {
    lines.Fail(input, input + ": not enough memory for the picture");
    return kExitInput;
  }
  return kExitOk;
}

int ReduceOne(const Options& options, const CliStreams& streams, const std::string& input) {
  const std::string output = OutputPathFor(options, input);
  std::string why;
  // The names were checked with the command line.
  const PictureFormat format = OutputFormatOf(output, &why).value_or(PictureFormat::Bmp);
  if (const int refused = CheckOutput(options, streams, input, output, format)) return refused;

  StepLines lines(options, streams);
  const Clock::time_point decodeStart = Clock::now();
  ReductionJob job;
  if (const int failed = Load(options, streams, input, lines, job)) return failed;
  job.settings = options.settings;
  FitTransparencyToFormat(job, format, output, *streams.errors);
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
    lines.Fail(input, input + ": " + ReduceResultText(reduced.result));
    return reduced.result == ReduceResult::InvalidArguments ? kExitInput : kExitReduction;
  }
  lines.Done();

  const Clock::time_point encodeStart = Clock::now();
  SaveSettings save;
  save.format = format;
  SetPresetFileWriting(options.preset, save);
  // Without --force a file that appeared meanwhile is kept, not replaced.
  save.existing = options.force ? ExistingTarget::Replace : ExistingTarget::Keep;
  bool appeared = false;
  const bool saved = SavePicture(reduced.picture, output, save, lines.sink(), &appeared);
  const double encodeSeconds = SecondsSince(encodeStart);
  if (appeared) {
    lines.Done();
    streams.errors->Err("%s: exists already (use --force to replace it)\n", output.c_str());
    return kExitExists;
  }
  if (!saved) {
    lines.Fail(output, output + ": cannot be written");
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
