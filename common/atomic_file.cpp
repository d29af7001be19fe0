#include "common/atomic_file.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "common/temporary_files.h"

namespace genshoku {

namespace {

constexpr size_t kBufferSize = 1 << 16;
constexpr char kTemporaryPrefix[] = ".gsk-";
constexpr int kTemporaryLetters = 6;

// Six letters or digits, as unpredictable as the system makes them.
std::string RandomLetters() {
  static constexpr char kLetters[] =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  uint8_t bytes[kTemporaryLetters];
  if (::getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bytes)) {
    // Without the system's randomness: different in every process and every call.
    static std::atomic<uint64_t> counter{0};
    uint64_t mixed = static_cast<uint64_t>(::getpid()) * 0x9E3779B97F4A7C15u ^
                     static_cast<uint64_t>(std::time(nullptr)) ^ (counter++ << 32);
    for (uint8_t& byte : bytes) {
      mixed = mixed * 6364136223846793005u + 1442695040888963407u;
      byte = static_cast<uint8_t>(mixed >> 56);
    }
  }
  std::string letters;
  for (uint8_t byte : bytes) letters += kLetters[byte % (sizeof kLetters - 1)];
  return letters;
}

// A replaced file keeps its permission bits (never set-user or set-group bits, which
// belonged to the old file's owner) and, where the process may give them, its owner and
// group. A new file keeps the mode its creation with 0666 and the umask gave it.
void KeepOwnerAndMode(int descriptor, const struct stat& replaced) {
  struct stat created;
  if (::fstat(descriptor, &created) == 0 &&
      (created.st_uid != replaced.st_uid || created.st_gid != replaced.st_gid)) {
    if (::fchown(descriptor, replaced.st_uid, replaced.st_gid) != 0) {
      // Another owner cannot be given; the new file is the writer's own.
    }
  }
  ::fchmod(descriptor, replaced.st_mode & 0777);
}

// The errors of a file system that cannot do what was asked in this way, but may in another.
bool AnotherWayMayWork(int error) {
  return error == EINVAL || error == ENOSYS || error == ENOTSUP || error == EOPNOTSUPP;
}

}  // namespace

AtomicFile::~AtomicFile() { Discard(); }

void AtomicFile::Fail(const std::string& why, int errnoValue) {
  if (!error_.empty()) return;
  error_ = "cannot write " + target_;
  if (!why.empty()) error_ += ": " + why;
  if (errnoValue != 0) {
    error_ += ": ";
    error_ += std::strerror(errnoValue);
  }
}

void AtomicFile::FailExists() {
  Fail("a file of that name exists already");
  targetExists_ = true;
}

bool AtomicFile::Open(const std::string& target, ExistingTarget existing) {
  Discard();
  error_.clear();
  targetExists_ = false;
  target_ = target;
  existing_ = existing;
  if (target.empty()) {
    error_ = "cannot write a file without a name";
    return false;
  }
  std::string resolved = target;
  struct stat named;
  if (::lstat(target.c_str(), &named) == 0) {
    if (existing == ExistingTarget::Keep) {
      FailExists();
      return false;
    }
    // A link is followed, so that the file it points at is replaced and the link kept.
    if (S_ISLNK(named.st_mode)) {
      char real[PATH_MAX];
      if (::realpath(target.c_str(), real) == nullptr) {
        Fail("it is a link to a file that does not exist");
        return false;
      }
      resolved = real;
    }
  }
  struct stat replaced;
  const bool replacing = ::stat(resolved.c_str(), &replaced) == 0;
  if (replacing && S_ISDIR(replaced.st_mode)) {
    Fail("", EISDIR);
    return false;
  }
  // Devices, pipes and sockets cannot be replaced by renaming a file over them.
  if (replacing && !S_ISREG(replaced.st_mode)) {
    Fail("not a regular file");
    return false;
  }
  const size_t slash = resolved.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "."
                             : slash == 0               ? "/"
                                                        : resolved.substr(0, slash);
  name_ = slash == std::string::npos ? resolved : resolved.substr(slash + 1);
  if (name_.empty()) {
    Fail("the name ends with a folder separator");
    return false;
  }
  folder_ = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (folder_ < 0) {
    const int error = errno;
    if (error == ENOENT) {
      Fail("the folder " + folder + " does not exist");
    } else if (error == ENOTDIR) {
      Fail(folder + " is not a folder");
    } else {
      Fail("", error);
    }
    return false;
  }
  if (!CreateTemporary()) return false;
  if (replacing) KeepOwnerAndMode(descriptor_, replaced);
  buffer_.reserve(kBufferSize);
  return true;
}

