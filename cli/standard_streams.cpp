#include "cli/standard_streams.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

namespace genshoku::cli {

namespace {

// Reads are made in pieces of this size; the buffer grows by what it holds (at least a
// piece), so it is never more than about twice what arrived, and never past the cap.
constexpr size_t kPieceBytes = size_t{1} << 20;

}  // namespace

StandardInputStatus ReadStandardInput(size_t limit, std::vector<uint8_t>* bytes, std::string* why) {
  bytes->clear();
  if (::isatty(STDIN_FILENO)) return StandardInputStatus::Terminal;
  std::vector<uint8_t> input;
  try {
    for (;;) {
      // One byte past the cap tells a stream that is too long from one that just fits.
      const size_t room = limit + 1 - input.size();
      if (room == 0) return StandardInputStatus::TooLarge;
      if (input.capacity() == input.size()) {
        input.reserve(std::min(limit + 1, input.size() + std::max(input.size(), kPieceBytes)));
      }
      const size_t piece = std::min({room, kPieceBytes, input.capacity() - input.size()});
      const size_t before = input.size();
      input.resize(before + piece);
      const ssize_t got = ::read(STDIN_FILENO, input.data() + before, piece);
      if (got < 0) {
        input.resize(before);
        if (errno == EINTR) continue;
        *why = std::strerror(errno);
        return StandardInputStatus::Failed;
      }
      input.resize(before + static_cast<size_t>(got));
      if (got == 0) break;
    }
  } catch (const std::bad_alloc&) {
    *why = "not enough memory";
    return StandardInputStatus::Failed;
  }
  *bytes = std::move(input);
  return StandardInputStatus::Ok;
}

bool WriteStandardOutput(const std::vector<uint8_t>& bytes, std::string* why) {
  size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t done = ::write(STDOUT_FILENO, bytes.data() + written, bytes.size() - written);
    if (done < 0) {
      if (errno == EINTR) continue;
      *why = std::strerror(errno);
      return false;
    }
    written += static_cast<size_t>(done);
  }
  return true;
}

bool StandardOutputIsTerminal() { return ::isatty(STDOUT_FILENO) != 0; }

bool StandardOutputIsFile(const std::string& path) {
  struct stat out, file;
  return ::fstat(STDOUT_FILENO, &out) == 0 && ::stat(path.c_str(), &file) == 0 &&
         S_ISREG(out.st_mode) && out.st_dev == file.st_dev && out.st_ino == file.st_ino;
}

}  // namespace genshoku::cli
