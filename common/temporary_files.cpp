#include "common/temporary_files.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace genshoku {

namespace {

// More files than this are never written at once by one process of this program.
constexpr int kEntryCount = 64;

enum EntryState : int { kFree = 0, kBeingFilled = 1, kLive = 2 };

struct Entry {
  std::atomic<int> state{kFree};
  // A child process made by fork inherits the table; its signals must not remove the
  // parent's files.
  pid_t owner = 0;
  int folder = -1;
  char name[TemporaryFiles::kMaxNameLength + 1] = {};
};
static_assert(std::atomic<int>::is_always_lock_free, "the handler reads the flags");

Entry entries[kEntryCount];
std::atomic<bool> handlersInstalled{false};

constexpr int kCleanedSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGXFSZ};

void OnEndingSignal(int signal) {
  const int savedErrno = errno;
  TemporaryFiles::RemoveAll();
  // The default action again, and the same signal once more: it is blocked while this
  // handler runs and ends the process as soon as the handler returns.
  struct sigaction standard = {};
  standard.sa_handler = SIG_DFL;
  sigemptyset(&standard.sa_mask);
  sigaction(signal, &standard, nullptr);
  errno = savedErrno;
  raise(signal);
}

}  // namespace

int TemporaryFiles::Remember(int folderDescriptor, const char* name) {
  InstallSignalHandlers();
  const size_t length = std::strlen(name);
  if (length > kMaxNameLength) return -1;
  for (int index = 0; index < kEntryCount; ++index) {
    Entry& entry = entries[index];
    int expected = kFree;
    if (!entry.state.compare_exchange_strong(expected, kBeingFilled)) continue;
    entry.owner = ::getpid();
    entry.folder = folderDescriptor;
    std::memcpy(entry.name, name, length + 1);
    entry.state.store(kLive, std::memory_order_release);
    return index;
  }
  return -1;
}

void TemporaryFiles::Forget(int entry) {
  if (entry < 0 || entry >= kEntryCount) return;
  entries[entry].state.store(kFree, std::memory_order_release);
}

void TemporaryFiles::RemoveAll() {
  const pid_t self = ::getpid();
  for (Entry& entry : entries) {
    if (entry.state.load(std::memory_order_acquire) != kLive || entry.owner != self) continue;
    ::unlinkat(entry.folder, entry.name, 0);
  }
}

void TemporaryFiles::InstallSignalHandlers() {
  bool expected = false;
  if (!handlersInstalled.compare_exchange_strong(expected, true)) return;
  struct sigaction ours = {};
  ours.sa_handler = OnEndingSignal;
  // No other of these signals interrupts the handler halfway.
  sigemptyset(&ours.sa_mask);
  for (int signal : kCleanedSignals) sigaddset(&ours.sa_mask, signal);
  ours.sa_flags = SA_RESTART;
  for (int signal : kCleanedSignals) {
    struct sigaction current = {};
    if (sigaction(signal, nullptr, &current) != 0) continue;
    const bool standard = (current.sa_flags & SA_SIGINFO) == 0 && current.sa_handler == SIG_DFL;
    if (standard) sigaction(signal, &ours, nullptr);
  }
}

}  // namespace genshoku
