// The stretch-wise unfiltering against the byte-wise one, on buffers of exactly the size
// they need, so that the sanitizer build catches any read or write beyond them.
#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "codecs/png/png_unfilter.h"

namespace genshoku::png {
namespace {

// Exactly `size` bytes on the heap; a vector of that size could have spare capacity.
std::unique_ptr<uint8_t[]> Exact(const std::vector<uint8_t>& bytes) {
  auto copy = std::make_unique<uint8_t[]>(bytes.size());
  std::copy(bytes.begin(), bytes.end(), copy.get());
  return copy;
}

TEST(ReadUnfilterTest, StretchesMatchByteByByteUnfilteringAndStayInsideTheirBuffers) {
  std::mt19937 random(17);
  for (size_t unitBytes : {1u, 2u, 3u, 4u, 6u}) {
    for (size_t pixels : {1u, 2u, 3u, 5u, 11u}) {
      const size_t lineBytes = unitBytes * pixels;
      std::vector<uint8_t> stored(lineBytes), above(lineBytes);
      for (uint8_t& byte : stored) byte = static_cast<uint8_t>(random());
      for (uint8_t& byte : above) byte = static_cast<uint8_t>(random());
      for (int filter = 0; filter <= 5; ++filter) {
        for (bool firstLine : {false, true}) {
          // The reference: the whole line unfiltered one byte at a time, in place.
          std::vector<uint8_t> expected = stored;
          for (size_t at = 0; at < lineBytes; ++at) {
            UnfilterBytes(filter, expected.data(), above.data(), at, 1, unitBytes, firstLine);
          }
          // The line in two stretches split at every pixel boundary, each read from a
          // buffer of just its own bytes.
          for (size_t split = 0; split <= pixels; ++split) {
            const auto line = Exact(std::vector<uint8_t>(lineBytes, 0xEE));
            const auto previous = Exact(above);
            const size_t cut = split * unitBytes;
            if (cut > 0) {
              const auto first = Exact({stored.begin(), stored.begin() + cut});
              UnfilterSpan(filter, line.get(), previous.get(), 0, cut, unitBytes, firstLine,
                           first.get());
            }
            if (cut < lineBytes) {
              const auto second = Exact({stored.begin() + cut, stored.end()});
              UnfilterSpan(filter, line.get(), previous.get(), cut, lineBytes - cut, unitBytes,
                           firstLine, second.get());
            }
            ASSERT_TRUE(std::equal(expected.begin(), expected.end(), line.get()))
                << "unit " << unitBytes << ", pixels " << pixels << ", filter " << filter
                << (firstLine ? ", first line" : "") << ", split " << split;
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace genshoku::png
