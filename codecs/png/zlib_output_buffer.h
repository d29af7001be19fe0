#pragma once
// The growing bit-level buffer in which the PNG writer builds its zlib stream.
//
// Bits are stored least significant first: `BufBit` is the mask of the next bit inside
// byte `BufPtr`. The buffer doubles whenever a bit or a byte is about to land at or past
// its capacity, and everything beyond the written part is kept zero, so that a failed
// block can be cut off by restoring a saved state.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/diagnostics.h"

namespace genshoku::png {

class ZlibOutputBuffer {
 public:
  // Everything a block writer changes, so that the block can be undone.
  struct SavedState {
    size_t bufPtr = 0;
    uint32_t bufBit = 1;
    uint8_t partialByte = 0;
    uint32_t s1 = 1;
    uint32_t s2 = 0;
    int64_t receivedCount = 0;
  };

  explicit ZlibOutputBuffer(Diagnostics& diagnostics = StandardDiagnostics());

  // Writes the lowest `count` bits of `value`, least significant first.
  void WriteBits(uint32_t value, int count);
  // Makes room for `bitCount` more bits from the current position, growing (and
  // reporting every growth) exactly as storing them one bit at a time would.
  void ReserveBits(uint64_t bitCount);
  // Stores one byte at `BufPtr`; only at a byte boundary (BufBit 1).
  void WriteByte(uint8_t byte);
  // Stores many bytes at a byte boundary, growing exactly as byte-by-byte writing would.
  void WriteBytes(const uint8_t* bytes, size_t count);
  // Moves to the start of the next byte if the current one holds bits already.
  void ClosePartialByte();

  // Adds input bytes to the Adler-32 sums and the received count.
  void AddToChecksum(const uint8_t* bytes, size_t count);
  void ResetChecksum();
  uint32_t Adler32() const;

  SavedState SaveState() const;
  // Returns to a saved state: the bytes written since are zeroed, the capacity is kept.
  void RestoreState(const SavedState& saved);

  // The number of bytes from the first byte that was still empty in `before` to the last
  // byte touched now (a partly filled last byte counts).
  size_t BytesWrittenSince(const SavedState& before) const;

  size_t capacity() const { return data_.size(); }
  const std::vector<uint8_t>& data() const { return data_; }
  // The finished stream: the bytes before `BufPtr`.
  std::vector<uint8_t> TakeStream();

  size_t BufPtr = 0;    // byte that receives the next bit
  uint32_t BufBit = 1;  // mask of the next bit; 1 means the byte is still empty
  uint32_t windowSize = 0;
  int verbose = 0;
  uint32_t s1 = 1;
  uint32_t s2 = 0;
  int64_t expectedCount = 0;
  int64_t receivedCount = 0;

  Diagnostics& diagnostics() const { return diagnostics_; }

  // Stores bits into room reserved beforehand (ReserveBits), many at a time instead of
  // one by one; the buffer's position is brought up to date by Finish. While a packer is
  // open nothing else may write to the buffer.
  class BitPacker {
   public:
    explicit BitPacker(ZlibOutputBuffer& buffer);
    BitPacker(const BitPacker&) = delete;
    BitPacker& operator=(const BitPacker&) = delete;

    // Appends the lowest `count` bits of `bits` (count at most 32), least significant
    // first.
    void Put(uint64_t bits, int count) {
      pending_ |= bits << used_;
      used_ += count;
      if (used_ >= 32) StoreFourBytes();
    }
    // Stores the bits still pending and moves the buffer's position past them; the
    // packer is done then.
    void Finish();

   private:
    void StoreFourBytes();

    ZlibOutputBuffer& buffer_;
    uint8_t* data_;
    size_t position_;   // byte that receives the lowest pending bit
    uint64_t pending_;  // bits not stored yet, the partial byte's earlier bits included
    int used_;          // how many bits of pending_ are meaningful
  };

 private:
  // Grows until byte `index` lies inside the buffer.
  void GrowToHold(size_t index);
  void GrowUntilWritable() { GrowToHold(BufPtr); }

  std::vector<uint8_t> data_;  // its size is the capacity
  Diagnostics& diagnostics_;
};

}  // namespace genshoku::png
