#include "codecs/png/deflate_tables.h"

#include <array>

namespace genshoku::png {

namespace {

using deflate_detail::kDistanceBase;
using deflate_detail::kLengthBase;

// Length code of every copy length 0..258 (entries below 3 are unused).
struct LengthCodeTable {
  uint8_t offset[kMaxMatch + 1] = {};
  constexpr LengthCodeTable() {
    for (int length = kMinMatch; length <= kMaxMatch; ++length) {
      int index = 0;
      while (index + 1 < 28 && kLengthBase[index + 1] <= length) ++index;
      offset[length] = static_cast<uint8_t>(index);
    }
    offset[kMaxMatch] = 28;  // 258 has its own code; 257 falls in 284 with extra value 30
  }
};

constexpr LengthCodeTable kLengthCodes;

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

}  // namespace deflate_detail

uint32_t LengthCodeOf(int length) {
  if (length < kMinMatch || length > kMaxMatch) return 0;  // no length code
  return kFirstLengthCode + kLengthCodes.offset[length];
}

}  // namespace genshoku::png
