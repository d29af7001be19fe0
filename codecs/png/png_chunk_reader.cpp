#include "codecs/png/png_chunk_reader.h"

#include <algorithm>

#include "codecs/png/crc32.h"

namespace genshoku::png {

namespace {

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

// Chunk data is read in pieces of this size, so that memory grows only with bytes that
// actually arrived, even from a stream that cannot tell its length.
constexpr size_t kReadPiece = size_t{1} << 20;

}  // namespace

uint32_t ReadBigEndian32(const uint8_t* bytes) {
  return (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) |
         uint32_t{bytes[3]};
}

uint32_t ReadBigEndian16(const uint8_t* bytes) {
  return (uint32_t{bytes[0]} << 8) | uint32_t{bytes[1]};
}

bool PngChunkHeader::HasValidType() const {
  for (char byte : type) {
    if (!((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z'))) return false;
  }
  return true;
}

PngChunkReader::PngChunkReader(VxPngGenericBinaryStream& stream)
    : stream_(stream), totalSize_(stream.TotalSize()) {}

bool PngChunkReader::ReadSignature() {
  uint8_t bytes[8];
  return ReadExactly(bytes, sizeof bytes) && std::equal(bytes, bytes + 8, kSignature);
}

bool PngChunkReader::ReadChunkHeader(PngChunkHeader& header) {
  uint8_t bytes[8];
  if (!ReadExactly(bytes, sizeof bytes)) return false;
  header.length = ReadBigEndian32(bytes);
  std::copy(bytes + 4, bytes + 8, header.type);
  return true;
}

bool PngChunkReader::AppendChunkData(uint32_t length, std::vector<uint8_t>& data) {
  // A length beyond the end of the stream would end in a short read anyway.
  if (totalSize_ >= 0 && length > totalSize_ - consumed_) return false;
  const size_t start = data.size();
  size_t left = length;
  while (left > 0) {
    const size_t piece = std::min(left, kReadPiece);
    const size_t before = data.size();
    data.resize(before + piece);
    if (!ReadExactly(data.data() + before, piece)) {
      data.resize(start);
      return false;
    }
    left -= piece;
  }
  return true;
}

bool PngChunkReader::SkipChunkData(uint32_t length) {
  if (totalSize_ >= 0 && length > totalSize_ - consumed_) return false;
  if (!stream_.SkipBytes(length)) return false;
  consumed_ += length;
  return true;
}

bool PngChunkReader::ReadCrc(const PngChunkHeader& header, const uint8_t* data, size_t size,
                             bool* matches) {
  uint8_t stored[4];
  if (!ReadExactly(stored, sizeof stored)) return false;
  uint32_t crc = UpdateCrc32(0xFFFFFFFFu, reinterpret_cast<const uint8_t*>(header.type), 4);
  crc = UpdateCrc32(crc, data, size) ^ 0xFFFFFFFFu;
  *matches = crc == ReadBigEndian32(stored);
  return true;
}

bool PngChunkReader::SkipCrc() {
  uint8_t crc[4];
  return ReadExactly(crc, sizeof crc);
}

bool PngChunkReader::ReadExactly(uint8_t* buffer, size_t count) {
  const size_t arrived = stream_.ReadBytes(buffer, count);
  consumed_ += static_cast<int64_t>(arrived);
  return arrived == count;
}

}  // namespace genshoku::png
