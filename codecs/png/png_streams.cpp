#include "codecs/png/png_streams.h"

#include <algorithm>
#include <cstring>

namespace genshoku::png {

int64_t VxPngBinaryFileStream::TotalSize() {
  const off_t position = ftello(file_);
  if (position < 0 || fseeko(file_, 0, SEEK_END) != 0) return -1;
  const off_t end = ftello(file_);
  if (fseeko(file_, position, SEEK_SET) != 0) return -1;
  return end < 0 ? -1 : static_cast<int64_t>(end);
}

bool VxPngGenericBinaryStream::SkipBytes(uint64_t count) {
  uint8_t sink[4096];
  while (count > 0) {
    const size_t piece = static_cast<size_t>(std::min<uint64_t>(count, sizeof sink));
    if (ReadBytes(sink, piece) != piece) return false;
    count -= piece;
  }
  return true;
}

bool VxPngBinaryFileStream::SkipBytes(uint64_t count) {
  const off_t position = ftello(file_);
  const int64_t size = TotalSize();
  // A pipe cannot seek: its bytes are read and dropped.
  if (position < 0 || size < 0) return VxPngGenericBinaryStream::SkipBytes(count);
  if (count > static_cast<uint64_t>(size - position)) {
    fseeko(file_, 0, SEEK_END);
    return false;
  }
  return fseeko(file_, position + static_cast<off_t>(count), SEEK_SET) == 0;
}

size_t VxPngBinaryFileStream::ReadBytes(uint8_t* buffer, size_t count) {
  return std::fread(buffer, 1, count, file_);
}

size_t VxPngMemoryStream::ReadBytes(uint8_t* buffer, size_t count) {
  const size_t available = std::min(count, size_ - position_);
  if (available > 0) std::memcpy(buffer, data_ + position_, available);
  position_ += available;
  return available;
}

bool VxPngMemoryStream::SkipBytes(uint64_t count) {
  const bool whole = count <= size_ - position_;
  position_ = whole ? position_ + static_cast<size_t>(count) : size_;
  return whole;
}

}  // namespace genshoku::png
