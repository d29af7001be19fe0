#pragma once
// Appends the parts of a PNG file to a byte vector: the signature and chunks (length,
// type, data, CRC-32 of type and data).

#include <cstddef>
#include <cstdint>
#include <vector>

namespace genshoku::png {

void AppendPngSignature(std::vector<uint8_t>& png);

// Appends a chunk of type `type` (four letters) holding data[0..size).
void AppendPngChunk(std::vector<uint8_t>& png, const char* type, const uint8_t* data, size_t size);

void WriteBigEndian32(uint8_t* target, uint32_t value);

}  // namespace genshoku::png
