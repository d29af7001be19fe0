#include "cli/output_step.h"

#include <optional>
#include <vector>

#include "cli/standard_streams.h"
#include "pipeline/save_picture.h"

namespace genshoku::cli {

namespace {

constexpr const char* kStandardOutputName = "standard output";

SaveSettings SaveSettingsFor(const Options& options, const std::string& output) {
  SaveSettings save;
  save.format = OutputFormatFor(options, output);
  SetPresetFileWriting(options.preset, save);
  save.threads = options.threads;
  // Without --force a file that appeared meanwhile is kept, not replaced.
  save.existing = options.force ? ExistingTarget::Replace : ExistingTarget::Keep;
  return save;
}

int ExistsAlready(const CliStreams& streams, const std::string& output, StepLines& lines) {
  lines.Done();
  streams.errors->Err("%s: exists already (use --force to replace it)\n", output.c_str());
  return kExitExists;
}

// The picture written straight to its file.
int SaveToFile(const CliStreams& streams, const std::string& output, const IndexedPicture& picture,
               const SaveSettings& save, StepLines& lines) {
  bool appeared = false;
  const bool saved = SavePicture(picture, output, save, lines.sink(), &appeared);
  if (appeared) return ExistsAlready(streams, output, lines);
  if (!saved) {
    lines.Fail(output, output + ": cannot be written");
    return kExitOutput;
  }
  lines.Done();
  return kExitOk;
}

// The file's bytes, made first, written where they go.
int PlaceBytes(const CliStreams& streams, const std::string& output,
               const std::vector<uint8_t>& bytes, const SaveSettings& save, StepLines& lines) {
  if (output == kStandardStreamName) {
    std::string why;
    if (!WriteStandardOutput(bytes, &why)) {
      lines.Done();
      streams.errors->Err("%s: cannot write: %s\n", kStandardOutputName, why.c_str());
      return kExitOutput;
    }
    lines.Done();
    return kExitOk;
  }
  bool appeared = false;
  if (!SaveEncodedPicture(bytes, output, save.existing, lines.sink(), &appeared)) {
    if (appeared) return ExistsAlready(streams, output, lines);
    lines.Fail(output, output + ": cannot be written");
    return kExitOutput;
  }
  lines.Done();
  return kExitOk;
}

}  // namespace

int WriteOutput(const Options& options, const CliStreams& streams, const InputFacts& input,
                const std::string& output, const IndexedPicture& picture, StepLines& lines) {
  const SaveSettings save = SaveSettingsFor(options, output);
  const bool toStandardOutput = output == kStandardStreamName;
  if (!toStandardOutput && !options.skipIfLarger) {
    return SaveToFile(streams, output, picture, save, lines);
  }
  const std::string name = toStandardOutput ? kStandardOutputName : output;
  const std::optional<std::vector<uint8_t>> bytes =
      EncodePicture(picture, save, name, lines.sink());
  if (!bytes) {
    lines.Fail(name, name + ": cannot be written");
    return kExitOutput;
  }
  if (options.skipIfLarger && bytes->size() >= input.bytes) {
    lines.Done();
    streams.errors->Err(
        "%s: skipped: the output would take %zu bytes, the input %llu (--skip-if-larger)\n",
        input.name.c_str(), bytes->size(), static_cast<unsigned long long>(input.bytes));
    return kExitSkipped;
  }
  return PlaceBytes(streams, output, *bytes, save, lines);
}

}  // namespace genshoku::cli
