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

size_t VxPngBinaryFileStream::ReadBytes(uint8_t* buffer, size_t count) {
  return std::fread(buffer, 1, count, file_);
}

size_t VxPngMemoryStream::ReadBytes(uint8_t* buffer, size_t count) {
  const size_t available = std::min(count, size_ - position_);
  if (available > 0) std::memcpy(buffer, data_ + position_, available);
  position_ += available;
  return available;
}

}  // namespace genshoku::png
