// genshoku-cli: the reduction engine for batch use.

#include <unistd.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/cli_app.h"
#include "cli/cli_options.h"
#include "cli/standard_streams.h"

int main(int argc, char** argv) {
  using namespace genshoku::cli;
#if defined(__GLIBC__)
  // Buffers of a megabyte or more come straight from the system and go back to it when
  // freed. Left to itself, the allocator raises that bound to the size of every such block
  // freed, so the next phases' planes and tables would be carved out of a heap that keeps
  // the peak of all phases before them.
  mallopt(M_MMAP_THRESHOLD, 1 << 20);
#endif
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  Options options;
  std::string message;
  if (!ParseOptions(arguments, &options, &message)) {
    std::fprintf(stderr, "genshoku-cli: %s\nTry 'genshoku-cli --help'.\n", message.c_str());
    return kExitUsage;
  }
  if (options.help) {
    std::fputs(UsageText(), stdout);
    return kExitOk;
  }
  if (options.listSettings) {
    std::fputs(SettingsText().c_str(), stdout);
    return kExitOk;
  }
  CliStreams streams;
  // A picture on standard output leaves standard error for every line.
  StandardErrorOnly errorOnly(genshoku::StandardDiagnostics());
  if (options.WritesStandardOutput()) streams.diagnostics = &errorOnly;
  streams.progressLine = !options.verbose && ::isatty(STDERR_FILENO);
  const char* phaseTimes = std::getenv("GENSHOKU_PHASE_TIMES");
  streams.phaseTimes = phaseTimes != nullptr && std::string(phaseTimes) == "1";
  return RunCli(options, streams);
}
