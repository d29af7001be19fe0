#pragma once
// Runs the real genshoku-cli as a child process: arguments, working folder, extra
// environment and an optional address-space limit in; exit status and both output streams
// out.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace genshoku::clitest {

struct ProcessResult {
  bool exited = false;  // false: ended by a signal (or never started)
  int exitCode = -1;    // when exited
  int signal = 0;       // when ended by a signal
  std::string out;      // standard output
  std::string err;      // standard error

  // "exit 3" or "signal 6", for messages.
  std::string Describe() const;
};

struct ProcessOptions {
  std::string workingFolder;                                     // empty: the test's own
  std::vector<std::pair<std::string, std::string>> environment;  // added or replaced
  uint64_t addressSpaceLimit = 0;                                // bytes; 0: none
  int timeoutSeconds = 300;                                      // then the child is killed
  std::string standardInput;  // a file to read as standard input; empty: /dev/null
};

// The genshoku-cli of this build.
const char* CliPath();

// Runs genshoku-cli with `arguments` (argv[1..]) and waits for it.
ProcessResult RunCli(const std::vector<std::string>& arguments, const ProcessOptions& options = {});

}  // namespace genshoku::clitest
