#pragma once
// Reading a fuzz input as a stream of choices for the round-trip targets: a few header
// bytes pick sizes and formats, the rest are pixel and palette bytes. The bytes repeat
// when the input runs out, so short inputs still make large pictures, and repeated
// stretches give the compressors long matches to find.

#include <cstddef>
#include <cstdint>

namespace genshoku::fuzzing {

class InputBytes {
 public:
  InputBytes(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  // The next header byte, 0 once the input is used up.
  uint8_t Header() { return headerAt_ < size_ ? data_[headerAt_++] : 0; }

  // Marks where the header ends: Next() repeats the bytes from here on.
  void EndHeader() { bodyStart_ = position_ = headerAt_; }

  // The next body byte, cycling; 0 when the input has no body.
  uint8_t Next() {
    if (bodyStart_ >= size_) return 0;
    const uint8_t byte = data_[position_];
    position_ = position_ + 1 < size_ ? position_ + 1 : bodyStart_;
    return byte;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t headerAt_ = 0;
  size_t bodyStart_ = 0;
  size_t position_ = 0;
};

}  // namespace genshoku::fuzzing
