#pragma once
// The Adler-32 checksum that closes a zlib stream: two running sums modulo 65521.

#include <cstddef>
#include <cstdint>

namespace genshoku::png {

inline constexpr uint32_t kAdlerModulus = 65521;

// Adds `size` bytes to the running sums s1 (start 1) and s2 (start 0).
void UpdateAdler32(uint32_t& s1, uint32_t& s2, const uint8_t* data, size_t size);

// The checksum as the zlib trailer carries it.
inline uint32_t Adler32Value(uint32_t s1, uint32_t s2) { return (s2 << 16) | s1; }

}  // namespace genshoku::png
