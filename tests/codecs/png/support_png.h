#pragma once
// What the reader's and the writer's tests share: zlib (an independent implementation) in
// both directions, chunk framing, a deterministic generator, a stable hash and the lines of
// captured diagnostics.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/diagnostics.h"

namespace genshoku::png::pngtest {

using Bytes = std::vector<uint8_t>;

// xorshift64*, the same everywhere: the golden outputs depend on its numbers.
class TestRandom {
 public:
  explicit TestRandom(uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}
  uint64_t Next();
  uint32_t Below(uint32_t bound) { return static_cast<uint32_t>(Next() % bound); }

 private:
  uint64_t state_;
};

Bytes RandomBytes(size_t count, uint64_t seed);

// zlib's deflate with a 32 KiB window; `strategy` 0 is Z_DEFAULT_STRATEGY.
Bytes ZlibCompress(const Bytes& data, int level, int strategy = 0);
// zlib's inflate of a zlib stream (header and Adler-32 checked) or of raw deflate data;
// false, with zlib's reason in `error`, if zlib refuses it or bytes follow its end.
bool ZlibInflate(const Bytes& stream, Bytes& out, std::string* error = nullptr, bool raw = false);

Bytes Signature();
// The signature and the given chunks.
Bytes PngFile(const std::vector<Bytes>& chunks);
// Length, type, data and zlib's CRC.
Bytes Chunk(const std::string& type, const Bytes& data);
Bytes HeaderChunk(uint32_t width, uint32_t height, int bitDepth, int colorType, int interlace);
void Append(Bytes& to, const Bytes& what);

// FNV-1a, 64 bits: a stable fingerprint of output.
uint64_t Fnv1a64(const Bytes& bytes);
uint64_t Fnv1a64(const std::string& text);

// The lines printed on one stream, without their line feeds.
std::vector<std::string> LinesOf(const CapturedDiagnostics& diagnostics, DiagnosticStream stream);
// The lines that start with `prefix`.
std::vector<std::string> WithPrefix(const std::vector<std::string>& lines,
                                    const std::string& prefix);

}  // namespace genshoku::png::pngtest
