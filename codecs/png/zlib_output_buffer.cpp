#include "codecs/png/zlib_output_buffer.h"

#include <algorithm>
#include <cstring>

#include "codecs/png/adler32.h"

namespace genshoku::png {

namespace {

constexpr size_t kFirstCapacity = 256;

}  // namespace

ZlibOutputBuffer::ZlibOutputBuffer(Diagnostics& diagnostics) : diagnostics_(diagnostics) {}

void ZlibOutputBuffer::GrowUntilWritable() {
  while (BufPtr >= data_.size()) {
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
  for (int i = 0; i < count; ++i) {
    GrowUntilWritable();
    uint8_t& target = data_[BufPtr];
    if ((value >> i) & 1u) {
      target = static_cast<uint8_t>(target | BufBit);
    } else {
      target = static_cast<uint8_t>(target & ~BufBit);
    }
    BufBit <<= 1;
    if (BufBit > 128) {
      BufBit = 1;
      ++BufPtr;
    }
  }
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
