#include "support_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

namespace genshoku::clitest {

namespace {

std::string ReadAndRemove(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  std::remove(path.c_str());
  return text;
}

std::string TemporaryFile(const char* kind) {
  std::string path = std::string("/tmp/genshoku-cli-") + kind + "-XXXXXX";
  const int fd = ::mkstemp(path.data());
  if (fd >= 0) ::close(fd);
  return path;
}

// In the child, between fork and exec: only async-signal-safe calls, then exec or _exit.
[[noreturn]] void BecomeCli(char* const* argv, const ProcessOptions& options, int outFd,
                            int errFd) {
  ::dup2(outFd, STDOUT_FILENO);
  ::dup2(errFd, STDERR_FILENO);
  const char* input = options.standardInput.empty() ? "/dev/null" : options.standardInput.c_str();
  const int inFd = ::open(input, O_RDONLY);
  if (inFd < 0) ::_exit(126);
  ::dup2(inFd, STDIN_FILENO);
  if (!options.workingFolder.empty() && ::chdir(options.workingFolder.c_str()) != 0) ::_exit(126);
  if (options.addressSpaceLimit != 0) {
    const rlimit limit{options.addressSpaceLimit, options.addressSpaceLimit};
    if (::setrlimit(RLIMIT_AS, &limit) != 0) ::_exit(126);
  }
  ::execv(CliPath(), argv);
  ::_exit(127);
}

}  // namespace

std::string ProcessResult::Describe() const {
  std::ostringstream text;
  if (exited) {
    text << "exit " << exitCode;
  } else {
    text << "signal " << signal;
  }
  text << "\nstdout: " << out << "\nstderr: " << err;
  return text.str();
}

const char* CliPath() { return GENSHOKU_CLI_PATH; }

ProcessResult RunCli(const std::vector<std::string>& arguments, const ProcessOptions& options) {
  std::vector<std::string> argvStrings = {CliPath()};
  argvStrings.insert(argvStrings.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& argument : argvStrings) argv.push_back(argument.data());
  argv.push_back(nullptr);

  const std::string outPath = TemporaryFile("out");
  const std::string errPath = TemporaryFile("err");
  const int outFd = ::open(outPath.c_str(), O_WRONLY | O_TRUNC);
  const int errFd = ::open(errPath.c_str(), O_WRONLY | O_TRUNC);
  ProcessResult result;
  // The environment is set up before the fork (setenv is not safe in the child) and put
  // back afterwards.
  std::vector<std::pair<std::string, std::string>> previous;
  std::vector<std::string> unsetAfterwards;
  for (const auto& [name, value] : options.environment) {
    if (const char* old = std::getenv(name.c_str())) {
      previous.emplace_back(name, old);
    } else {
      unsetAfterwards.push_back(name);
    }
    ::setenv(name.c_str(), value.c_str(), 1);
  }
  std::fflush(nullptr);
  const pid_t child = ::fork();
  if (child == 0) BecomeCli(argv.data(), options, outFd, errFd);
  for (const auto& [name, value] : previous) ::setenv(name.c_str(), value.c_str(), 1);
  for (const std::string& name : unsetAfterwards) ::unsetenv(name.c_str());
  ::close(outFd);
  ::close(errFd);
  if (child < 0) return result;

  int status = 0;
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(options.timeoutSeconds);
  while (::waitpid(child, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(child, SIGKILL);
      ::waitpid(child, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  result.exited = WIFEXITED(status);
  result.exitCode = result.exited ? WEXITSTATUS(status) : -1;
  result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  result.out = ReadAndRemove(outPath);
  result.err = ReadAndRemove(errPath);
  return result;
}

}  // namespace genshoku::clitest
