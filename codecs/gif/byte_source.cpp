#include "codecs/gif/byte_source.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

namespace genshoku::gif {

size_t MemoryByteSource::Read(uint8_t* target, size_t count) {
  if (position_ >= size_) return 0;
  const uint64_t available = size_ - position_;
  const size_t take = count < available ? count : static_cast<size_t>(available);
  std::memcpy(target, data_ + position_, take);
  position_ += take;
  return take;
}

namespace {
constexpr size_t kWindowSize = 1 << 16;
}

std::unique_ptr<FileByteSource> FileByteSource::Open(const std::string& path) {
  const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) return nullptr;
  std::unique_ptr<FileByteSource> source;
  try {
    source.reset(new FileByteSource(descriptor));
  } catch (const std::bad_alloc&) {
    ::close(descriptor);
    return nullptr;
  }
  return source;
}

FileByteSource::FileByteSource(int descriptor) : descriptor_(descriptor), window_(kWindowSize) {}

FileByteSource::~FileByteSource() { ::close(descriptor_); }

bool FileByteSource::Refill() {
  if (position_ > static_cast<uint64_t>(INT64_MAX - kWindowSize)) return false;
  ssize_t got;
  do {
    got = ::pread(descriptor_, window_.data(), window_.size(), static_cast<off_t>(position_));
  } while (got < 0 && errno == EINTR);
  windowStart_ = position_;
  windowSize_ = got > 0 ? static_cast<size_t>(got) : 0;
  return windowSize_ > 0;
}

size_t FileByteSource::Read(uint8_t* target, size_t count) {
  size_t done = 0;
  while (done < count) {
    if (position_ < windowStart_ || position_ >= windowStart_ + windowSize_) {
      if (!Refill()) break;
    }
    const size_t offset = static_cast<size_t>(position_ - windowStart_);
    const size_t take = std::min(count - done, windowSize_ - offset);
    std::memcpy(target + done, window_.data() + offset, take);
    done += take;
    position_ += take;
  }
  return done;
}

}  // namespace genshoku::gif
