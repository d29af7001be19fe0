#pragma once
// The zlib stream of the compact PNG writer. The input is cut into segments whose size
// depends on the input's size alone; each segment becomes its own run of deflate blocks
// (copies still reach back into the segment before), so segments can be compressed on
// two threads and joined in order, and the stream is the same whatever the number of
// threads.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "codecs/png/compact_deflate_segment.h"

namespace genshoku::png {

struct CompactZlibOptions {
  // 0: two threads where the machine has two cores and there are several segments;
  // 1: one thread; 2: two threads.
  int threads = 0;
  CompactDeflateSettings deflate;
  // Called on the calling thread after each of its segments and once at the end, with the
  // bytes done so far and in all; false stops the work. May be empty.
  std::function<bool(size_t done, size_t total)> progress;
};

enum class CompactZlibResult { kDone, kStopped, kOutOfMemory };

// The segment size used for an input of `size` bytes.
size_t CompactSegmentSize(size_t size);

// Compresses data[0..size) into a complete zlib stream in `stream`.
CompactZlibResult BuildCompactZlibStream(const uint8_t* data, size_t size,
                                         const CompactZlibOptions& options,
                                         std::vector<uint8_t>& stream);

}  // namespace genshoku::png
