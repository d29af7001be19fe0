#include "codecs/png/deflate_bit_writer.h"

#include <cstring>

namespace genshoku::png {

void DeflateBitWriter::StoreFourBytes() {
  const uint8_t four[4] = {static_cast<uint8_t>(pending_), static_cast<uint8_t>(pending_ >> 8),
                           static_cast<uint8_t>(pending_ >> 16),
                           static_cast<uint8_t>(pending_ >> 24)};
  bytes_.insert(bytes_.end(), four, four + 4);
  pending_ >>= 32;
  used_ -= 32;
}

void DeflateBitWriter::Append(const DeflateBitWriter& other) {
  if (used_ % 8 == 0) {
    // Byte-aligned: the complete bytes go over as they are.
    while (used_ > 0) {
      bytes_.push_back(static_cast<uint8_t>(pending_));
      pending_ >>= 8;
      used_ -= 8;
    }
    bytes_.insert(bytes_.end(), other.bytes_.begin(), other.bytes_.end());
  } else {
    bytes_.reserve(bytes_.size() + other.bytes_.size() + 8);
    const uint8_t* source = other.bytes_.data();
    const size_t size = other.bytes_.size();
    size_t i = 0;
    for (; i + 4 <= size; i += 4) {
      uint32_t word;
      std::memcpy(&word, source + i, 4);
      Put(word, 32);  // the bytes are stored least significant first, as Put takes them
    }
    for (; i < size; ++i) Put(source[i], 8);
  }
  uint64_t rest = other.pending_;
  int restBits = other.used_;
  while (restBits > 0) {
    const int take = restBits < 16 ? restBits : 16;
    Put(static_cast<uint32_t>(rest & ((1u << take) - 1)), take);
    rest >>= take;
    restBits -= take;
  }
}

void DeflateBitWriter::AlignToByte() {
  if (used_ % 8 != 0) Put(0, 8 - used_ % 8);
}

void DeflateBitWriter::PutBytes(const uint8_t* bytes, size_t count) {
  for (size_t i = 0; i < count; ++i) Put(bytes[i], 8);
}

std::vector<uint8_t> DeflateBitWriter::TakeBytes() {
  AlignToByte();
  while (used_ > 0) {
    bytes_.push_back(static_cast<uint8_t>(pending_));
    pending_ >>= 8;
    used_ -= 8;
  }
  pending_ = 0;
  std::vector<uint8_t> result;
  result.swap(bytes_);
  return result;
}

}  // namespace genshoku::png
