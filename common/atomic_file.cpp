#include "common/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

namespace genshoku {

namespace {

constexpr size_t kBufferSize = 1 << 16;

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The mode a newly created file would get, or the existing target's mode.
mode_t ModeFor(const std::string& target) {
  struct stat existing;
  if (::stat(target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
    return existing.st_mode & 07777;
  }
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

}  // namespace

AtomicFile::~AtomicFile() { Discard(); }

void AtomicFile::Fail(const std::string& what, int errnoValue) {
  if (!error_.empty()) return;
  error_ = what;
  if (errnoValue != 0) {
    error_ += ": ";
    error_ += std::strerror(errnoValue);
  }
}

bool AtomicFile::Open(const std::string& target) {
  Discard();
  error_.clear();
  target_ = target;
  if (target.empty()) {
    Fail("no file name", 0);
    return false;
  }
  // A link is followed, so that the file it points at is replaced and the link kept.
  char resolved[PATH_MAX];
  struct stat linkInfo;
  if (::lstat(target.c_str(), &linkInfo) == 0 && S_ISLNK(linkInfo.st_mode) &&
      ::realpath(target.c_str(), resolved) != nullptr) {
    target_ = resolved;
  }
  struct stat existing;
  if (::stat(target_.c_str(), &existing) == 0) {
    if (S_ISDIR(existing.st_mode)) {
      Fail("cannot write " + target, EISDIR);
      return false;
    }
    // Devices, pipes and sockets cannot be replaced by renaming a file over them.
    if (!S_ISREG(existing.st_mode)) {
      Fail("cannot write " + target + ": not a regular file", 0);
      return false;
    }
  }
  std::string pattern = FolderOf(target_) + "/." + NameOf(target_) + ".tmp-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  descriptor_ = ::mkstemp(name.data());
  if (descriptor_ < 0) {
    Fail("cannot create a file in " + FolderOf(target_), errno);
    return false;
  }
  temporary_ = name.data();
  ::fchmod(descriptor_, ModeFor(target_));
  buffer_.reserve(kBufferSize);
  return true;
}

bool AtomicFile::Flush() {
  size_t done = 0;
  while (done < buffer_.size()) {
    const ssize_t written = ::write(descriptor_, buffer_.data() + done, buffer_.size() - done);
    if (written < 0) {
      if (errno == EINTR) continue;
      Fail("cannot write " + target_, errno);
      buffer_.clear();
      return false;
    }
    done += static_cast<size_t>(written);
  }
  buffer_.clear();
  return true;
}

bool AtomicFile::Write(const void* data, size_t size) {
  if (descriptor_ < 0 || !error_.empty()) return false;
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  while (size > 0) {
    const size_t room = kBufferSize - buffer_.size();
    const size_t take = size < room ? size : room;
    buffer_.insert(buffer_.end(), bytes, bytes + take);
    bytes += take;
    size -= take;
    if (buffer_.size() == kBufferSize && !Flush()) return false;
  }
  return true;
}

bool AtomicFile::Commit() {
  if (descriptor_ < 0) {
    if (error_.empty()) Fail("nothing to commit", 0);
    return false;
  }
  bool good = error_.empty() && Flush();
  if (good && ::fsync(descriptor_) != 0 && errno != EINVAL && errno != EROFS) {
    Fail("cannot write " + target_, errno);
    good = false;
  }
  if (::close(descriptor_) != 0 && good) {
    Fail("cannot write " + target_, errno);
    good = false;
  }
  descriptor_ = -1;
  if (good && ::rename(temporary_.c_str(), target_.c_str()) != 0) {
    Fail("cannot replace " + target_, errno);
    good = false;
  }
  if (!good) {
    ::unlink(temporary_.c_str());
  }
  temporary_.clear();
  return good;
}

void AtomicFile::Discard() {
  if (descriptor_ >= 0) {
    ::close(descriptor_);
    descriptor_ = -1;
  }
  if (!temporary_.empty()) {
    ::unlink(temporary_.c_str());
    temporary_.clear();
  }
  buffer_.clear();
}

}  // namespace genshoku
