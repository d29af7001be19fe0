#pragma once
// The CRC-32 that protects every PNG chunk (reflected polynomial 0xEDB88320).

#include <cstddef>
#include <cstdint>

namespace genshoku::png {

// Continues a CRC register over `size` bytes. The register starts as 0xFFFFFFFF and is
// complemented at the end (Crc32 below does both).
uint32_t UpdateCrc32(uint32_t crcRegister, const uint8_t* data, size_t size);

// The finished CRC-32 of one piece of data.
uint32_t Crc32(const uint8_t* data, size_t size);

}  // namespace genshoku::png
