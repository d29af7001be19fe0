#pragma once
// The tokens of the compact deflate writer: a literal byte or a copy (length, distance),
// packed into 32 bits, and the symbol counts of a run of tokens.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "codecs/png/deflate_tables.h"

namespace genshoku::png {

// A literal is its byte (below 2^16); a copy is length << 16 | distance, with a length of
// 3..258 and a distance of 1..32768.
using DeflateToken = uint32_t;

inline DeflateToken LiteralToken(uint8_t byte) { return byte; }
inline DeflateToken CopyToken(int length, int distance) {
  return static_cast<uint32_t>(length) << 16 | static_cast<uint32_t>(distance);
}
inline bool IsCopy(DeflateToken token) { return token >= (1u << 16); }
inline int TokenLength(DeflateToken token) { return static_cast<int>(token >> 16); }
inline int TokenDistance(DeflateToken token) { return static_cast<int>(token & 0xFFFFu); }
// The input bytes a token stands for.
inline int TokenSpan(DeflateToken token) { return IsCopy(token) ? TokenLength(token) : 1; }

// How often each literal/length and distance symbol occurs, the end-of-block symbol
// included once a block is closed.
struct DeflateHistogram {
  uint32_t literalLength[kLiteralLengthSymbols] = {};
  uint32_t distance[kDistanceSymbols] = {};

  void Add(DeflateToken token) {
    if (IsCopy(token)) {
      ++literalLength[LengthCodeOf(TokenLength(token))];
      ++distance[DistanceCodeOf(TokenDistance(token))];
    } else {
      ++literalLength[token];
    }
  }
  void Add(const DeflateToken* tokens, size_t count) {
    for (size_t i = 0; i < count; ++i) Add(tokens[i]);
  }
  void Add(const DeflateHistogram& other) {
    for (int s = 0; s < kLiteralLengthSymbols; ++s) literalLength[s] += other.literalLength[s];
    for (int s = 0; s < kDistanceSymbols; ++s) distance[s] += other.distance[s];
  }
};

// The bits of extra length and distance values the tokens carry, whatever the codes.
uint64_t ExtraBitsOf(const DeflateHistogram& histogram);

}  // namespace genshoku::png
