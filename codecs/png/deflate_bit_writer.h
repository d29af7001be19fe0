#pragma once
// The bit writer of the compact deflate writer: bits go into bytes least significant
// first, as deflate packs them. A finished piece of bits can be appended to another
// writer at whatever bit position that one has reached, so that pieces made on different
// threads join into one stream.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace genshoku::png {

class DeflateBitWriter {
 public:
  // Appends the lowest `count` bits of `bits` (count at most 32), least significant first.
  void Put(uint32_t bits, int count) {
    pending_ |= static_cast<uint64_t>(bits) << used_;
    used_ += count;
    if (used_ >= 32) StoreFourBytes();
  }
  // Appends every bit `other` holds, in order.
  void Append(const DeflateBitWriter& other);
  // Fills the current byte with zero bits.
  void AlignToByte();
  // Appends whole bytes; only at a byte boundary.
  void PutBytes(const uint8_t* bytes, size_t count);

  uint64_t BitCount() const { return uint64_t{bytes_.size()} * 8 + static_cast<uint64_t>(used_); }
  // The bytes, the last one padded with zero bits; the writer is empty afterwards.
  std::vector<uint8_t> TakeBytes();

 private:
  void StoreFourBytes();

  std::vector<uint8_t> bytes_;  // complete bytes
  uint64_t pending_ = 0;        // bits not stored yet, the earliest lowest
  int used_ = 0;                // how many bits of pending_ count (below 32 between calls)
};

}  // namespace genshoku::png
