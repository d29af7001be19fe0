#include "codecs/png/zlib_output_buffer.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "codecs/png/adler32.h"

namespace genshoku::png {

namespace {

constexpr size_t kFirstCapacity = 256;

}  // namespace

ZlibOutputBuffer::ZlibOutputBuffer(Diagnostics& diagnostics) : diagnostics_(diagnostics) {}

void ZlibOutputBuffer::GrowToHold(size_t index) {
  while (index >= data_.size()) {
    const size_t oldCapacity = data_.size();
    const size_t newCapacity = oldCapacity == 0 ? kFirstCapacity : oldCapacity * 2;
    data_.resize(newCapacity, 0);
    if (verbose) {
      diagnostics_.Out("Buffer grows from %d to %d\n", static_cast<int>(oldCapacity),
                       static_cast<int>(newCapacity));
    }
  }
}

void ZlibOutputBuffer::WriteBits(uint32_t value, int count) {
  if (count <= 0) return;
  ReserveBits(static_cast<uint64_t>(count));
  BitPacker packer(*this);
  packer.Put(count < 32 ? value & ((1u << count) - 1) : value, count);
  packer.Finish();
}

void ZlibOutputBuffer::ReserveBits(uint64_t bitCount) {
  if (bitCount == 0) return;
  // Growth happens when a bit is about to be stored past the end, so the byte that
  // receives the last bit decides how far the buffer grows.
  const uint64_t lastBit =
      static_cast<uint64_t>(BufPtr) * 8 + std::countr_zero(BufBit) + bitCount - 1;
  GrowToHold(static_cast<size_t>(lastBit / 8));
}

// The bits above BufBit in the partial byte and every byte after it are zero (a restored
// state clears them), so bits can be ORed in and whole words stored over the zeros.
ZlibOutputBuffer::BitPacker::BitPacker(ZlibOutputBuffer& buffer)
    : buffer_(buffer),
      data_(buffer.data_.data()),
      position_(buffer.BufPtr),
      pending_(buffer.BufBit != 1 ? buffer.data_[buffer.BufPtr] : 0),
      used_(std::countr_zero(buffer.BufBit)) {}

void ZlibOutputBuffer::BitPacker::StoreFourBytes() {
  const uint32_t word = static_cast<uint32_t>(pending_);
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(data_ + position_, &word, 4);
  } else {
    for (int i = 0; i < 4; ++i) data_[position_ + i] = static_cast<uint8_t>(word >> (8 * i));
  }
  position_ += 4;
  pending_ >>= 32;
  used_ -= 32;
}

void ZlibOutputBuffer::BitPacker::Finish() {
  for (int stored = 0; stored < used_; stored += 8) {
    data_[position_ + static_cast<size_t>(stored / 8)] = static_cast<uint8_t>(pending_ >> stored);
  }
  buffer_.BufPtr = position_ + static_cast<size_t>(used_ / 8);
  buffer_.BufBit = 1u << (used_ % 8);
}

void ZlibOutputBuffer::WriteByte(uint8_t byte) {
  GrowUntilWritable();
  data_[BufPtr++] = byte;
}

void ZlibOutputBuffer::WriteBytes(const uint8_t* bytes, size_t count) {
  while (count > 0) {
    GrowUntilWritable();
    const size_t room = data_.size() - BufPtr;
    const size_t take = std::min(room, count);
    std::memcpy(data_.data() + BufPtr, bytes, take);
    BufPtr += take;
    bytes += take;
    count -= take;
  }
}

void ZlibOutputBuffer::ClosePartialByte() {
  if (BufBit != 1) {
    BufBit = 1;
    ++BufPtr;
  }
}

void ZlibOutputBuffer::AddToChecksum(const uint8_t* bytes, size_t count) {
  UpdateAdler32(s1, s2, bytes, count);
  receivedCount += static_cast<int64_t>(count);
}

void ZlibOutputBuffer::ResetChecksum() {
  s1 = 1;
  s2 = 0;
}

uint32_t ZlibOutputBuffer::Adler32() const { return Adler32Value(s1, s2); }

ZlibOutputBuffer::SavedState ZlibOutputBuffer::SaveState() const {
  SavedState saved;
  saved.bufPtr = BufPtr;
  saved.bufBit = BufBit;
  saved.partialByte = (BufBit != 1 && BufPtr < data_.size()) ? data_[BufPtr] : 0;
  saved.s1 = s1;
  saved.s2 = s2;
  saved.receivedCount = receivedCount;
  return saved;
}

void ZlibOutputBuffer::RestoreState(const SavedState& saved) {
  // Bytes past the current position were never written, so they are zero already; only
  // the stretch that the undone block touched needs clearing.
  if (saved.bufPtr < data_.size()) {
    data_[saved.bufPtr] = saved.partialByte;
    const size_t touchedEnd = std::min(data_.size(), BufPtr + 1);
    for (size_t i = saved.bufPtr + 1; i < touchedEnd; ++i) data_[i] = 0;
  }
  BufPtr = saved.bufPtr;
  BufBit = saved.bufBit;
  s1 = saved.s1;
  s2 = saved.s2;
  receivedCount = saved.receivedCount;
}

size_t ZlibOutputBuffer::BytesWrittenSince(const SavedState& before) const {
  const size_t first = before.bufPtr + (before.bufBit != 1 ? 1 : 0);
  const size_t end = BufPtr + (BufBit != 1 ? 1 : 0);
  return end > first ? end - first : 0;
}

std::vector<uint8_t> ZlibOutputBuffer::TakeStream() {
  std::vector<uint8_t> stream = std::move(data_);
  stream.resize(std::min(stream.size(), BufPtr));
  data_.clear();
  BufPtr = 0;
  BufBit = 1;
  return stream;
}

}  // namespace genshoku::png
