#pragma once
// Where the GIF writer puts its bytes: a growing buffer in memory, or a file that appears
// under its name only once it is complete.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/atomic_file.h"

namespace genshoku::gif {

class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // False once anything failed; later writes are dropped.
  virtual bool Write(const uint8_t* data, size_t size) = 0;
  // Makes the bytes final. False if anything failed.
  virtual bool Finish() = 0;
  // Gives up: nothing written so far remains.
  virtual void Abandon() = 0;
  // Whether every write so far succeeded.
  virtual bool ok() const = 0;
  // What went wrong first, in words.
  virtual std::string error() const = 0;

  bool WriteByte(uint8_t byte) { return Write(&byte, 1); }
};

// Appends to a caller's vector, which must outlive the sink.
class MemoryByteSink final : public ByteSink {
 public:
  explicit MemoryByteSink(std::vector<uint8_t>& bytes) : bytes_(bytes), start_(bytes.size()) {}
  bool Write(const uint8_t* data, size_t size) override;
  bool Finish() override { return true; }
  void Abandon() override { bytes_.resize(start_); }
  bool ok() const override { return ok_; }
  std::string error() const override { return ok_ ? std::string() : "out of memory"; }

 private:
  std::vector<uint8_t>& bytes_;
  size_t start_;  // what the vector held before: kept when the sink gives up
  bool ok_ = true;
};

// Writes a file through AtomicFile: the target changes only when the whole file was written.
class FileByteSink final : public ByteSink {
 public:
  // False (with error()) when the temporary file cannot be made.
  bool Open(const std::string& path) { return file_.Open(path); }
  bool Write(const uint8_t* data, size_t size) override { return file_.Write(data, size); }
  bool Finish() override { return file_.Commit(); }
  void Abandon() override { file_.Discard(); }
  bool ok() const override { return file_.ok(); }
  std::string error() const override { return file_.error(); }

 private:
  AtomicFile file_;
};

}  // namespace genshoku::gif
