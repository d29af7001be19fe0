#pragma once
// The byte sources the PNG decoder reads from. The decoder itself only ever sees the
// abstract stream, so the same code decodes a file on disk or a picture already in memory.

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace genshoku::png {

class VxPngGenericBinaryStream {
 public:
  virtual ~VxPngGenericBinaryStream() = default;

  // The stream's length in bytes, or -1 when it cannot be told (the decoder then relies
  // on short reads alone).
  virtual int64_t TotalSize() = 0;

  // Reads up to `count` bytes into `buffer`; returns how many arrived. Fewer than asked
  // means the stream has ended (or failed).
  virtual size_t ReadBytes(uint8_t* buffer, size_t count) = 0;

  // Moves `count` bytes ahead without handing them over; false when the stream ends
  // first. This version reads them into a small buffer; streams that can seek override it.
  virtual bool SkipBytes(uint64_t count);
};

// Reads from an open standard I/O stream, which stays owned by the caller.
class VxPngBinaryFileStream final : public VxPngGenericBinaryStream {
 public:
  explicit VxPngBinaryFileStream(std::FILE* file) : file_(file) {}

  // Measures the file without moving it: the position is remembered, the end is sought,
  // and the position is restored.
  int64_t TotalSize() override;
  size_t ReadBytes(uint8_t* buffer, size_t count) override;
  // Seeks instead of reading (a chunk of a gigabyte is passed over at once).
  bool SkipBytes(uint64_t count) override;

 private:
  std::FILE* file_;
};

// Reads from bytes held by the caller, who keeps them alive while the stream is used.
class VxPngMemoryStream final : public VxPngGenericBinaryStream {
 public:
  VxPngMemoryStream(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  int64_t TotalSize() override { return static_cast<int64_t>(size_); }
  size_t ReadBytes(uint8_t* buffer, size_t count) override;
  bool SkipBytes(uint64_t count) override;

 private:
  const uint8_t* data_;
  size_t size_;
  size_t position_ = 0;
};

}  // namespace genshoku::png
