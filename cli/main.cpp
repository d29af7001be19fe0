// genshoku-cli: the reduction engine for batch use.

#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "common/diagnostics.h"
#include "shell/bmp_file.h"
#include "shell/reduction_entry.h"

namespace {

using namespace genshoku;
using namespace genshoku::cli;

// Errors always reach standard error, prefixed with the program's name.
class CliDiagnostics final : public Diagnostics {
 public:
  explicit CliDiagnostics(bool verbose) : verbose_(verbose) {}
  void Write(DiagnosticStream stream, std::string_view text) override {
    if (verbose_) StandardDiagnostics().Write(stream, text);
  }

 private:
  bool verbose_;
};

int Run(const Options& options) {
  CliDiagnostics engineLines(options.verbose);
  Diagnostics& errors = StandardDiagnostics();
  const std::string& input = options.inputs.front();

  PictureState state;
  if (LoadBmpFile(state, input, errors) != LoadResult::Loaded) return kExitInput;
  if (state.inputBitDepth != 24) {
    errors.Err("%s: only 24-bit pictures can be reduced\n", input.c_str());
    return kExitInput;
  }
  state.sourceKind = SourceKind::BmpFile;

  EngineServices services;
  services.diagnostics = &engineLines;
  const ReduceResult result = RunReduction(state, input, services);
  if (result != ReduceResult::Ok) {
    errors.Err("%s: %s\n", input.c_str(), ReduceResultText(result));
    return kExitReduction;
  }
  if (!WriteBmp8(state, options.output, errors)) return kExitOutput;
  return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  Options options;
  std::string message;
  if (!ParseOptions(arguments, &options, &message)) {
    std::fprintf(stderr, "genshoku-cli: %s\n", message.c_str());
    std::fprintf(stderr, "Try 'genshoku-cli --help'.\n");
    return kExitUsage;
  }
  if (options.help) {
    std::fputs(UsageText(), stdout);
    return kExitOk;
  }
  return Run(options);
}
