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

// The last of the 30 base distances not above the distance.
constexpr uint8_t SearchDistanceCode(int distance) {
  int low = 0;
  int high = kDistanceSymbols - 1;
  while (low < high) {
    const int middle = (low + high + 1) / 2;
    if (kDistanceBase[middle] <= distance) {
      low = middle;
    } else {
      high = middle - 1;
    }
  }
  return static_cast<uint8_t>(low);
}

constexpr std::array<uint8_t, kMaxDistance + 1> MakeDistanceCodes() {
  std::array<uint8_t, kMaxDistance + 1> codes{};
  for (int distance = 1; distance <= kMaxDistance; ++distance) {
    codes[distance] = SearchDistanceCode(distance);
  }
  return codes;
}

}  // namespace

namespace deflate_detail {

constinit const std::array<uint8_t, kMaxDistance + 1> kDistanceCodes = MakeDistanceCodes();
constinit const std::array<uint8_t, kMaxMatch + 1> kLengthCodeOffsets = MakeLengthCodeOffsets();

}  // namespace deflate_detail

}  // namespace genshoku::png
