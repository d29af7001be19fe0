#include "codecs/png/deflate_tables.h"

#include <array>

namespace genshoku::png {

namespace {

using deflate_detail::kDistanceBase;
using deflate_detail::kLengthBase;

constexpr std::array<uint8_t, kMaxMatch + 1> MakeLengthCodeOffsets() {
  std::array<uint8_t, kMaxMatch + 1> offsets{};
  for (int length = kMinMatch; length <= kMaxMatch; ++length) {
    int index = 0;
    while (index + 1 < 28 && kLengthBase[index + 1] <= length) ++index;
    offsets[static_cast<size_t>(length)] = static_cast<uint8_t>(index);
  }
  offsets[kMaxMatch] = 28;  // 258 has its own code; 257 falls in 284 with extra value 30
  return offsets;
}

// Each distance gets the last code whose base distance is not above it.
constexpr std::array<uint8_t, kMaxDistance + 1> MakeDistanceCodes() {
  std::array<uint8_t, kMaxDistance + 1> codes{};
  for (int code = 0; code < kDistanceSymbols; ++code) {
    const int end = code + 1 < kDistanceSymbols ? kDistanceBase[code + 1] : kMaxDistance + 1;
    for (int distance = kDistanceBase[code]; distance < end; ++distance) {
      codes[static_cast<size_t>(distance)] = static_cast<uint8_t>(code);
    }
  }
  return codes;
}

}  // namespace

namespace deflate_detail {

constinit const std::array<uint8_t, kMaxDistance + 1> kDistanceCodes = MakeDistanceCodes();
constinit const std::array<uint8_t, kMaxMatch + 1> kLengthCodeOffsets = MakeLengthCodeOffsets();

}  // namespace deflate_detail

}  // namespace genshoku::png
