#include "codecs/png/adler32.h"

namespace genshoku::png {

namespace {

// The largest run of bytes after which s2 still fits in 32 bits when both sums start
// below the modulus, so the modulo can wait until the end of the run.
constexpr size_t kLongestDeferredRun = 5552;

}  // namespace

void UpdateAdler32(uint32_t& s1, uint32_t& s2, const uint8_t* data, size_t size) {
  while (size > 0) {
    const size_t run = size < kLongestDeferredRun ? size : kLongestDeferredRun;
    for (size_t i = 0; i < run; ++i) {
      s1 += data[i];
      s2 += s1;
    }
    s1 %= kAdlerModulus;
    s2 %= kAdlerModulus;
    data += run;
    size -= run;
  }
}

}  // namespace genshoku::png
