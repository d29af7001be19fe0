#pragma once
// A full disk without privileges: the process's file-size limit is lowered for the
// object's lifetime, with SIGXFSZ ignored so that writes past it fail with EFBIG instead
// of ending the process.

#include <signal.h>
#include <sys/resource.h>

namespace genshoku::testing {

class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &saved_);
    savedSignal_ = ::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    applied_ = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &saved_);
    ::signal(SIGXFSZ, savedSignal_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;
  bool applied() const { return applied_; }

 private:
  rlimit saved_{};
  sighandler_t savedSignal_ = SIG_DFL;
  bool applied_ = false;
};

}  // namespace genshoku::testing
