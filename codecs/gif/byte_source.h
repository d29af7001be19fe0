#pragma once
// Where the GIF reader takes its bytes from: a file or a block of memory.
//
// The reader reads single bytes and short runs, and it seeks: it skips sub-blocks by
// seeking over them and comes back to an image's data after measuring how far they reach.
// A read past the end delivers fewer bytes (or none); a seek past the end is allowed, and
// every read after it delivers nothing. Nothing is ever read outside the source.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace genshoku::gif {

class ByteSource {
 public:
  virtual ~ByteSource() = default;

  // Reads up to `count` bytes into `target` and returns how many arrived; fewer than asked
  // only at the end of the source. Bytes of `target` past that count are left unchanged.
  virtual size_t Read(uint8_t* target, size_t count) = 0;
  virtual uint64_t Position() const = 0;
  virtual void Seek(uint64_t position) = 0;

  bool ReadByte(uint8_t& byte) { return Read(&byte, 1) == 1; }
  void Skip(uint64_t count) { Seek(Position() + count); }
};

// Reads from memory the caller owns; the bytes must outlive the source.
class MemoryByteSource final : public ByteSource {
 public:
  MemoryByteSource(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  size_t Read(uint8_t* target, size_t count) override;
  uint64_t Position() const override { return position_; }
  void Seek(uint64_t position) override { position_ = position; }

 private:
  const uint8_t* data_;
  size_t size_;
  uint64_t position_ = 0;
};

// Reads a file opened read-only; closes it when destroyed. Reads go through a window of
// the file kept in memory, so the reader's many short reads and seeks over sub-blocks cost
// no system call while they stay inside it.
class FileByteSource final : public ByteSource {
 public:
  // None when the file cannot be opened.
  static std::unique_ptr<FileByteSource> Open(const std::string& path);
  ~FileByteSource() override;
  FileByteSource(const FileByteSource&) = delete;
  FileByteSource& operator=(const FileByteSource&) = delete;

  size_t Read(uint8_t* target, size_t count) override;
  uint64_t Position() const override { return position_; }
  void Seek(uint64_t position) override { position_ = position; }

 private:
  explicit FileByteSource(int descriptor);
  // Loads the window that starts at position_; false at the end of the file or on an error.
  bool Refill();

  int descriptor_;
  uint64_t position_ = 0;
  std::vector<uint8_t> window_;
  uint64_t windowStart_ = 0;  // file offset of window_[0]
  size_t windowSize_ = 0;     // bytes of window_ that hold file data
};

}  // namespace genshoku::gif
