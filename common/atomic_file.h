#pragma once
// Writing a file so that it is either complete or not there at all.
//
// The bytes go to a temporary file with a short hidden name (".gsk-" and six letters) in
// the target's folder; only when every write, the flush and the close succeeded is the
// temporary file given the target's name. On any failure (full disk, read-only folder,
// target is a folder) the temporary file is removed and the target keeps whatever it held
// before. A signal that ends the process while a file is written removes the temporary
// file too (see temporary_files.h).
//
// A caller that must not replace anything opens with ExistingTarget::Keep: the name is
// then taken only if it is still free at the very end (an exclusive rename, or a hard
// link where the file system cannot rename exclusively), so a file that appeared while
// the bytes were written is kept and the commit fails with targetExists().
//
// A target that is a link is written through: the file it points at is replaced and the
// link kept. A link to a file that does not exist is not followed (nothing is created in
// a place the name does not show). A new file gets the mode the umask gives; a replaced
// file keeps its permission bits (and its owner and group where the process may keep them).

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace genshoku {

enum class ExistingTarget {
  Replace,  // a file under the target's name is replaced by the new one
  Keep,     // a file under the target's name is kept and the write fails
};

class AtomicFile {
 public:
  AtomicFile() = default;
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;
  ~AtomicFile();  // discards the temporary file unless Commit succeeded

  // Creates the temporary file beside `target`. False (with error()) if it cannot be made,
  // or with ExistingTarget::Keep if the name is taken already.
  bool Open(const std::string& target, ExistingTarget existing = ExistingTarget::Replace);

  // Appends bytes. Failures are remembered and reported by Commit.
  bool Write(const void* data, size_t size);
  bool WriteByte(uint8_t byte) { return Write(&byte, 1); }

  // Flushes, closes and gives the file the target's name. False if anything failed; the
  // target is then untouched and no temporary file remains.
  bool Commit();

  // Drops everything written so far; the target is untouched.
  void Discard();

  bool ok() const { return error_.empty(); }
  // What went wrong first, in one line naming the target ("cannot write out.png: No
  // space left on device", ...).
  const std::string& error() const { return error_; }
  // The failure was a file under the target's name that ExistingTarget::Keep kept.
  bool targetExists() const { return targetExists_; }
  const std::string& target() const { return target_; }

 private:
  bool Flush();
  void Fail(const std::string& why, int errnoValue = 0);
  void FailExists();
  bool CreateTemporary();
  bool Place();
  bool PlaceWithoutReplacing();
  void CloseFolder();

  std::string target_;  // as the caller named it, for messages
  ExistingTarget existing_ = ExistingTarget::Replace;
  int folder_ = -1;        // the folder of the (resolved) target
  std::string name_;       // the target's name inside that folder
  std::string temporary_;  // the temporary file's name inside that folder
  int registryEntry_ = -1;
  int descriptor_ = -1;
  std::vector<uint8_t> buffer_;
  std::string error_;
  bool targetExists_ = false;
};

}  // namespace genshoku
