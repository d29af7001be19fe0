#pragma once
// The temporary files a process has open right now, kept where a signal handler can reach
// them: when the process is ended by SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE or SIGXFSZ
// while a file is being written, the handler removes every live temporary file and then
// lets the signal end the process as it would have.
//
// Each entry is a folder descriptor and a short name inside it, stored in a fixed table
// of plain bytes and atomic flags: the handler neither allocates nor takes a lock, and
// only calls unlinkat, sigaction and raise, which are safe in a signal handler.

#include <cstddef>

namespace genshoku {

class TemporaryFiles {
 public:
  // The longest name an entry holds (without the terminating zero).
  static constexpr size_t kMaxNameLength = 31;

  // Records `name` (inside the folder open as `folderDescriptor`) as a live temporary
  // file and installs the signal handlers the first time. Returns the entry to pass to
  // Forget, or -1 when the table is full or the name too long (the file is then simply
  // not removed on a signal).
  static int Remember(int folderDescriptor, const char* name);

  // The file was renamed or removed: a signal no longer touches it.
  static void Forget(int entry);

  // Removes every live temporary file. What the handler does before the signal goes on;
  // tests call it directly.
  static void RemoveAll();

  // Installs the handlers for the signals above, each only where the signal still has its
  // default action (a program's own handler or an ignored signal is left as it is).
  // Remember calls it; calling it again does nothing.
  static void InstallSignalHandlers();
};

}  // namespace genshoku