bool AtomicFile::CreateTemporary() {
  for (int attempt = 0; attempt < 100; ++attempt) {
    temporary_ = kTemporaryPrefix + RandomLetters();
    // Known to the signal handlers before it exists, so that no moment is left uncovered.
    registryEntry_ = TemporaryFiles::Remember(folder_, temporary_.c_str());
    descriptor_ =
        ::openat(folder_, temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (descriptor_ >= 0) return true;
    const int error = errno;
    TemporaryFiles::Forget(registryEntry_);
    registryEntry_ = -1;
    temporary_.clear();
    if (error != EEXIST) {
      Fail("", error);
      CloseFolder();
      return false;
    }
  }
  Fail("no free name for a temporary file");
  CloseFolder();
  return false;
}

bool AtomicFile::Flush() {
  size_t done = 0;
  while (done < buffer_.size()) {
    const ssize_t written = ::write(descriptor_, buffer_.data() + done, buffer_.size() - done);
    if (written < 0) {
      if (errno == EINTR) continue;
      Fail("", errno);
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
    if (error_.empty()) Fail("nothing to commit");
    return false;
  }
  bool good = error_.empty() && Flush();
  if (good && ::fsync(descriptor_) != 0 && errno != EINVAL && errno != EROFS) {
    Fail("", errno);
    good = false;
  }
  if (::close(descriptor_) != 0 && good) {
    Fail("", errno);
    good = false;
  }
  descriptor_ = -1;
  if (good) good = Place();
  if (!good) ::unlinkat(folder_, temporary_.c_str(), 0);
  TemporaryFiles::Forget(registryEntry_);
  registryEntry_ = -1;
  temporary_.clear();
  CloseFolder();
  buffer_.clear();
  return good;
}

bool AtomicFile::Place() {
  if (existing_ == ExistingTarget::Keep) return PlaceWithoutReplacing();
  if (::renameat(folder_, temporary_.c_str(), folder_, name_.c_str()) == 0) return true;
  Fail("", errno);
  return false;
}

bool AtomicFile::PlaceWithoutReplacing() {
  const char* from = temporary_.c_str();
  const char* to = name_.c_str();
  if (::renameat2(folder_, from, folder_, to, RENAME_NOREPLACE) == 0) return true;
  if (errno == EEXIST) {
    FailExists();
    return false;
  }
  if (!AnotherWayMayWork(errno)) {
    Fail("", errno);
    return false;
  }
  // The file system cannot rename exclusively: a hard link fails as well when the name is
  // taken, and the temporary name goes after it.
  if (::linkat(folder_, from, folder_, to, 0) == 0) {
    ::unlinkat(folder_, from, 0);
    return true;
  }
  if (errno == EEXIST) {
    FailExists();
    return false;
  }
  if (errno != EPERM && !AnotherWayMayWork(errno)) {
    Fail("", errno);
    return false;
  }
  // No hard links either: the name is claimed by an empty file made exclusively, which
  // then gives way to the complete one.
  const int claim = ::openat(folder_, to, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (claim < 0) {
    if (errno == EEXIST) {
      FailExists();
    } else {
      Fail("", errno);
    }
    return false;
  }
  ::close(claim);
  if (::renameat(folder_, from, folder_, to) == 0) return true;
  Fail("", errno);
  ::unlinkat(folder_, to, 0);
  return false;
}

void AtomicFile::CloseFolder() {
  if (folder_ >= 0) ::close(folder_);
  folder_ = -1;
}

void AtomicFile::Discard() {
  if (descriptor_ >= 0) {
    ::close(descriptor_);
    descriptor_ = -1;
  }
  if (!temporary_.empty()) {
    ::unlinkat(folder_, temporary_.c_str(), 0);
    temporary_.clear();
  }
  TemporaryFiles::Forget(registryEntry_);
  registryEntry_ = -1;
  CloseFolder();
  buffer_.clear();
}

}  // namespace genshoku
