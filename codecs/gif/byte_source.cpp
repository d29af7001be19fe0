#include "codecs/gif/byte_source.h"

#include <sys/types.h>

#include <cstring>

namespace genshoku::gif {

size_t MemoryByteSource::Read(uint8_t* target, size_t count) {
  if (position_ >= size_) return 0;
  const uint64_t available = size_ - position_;
  const size_t take = count < available ? count : static_cast<size_t>(available);
  std::memcpy(target, data_ + position_, take);
  position_ += take;
  return take;
}

std::unique_ptr<FileByteSource> FileByteSource::Open(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return nullptr;
  return std::unique_ptr<FileByteSource>(new FileByteSource(file));
}

FileByteSource::~FileByteSource() { std::fclose(file_); }

size_t FileByteSource::Read(uint8_t* target, size_t count) {
  const size_t got = std::fread(target, 1, count, file_);
  position_ += got;
  return got;
}

void FileByteSource::Seek(uint64_t position) {
  // A position the stream cannot take simply delivers nothing afterwards.
  if (position > static_cast<uint64_t>(INT64_MAX) ||
      ::fseeko(file_, static_cast<off_t>(position), SEEK_SET) != 0) {
    std::fseek(file_, 0, SEEK_END);
  }
  std::clearerr(file_);
  position_ = position;
}

}  // namespace genshoku::gif
