#pragma once
// Reads the bits of a deflate stream held whole in memory: each byte from its least
// significant bit upward. Every read checks the end of the data, so damaged streams fail
// instead of reading beyond it.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace genshoku::png {

class InflateBitReader {
 public:
  InflateBitReader(const uint8_t* data, size_t length, size_t startOffset)
      : data_(data), length_(length), offset_(startOffset) {}

  // Each returns false when the data end first, leaving `value` and the position
  // unspecified: a failed read ends the inflation.
  bool ReadBit(uint32_t& bit) {
    if (offset_ >= length_) return false;
    bit = (data_[offset_] >> bit_) & 1u;
    SkipBits(1);
    return true;
  }
  // `count` bits (at most 16), the first bit read being the least significant: how
  // deflate stores its numbers.
  bool ReadBits(int count, uint32_t& value) {
    if (BitsLeft() < static_cast<uint64_t>(count)) return false;
    value = static_cast<uint32_t>(PeekBits() & ((uint64_t{1} << count) - 1));
    SkipBits(count);
    return true;
  }
  // `count` bits, the first bit read being the most significant: how deflate stores its
  // Huffman codes.
  bool ReadBitsMsbFirst(int count, uint32_t& value) {
    if (BitsLeft() < static_cast<uint64_t>(count)) return false;
    const uint64_t bits = PeekBits();
    value = 0;
    for (int i = 0; i < count; ++i) value = (value << 1) | static_cast<uint32_t>((bits >> i) & 1u);
    SkipBits(count);
    return true;
  }

  // Shows the next bits (as PeekBits) when at least `count` of them are left.
  bool Peek(int count, uint64_t& bits) const {
    if constexpr (std::endian::native == std::endian::little) {
      if (offset_ + 8 <= length_) {
        uint64_t word;
        std::memcpy(&word, data_ + offset_, sizeof word);
        bits = word >> bit_;
        return true;
      }
    }
    if (BitsLeft() < static_cast<uint64_t>(count)) return false;
    bits = GatherBits(data_, length_, offset_) >> bit_;
    return true;
  }

  // The bits from the current position on, the next bit lowest; at least 56 of them are
  // meaningful, or all that are left, with zeros beyond the end of the data.
  uint64_t PeekBits() const {
    if constexpr (std::endian::native == std::endian::little) {
      if (offset_ + 8 <= length_) {
        uint64_t word;
        std::memcpy(&word, data_ + offset_, sizeof word);
        return word >> bit_;
      }
    }
    return GatherBits(data_, length_, offset_) >> bit_;
  }
  // Moves past bits that PeekBits showed to be there.
  void SkipBits(int count) {
    const size_t bit = bit_ + static_cast<size_t>(count);
    offset_ += bit >> 3;
    bit_ = static_cast<uint32_t>(bit & 7);
  }
  uint64_t BitsLeft() const { return offset_ < length_ ? (length_ - offset_) * 8 - bit_ : 0; }

  // Passes over the rest of a partly read byte.
  void AlignToByte() {
    if (bit_ != 0) {
      bit_ = 0;
      ++offset_;
    }
  }

  size_t offset() const { return offset_; }
  // The position counted in bits from the start of the data, and a jump to one.
  uint64_t BitPosition() const { return static_cast<uint64_t>(offset_) * 8 + bit_; }
  void SetBitPosition(uint64_t position) {
    offset_ = static_cast<size_t>(position / 8);
    bit_ = static_cast<uint32_t>(position % 8);
  }
  const uint8_t* data() const { return data_; }
  size_t length() const { return length_; }
  size_t BytesLeft() const { return offset_ < length_ ? length_ - offset_ : 0; }
  // Whole bytes; only meaningful right after AlignToByte.
  const uint8_t* BytePointer() const { return data_ + offset_; }
  void SkipBytes(size_t count) { offset_ += count; }

 private:
  // Up to 8 bytes from `offset` on, the first one lowest, zeros past the end. Static, so
  // that a reader kept in a local variable never has its address taken.
  static uint64_t GatherBits(const uint8_t* data, size_t length, size_t offset);

  const uint8_t* data_;
  size_t length_;
  size_t offset_;
  uint32_t bit_ = 0;  // bits of data_[offset_] already read
};

}  // namespace genshoku::png
