#include "tests/common/child_process.h"

#include <grp.h>
#include <pwd.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace genshoku::testing {

ChildResult RunInChild(const std::function<std::string()>& body) {
  ChildResult result;
  int channel[2];
  if (::pipe(channel) != 0) return result;
  std::fflush(nullptr);
  const pid_t child = ::fork();
  if (child < 0) return result;
  if (child == 0) {
    ::close(channel[0]);
    const std::string problems = body();
    if (!problems.empty() && ::write(channel[1], problems.data(), problems.size()) < 0) {
      ::_exit(2);
    }
    ::_exit(problems.empty() ? 0 : 1);
  }
  ::close(channel[1]);
  char buffer[512];
  ssize_t got;
  while ((got = ::read(channel[0], buffer, sizeof buffer)) > 0) {
    result.report.append(buffer, size_t(got));
  }
  ::close(channel[0]);
  int status = 0;
  struct rusage usage = {};
  ::wait4(child, &status, 0, &usage);
  result.peakKilobytes = usage.ru_maxrss;
  if (WIFEXITED(status) && WEXITSTATUS(status) == kChildSkipped) {
    result.outcome = ChildOutcome::Skipped;
  } else if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
    result.outcome = ChildOutcome::Passed;
  } else {
    result.outcome = ChildOutcome::Failed;
    if (result.report.empty()) {
      result.report = "the child process ended with status " + std::to_string(status);
    }
  }
  return result;
}

bool BecomeUnprivileged() {
  if (::geteuid() != 0) return true;
  const passwd* nobody = ::getpwnam("nobody");
  const uid_t user = nobody != nullptr ? nobody->pw_uid : 65534;
  const gid_t group = nobody != nullptr ? nobody->pw_gid : 65534;
  if (::setgroups(0, nullptr) != 0 || ::setgid(group) != 0 || ::setuid(user) != 0) return false;
  return ::geteuid() != 0;
}

bool TakeOwnMountTable() {
  return ::unshare(CLONE_NEWNS) == 0 &&
         ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

namespace {

bool WriteSmallFile(const char* path, const std::string& text) {
  std::ofstream out(path);
  out << text;
  return static_cast<bool>(out.flush());
}

}  // namespace

bool MakeRootFolder(const std::string& folder) {
  if (::geteuid() != 0) {
    // An ordinary user may change its root in a user namespace where it is the superuser.
    const uid_t user = ::geteuid();
    const gid_t group = ::getegid();
    if (::unshare(CLONE_NEWUSER) != 0) return false;
    WriteSmallFile("/proc/self/setgroups", "deny");
    if (!WriteSmallFile("/proc/self/uid_map", "0 " + std::to_string(user) + " 1\n") ||
        !WriteSmallFile("/proc/self/gid_map", "0 " + std::to_string(group) + " 1\n")) {
      return false;
    }
  }
  return ::chroot(folder.c_str()) == 0 && ::chdir("/") == 0;
}

std::string MakeScratchFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "genshoku-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) return {};
  return pattern;
}

void RemoveFolder(const std::string& folder) {
  std::error_code ignored;
  std::filesystem::permissions(folder, std::filesystem::perms::owner_all, ignored);
  std::filesystem::remove_all(folder, ignored);
}

}  // namespace genshoku::testing
