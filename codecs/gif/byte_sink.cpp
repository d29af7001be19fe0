#include "codecs/gif/byte_sink.h"

#include <new>

namespace genshoku::gif {

bool MemoryByteSink::Write(const uint8_t* data, size_t size) {
  if (!ok_) return false;
  try {
    bytes_.insert(bytes_.end(), data, data + size);
  } catch (const std::bad_alloc&) {
    ok_ = false;
    return false;
  }
  return true;
}

}  // namespace genshoku::gif
