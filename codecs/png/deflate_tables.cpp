#include "codecs/png/deflate_tables.h"

namespace genshoku::png {

namespace {

constexpr int kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                 31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr int kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                  2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr int kDistanceBase[30] = {1,    2,    3,    4,    5,    7,     9,     13,    17,  25,
                                   33,   49,   65,   97,   129,  193,   257,   385,   513, 769,
                                   1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr int kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                    6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

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

}  // namespace

uint32_t LengthCodeOf(int length) {
  if (length < kMinMatch || length > kMaxMatch) return 0;  // no length code
  return kFirstLengthCode + kLengthCodes.offset[length];
}

int LengthBase(uint32_t lengthCode) { return kLengthBase[lengthCode - kFirstLengthCode]; }

int LengthExtraBits(uint32_t lengthCode) { return kLengthExtra[lengthCode - kFirstLengthCode]; }

uint32_t DistanceCodeOf(int distance) {
  if (distance < 1 || distance > kMaxDistance) return kDistanceSymbols;
  // Bisection over the 30 base distances: the last base not above the distance.
  uint32_t low = 0;
  uint32_t high = kDistanceSymbols - 1;
  while (low < high) {
    const uint32_t middle = (low + high + 1) / 2;
    if (kDistanceBase[middle] <= distance) {
      low = middle;
    } else {
      high = middle - 1;
    }
  }
  return low;
}

int DistanceBase(uint32_t distanceCode) { return kDistanceBase[distanceCode]; }

int DistanceExtraBits(uint32_t distanceCode) { return kDistanceExtra[distanceCode]; }

}  // namespace genshoku::png
