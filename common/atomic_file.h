#pragma once
// Writing a file so that it is either complete or not there at all.
//
// The bytes go to a temporary file in the target's folder; only when every write, the
// flush and the close succeeded is the temporary file renamed over the target. On any
// failure (full disk, read-only folder, target is a folder) the temporary file is removed
// and the target keeps whatever it held before.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace genshoku {

class AtomicFile {
 public:
  AtomicFile() = default;
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;
  ~AtomicFile();  // discards the temporary file unless Commit succeeded

  // Creates the temporary file beside `target`. False (with error()) if it cannot be made.
  bool Open(const std::string& target);

  // Appends bytes. Failures are remembered and reported by Commit.
  bool Write(const void* data, size_t size);
  bool WriteByte(uint8_t byte) { return Write(&byte, 1); }

  // Flushes, closes and renames over the target. False if anything failed; the target is
  // then untouched and no temporary file remains.
  bool Commit();

  // Drops everything written so far; the target is untouched.
  void Discard();

  bool ok() const { return error_.empty(); }
  // What went wrong first, in words ("No space left on device", ...).
  const std::string& error() const { return error_; }
  const std::string& target() const { return target_; }

 private:
  bool Flush();
  void Fail(const std::string& what, int errnoValue);

  std::string target_;
  std::string temporary_;
  int descriptor_ = -1;
  std::vector<uint8_t> buffer_;
  std::string error_;
};

}  // namespace genshoku
