#include "cli/cli_app.h"

#include <sys/stat.h>

#include <chrono>
#include <cstdio>

#include "cli/output_names.h"
#include "cli/output_step.h"
#include "cli/progress_line.h"
#include "cli/standard_streams.h"
#include "cli/step_lines.h"
#include "codecs/gif/gif_writer.h"
#include "engine/phase_timer.h"
#include "pipeline/load_picture.h"
#include "pipeline/presets.h"
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

// What stands in the way of writing to standard output: a terminal, or the input file
// itself behind it.
int CheckStandardOutput(const CliStreams& streams, const std::string& input, bool fromFile) {
  if (StandardOutputIsTerminal()) {
    streams.errors->Err("standard output: is a terminal; redirect it to a file or a program\n");
    return kExitOutput;
  }
  if (fromFile && StandardOutputIsFile(input)) {
    streams.errors->Err("standard output: is the input file itself; choose another output\n");
    return kExitOutput;
  }
  return kExitOk;
}

// What stands in the way of writing `output` for `input`, found before the picture is
// decoded; kExitOk when nothing does.
int CheckOutput(const Options& options, const CliStreams& streams, const std::string& input,
                const std::string& output, PictureFormat format) {
  const bool fromFile = input != kStandardStreamName;
  if (output == kStandardStreamName) {
    if (const int refused = CheckStandardOutput(streams, input, fromFile)) return refused;
  } else {
    if (const std::optional<std::string> problem =
            OutputProblem(fromFile ? input : std::string(), output)) {
      streams.errors->Err("%s: %s\n", output.c_str(), problem->c_str());
      return kExitOutput;
    }
    if (!options.force && Exists(output)) {
      streams.errors->Err("%s: exists already (use --force to replace it)\n", output.c_str());
      return kExitExists;
    }
  }
  if (format == PictureFormat::Gif && fromFile) {
    const std::optional<PictureSize> size = ProbePictureSize(input);
    if (size && (size->width > GifWriter::kMaxSide || size->height > GifWriter::kMaxSide)) {
      streams.errors->Err("%s: GIF files cannot hold pictures wider or higher than 65535 pixels\n",
                          output.c_str());
      return kExitOutput;
    }
  }
  return kExitOk;
}

uint64_t FileBytes(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 ? static_cast<uint64_t>(info.st_size) : 0;
}

// Standard input's picture; kExitOk or the failure's exit code.
int LoadStandardInput(const CliStreams& streams, const ReadOptions& read, StepLines& lines,
                      LoadedPicture* loaded, InputFacts* facts) {
  std::vector<uint8_t> bytes;
  std::string why;
  switch (ReadStandardInput(kMaxStandardInputBytes, &bytes, &why)) {
    case StandardInputStatus::Ok: break;
    case StandardInputStatus::Terminal:
      streams.errors->Err("%s: is a terminal; pipe a picture into it\n", kStandardInputName);
      return kExitInput;
    case StandardInputStatus::TooLarge:
      streams.errors->Err("%s: holds more than %zu MiB; refused (save it to a file first)\n",
                          kStandardInputName, kMaxStandardInputBytes >> 20);
      return kExitInput;
    case StandardInputStatus::Failed:
      streams.errors->Err("%s: cannot be read: %s\n", kStandardInputName, why.c_str());
      return kExitInput;
  }
  facts->bytes = bytes.size();
  if (LoadPictureBytes(bytes.data(), bytes.size(), facts->name, std::nullopt, loaded, lines.sink(),
                       read) != LoadStatus::Ok) {
    lines.Fail(facts->name, facts->name + ": cannot be read");
    return kExitInput;
  }
  return kExitOk;
}

// Reads the input into the job's planes; kExitOk or the failure's exit code.
int Load(const Options& options, const CliStreams& streams, const std::string& input,
         StepLines& lines, ReductionJob& job, InputFacts* facts) {
  LoadedPicture loaded;
  ReadOptions read;
  read.refuseDamaged = !options.allowDamaged;
  read.gifImage = options.frame;
  SetPresetFileReading(options.preset, read);
  if (input == kStandardStreamName) {
    facts->name = kStandardInputName;
    if (const int failed = LoadStandardInput(streams, read, lines, &loaded, facts)) return failed;
  } else {
    facts->name = input;
    facts->bytes = FileBytes(input);
    if (LoadPictureFile(input, std::nullopt, &loaded, lines.sink(), read) != LoadStatus::Ok) {
      lines.Fail(input, input + ": cannot be read");
      return kExitInput;
    }
  }
  if (!loaded.damage.empty()) {
    streams.errors->Err("%s: warning: %s; reducing what was decoded\n", facts->name.c_str(),
                        loaded.damage.c_str());
  }
  try {
    // The planes hold the picture from here on; the decoded copy goes before the engine
    // runs.
    job.planes = PlanesFromPicture(loaded.picture);
  } catch (const std::bad_alloc&) {
    lines.Fail(facts->name, facts->name + ": not enough memory for the picture");
    return kExitInput;
  }
  return kExitOk;
}

int ReduceOne(const Options& options, const CliStreams& streams, const std::string& input) {
  const std::string output = OutputPathFor(options, input);
  const PictureFormat format = OutputFormatFor(options, output);
  if (const int refused = CheckOutput(options, streams, input, output, format)) return refused;

  StepLines lines(options, streams);
  const Clock::time_point decodeStart = Clock::now();
  ReductionJob job;
  InputFacts facts;
  if (const int failed = Load(options, streams, input, lines, job, &facts)) return failed;
  job.settings = options.settings;
  lines.Done();
  const double decodeSeconds = SecondsSince(decodeStart);

  ProgressLine progress(facts.name, streams.progressLine);
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
    lines.Fail(facts.name, facts.name + ": " + ReduceResultText(reduced.result));
    return reduced.result == ReduceResult::InvalidArguments ? kExitInput : kExitReduction;
  }
  lines.Done();

  const Clock::time_point encodeStart = Clock::now();
  const int written = WriteOutput(options, streams, facts, output, reduced.picture, lines);
  const double encodeSeconds = SecondsSince(encodeStart);
  if (written == kExitOk && streams.phaseTimes)
    streams.errors->Err("%s: %s\n", facts.name.c_str(),
                        StepTimes(decodeSeconds, timer, encodeSeconds).c_str());
  return written;
}

}  // namespace

int RunCli(const Options& options, const CliStreams& streams) {
  // The first failure decides; an output skipped by --skip-if-larger is no failure, and
  // tells only when nothing failed.
  int firstFailure = kExitOk;
  bool skipped = false;
  for (const std::string& input : options.inputs) {
    const int code = ReduceOne(options, streams, input);
    skipped |= code == kExitSkipped;
    if (firstFailure == kExitOk && code != kExitSkipped) firstFailure = code;
  }
  return firstFailure != kExitOk ? firstFailure : skipped ? kExitSkipped : kExitOk;
}

}  // namespace genshoku::cli
