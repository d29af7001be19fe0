#pragma once
// Helpers for the PNG writer's tests: zlib (an independent implementation) to check the
// written streams, a chunk splitter, deterministic test pictures and a stable hash.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/diagnostics.h"

namespace genshoku::png::write_support {

struct Chunk {
  std::string type;
  std::vector<uint8_t> data;
  uint32_t storedCrc = 0;
  uint32_t zlibCrc = 0;  // zlib's CRC-32 over type and data
};

// Splits a PNG file into its chunks; false if the signature or the framing is broken.
bool SplitChunks(const std::vector<uint8_t>& png, std::vector<Chunk>& chunks);

// Inflates a zlib stream with zlib, which also checks the header and the Adler-32.
// False (with zlib's message in `error`) if zlib refuses the stream or it has extra bytes.
bool ZlibInflate(const std::vector<uint8_t>& stream, std::vector<uint8_t>& out,
                 std::string* error = nullptr);

// Inflates raw deflate data (no zlib header or trailer).
bool RawInflate(const std::vector<uint8_t>& deflate, std::vector<uint8_t>& out,
                std::string* error = nullptr);

// A palette PNG decoded by zlib: header fields, the PLTE bytes and the rows without their
// filter bytes. `ok` is false with a reason if anything is off (CRC, filter byte, size).
struct DecodedPng {
  bool ok = false;
  std::string problem;
  uint32_t width = 0, height = 0;
  int bitDepth = 0, colorType = 0;
  std::vector<uint8_t> palette;
  std::vector<uint8_t> pixels;
  std::vector<uint8_t> zlibStream;
  std::vector<std::string> chunkTypes;
};
DecodedPng DecodeWithZlib(const std::vector<uint8_t>& png);

// The generators below feed the golden outputs of the encoder tests: changing them changes
// every golden hash.

// A small deterministic generator (xorshift64*), the same on every platform.
class TestRandom {
 public:
  explicit TestRandom(uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}
  uint64_t Next();
  uint32_t Below(uint32_t bound) { return static_cast<uint32_t>(Next() % bound); }

 private:
  uint64_t state_;
};

std::vector<uint8_t> RandomBytes(size_t count, uint64_t seed);

// An index picture that looks like a reduced photo: a diagonal gradient over the palette
// with a little dithering noise.
std::vector<uint8_t> GradientIndexPicture(int width, int height, uint64_t seed);

// A photo-like truecolour picture (red, green, blue per pixel): broad gradients, soft
// bands and a fine grain, from integer arithmetic only so that it is the same everywhere.
std::vector<uint8_t> PhotoLikeRgb(int width, int height, uint64_t seed);

// Reduces a truecolour picture crudely to the 3-3-2 palette (red in the top three bits,
// then green, then blue in the low two) with Floyd-Steinberg error diffusion in
// integers, which leaves the grain a reduced photo has.
std::vector<uint8_t> DitherTo332(const std::vector<uint8_t>& rgb, int width, int height);

// A palette of 256 distinct entries.
std::vector<uint8_t> TestPalette();

// FNV-1a, 64 bits: a stable fingerprint of encoder output.
uint64_t Fnv1a64(const std::vector<uint8_t>& bytes);

// The lines printed on one stream, split at line feeds (the feeds dropped).
std::vector<std::string> LinesOf(const CapturedDiagnostics& diagnostics, DiagnosticStream stream);

}  // namespace genshoku::png::write_support
