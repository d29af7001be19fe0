#pragma once
// Reads the bits of a deflate stream held whole in memory: each byte from its least
// significant bit upward. Every read checks the end of the data, so damaged streams fail
// instead of reading beyond it.

#include <cstddef>
#include <cstdint>

namespace genshoku::png {

class InflateBitReader {
 public:
  InflateBitReader(const uint8_t* data, size_t length, size_t startOffset)
      : data_(data), length_(length), offset_(startOffset) {}

  // Each returns false, leaving `value` unspecified, when the data end first. ReadBit
  // is defined here because Huffman codes are walked through it bit by bit.
  bool ReadBit(uint32_t& bit) {
    if (offset_ >= length_) return false;
    bit = (data_[offset_] & mask_) != 0 ? 1 : 0;
    mask_ <<= 1;
    if (mask_ > 128) {
      mask_ = 1;
      ++offset_;
    }
    return true;
  }
  // `count` bits (at most 16), the first bit read being the least significant: how
  // deflate stores its numbers.
  bool ReadBits(int count, uint32_t& value);
  // `count` bits, the first bit read being the most significant: how deflate stores its
  // Huffman codes.
  bool ReadBitsMsbFirst(int count, uint32_t& value);

  // Passes over the rest of a partly read byte.
  void AlignToByte();

  size_t offset() const { return offset_; }
  size_t BytesLeft() const { return offset_ < length_ ? length_ - offset_ : 0; }
  // Whole bytes; only meaningful right after AlignToByte.
  const uint8_t* BytePointer() const { return data_ + offset_; }
  void SkipBytes(size_t count) { offset_ += count; }

 private:
  const uint8_t* data_;
  size_t length_;
  size_t offset_;
  uint32_t mask_ = 1;
};

}  // namespace genshoku::png
