#pragma once
// Deflate's length and distance alphabets: which code carries a copy length or distance,
// and the extra bits that follow the code.

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

// Length code (257..285) of a copy length 3..258; 0 for any other length.
uint32_t LengthCodeOf(int length);
// Base length and number of extra bits of a length code 257..285.
int LengthBase(uint32_t lengthCode);
int LengthExtraBits(uint32_t lengthCode);

// Distance code of a distance 1..32768; 30 or more for a distance outside that range.
uint32_t DistanceCodeOf(int distance);
// Base distance and number of extra bits of a distance code 0..29.
int DistanceBase(uint32_t distanceCode);
int DistanceExtraBits(uint32_t distanceCode);

}  // namespace genshoku::png
