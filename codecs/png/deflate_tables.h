#pragma once
// Deflate's length and distance alphabets: which code carries a copy length or distance,
// and the extra bits that follow the code.

#include <array>
#include <cstddef>
#include <cstdint>

namespace genshoku::png {

inline constexpr int kLiteralLengthSymbols = 286;  // 0..255 bytes, 256 end, 257..285 lengths
inline constexpr int kDistanceSymbols = 30;
inline constexpr int kCodeLengthSymbols = 19;
inline constexpr uint32_t kEndOfBlock = 256;
inline constexpr uint32_t kFirstLengthCode = 257;
inline constexpr int kMinMatch = 3;
inline constexpr int kMaxMatch = 258;
inline constexpr int kMaxDistance = 32768;

namespace deflate_detail {

inline constexpr int kLengthBase[29] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                        15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                        67, 83, 99, 115, 131, 163, 195, 227, 258};
inline constexpr int kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                         2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
inline constexpr int kDistanceBase[30] = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
inline constexpr int kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                           6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

// The distance code of every distance 1..32768, looked up instead of searched for each
// copy.
extern const std::array<uint8_t, kMaxDistance + 1> kDistanceCodes;

// The length code of every copy length 0..258, less 257 (entries below 3 unused).
extern const std::array<uint8_t, kMaxMatch + 1> kLengthCodeOffsets;

}  // namespace deflate_detail

// Length code (257..285) of a copy length 3..258; 0 for any other length.
inline uint32_t LengthCodeOf(int length) {
  if (length < kMinMatch || length > kMaxMatch) return 0;  // no length code
  return kFirstLengthCode + deflate_detail::kLengthCodeOffsets[static_cast<size_t>(length)];
}

// Base length and number of extra bits of a length code 257..285.
inline int LengthBase(uint32_t lengthCode) {
  return deflate_detail::kLengthBase[lengthCode - kFirstLengthCode];
}
inline int LengthExtraBits(uint32_t lengthCode) {
  return deflate_detail::kLengthExtra[lengthCode - kFirstLengthCode];
}

// Distance code of a distance 1..32768; 30 or more for a distance outside that range.
inline uint32_t DistanceCodeOf(int distance) {
  if (distance < 1 || distance > kMaxDistance) return kDistanceSymbols;
  return deflate_detail::kDistanceCodes[distance];
}
// Base distance and number of extra bits of a distance code 0..29.
inline int DistanceBase(uint32_t distanceCode) {
  return deflate_detail::kDistanceBase[distanceCode];
}
inline int DistanceExtraBits(uint32_t distanceCode) {
  return deflate_detail::kDistanceExtra[distanceCode];
}

}  // namespace genshoku::png
