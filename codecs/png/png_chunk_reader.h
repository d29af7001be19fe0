#pragma once
// Reads the parts of a PNG file in order: the signature, then for every chunk its length,
// type, data and CRC. It counts what it has read so that a length reaching past the end of
// the stream is recognised before any memory is set aside for it.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "codecs/png/png_streams.h"

namespace genshoku::png {

struct PngChunkHeader {
  uint32_t length = 0;
  char type[4] = {};

  bool Is(const char (&name)[5]) const {
    return type[0] == name[0] && type[1] == name[1] && type[2] == name[2] && type[3] == name[3];
  }
  // Chunk types are four ASCII letters; anything else is not a chunk but damage (or
  // whatever was appended to the file).
  bool HasValidType() const;
};

uint32_t ReadBigEndian32(const uint8_t* bytes);
uint32_t ReadBigEndian16(const uint8_t* bytes);

class PngChunkReader {
 public:
  explicit PngChunkReader(VxPngGenericBinaryStream& stream);

  // True when the next 8 bytes are the PNG signature.
  bool ReadSignature();

  // Each returns false when the stream delivers fewer bytes than the part needs.
  bool ReadChunkHeader(PngChunkHeader& header);
  // Appends `length` data bytes to `data`. On a short read `data` is left as it was.
  bool AppendChunkData(uint32_t length, std::vector<uint8_t>& data);
  // Passes over `length` data bytes without holding them (a file stream seeks).
  bool SkipChunkData(uint32_t length);
  // The CRC is not checked here: a damaged chunk is decoded as far as it goes.
  bool SkipCrc();
  // Reads the CRC and tells whether it is that of the chunk's type and `data`.
  bool ReadCrc(const PngChunkHeader& header, const uint8_t* data, size_t size, bool* matches);

  // The stream's length as it told it, -1 when it cannot tell.
  int64_t totalSize() const { return totalSize_; }

 private:
  bool ReadExactly(uint8_t* buffer, size_t count);

  VxPngGenericBinaryStream& stream_;
  int64_t totalSize_;  // -1 when the stream cannot tell
  int64_t consumed_ = 0;
};

}  // namespace genshoku::png
