// The tokenizer against its first, node-by-node form (kept in the support files): any
// faster search has to find exactly the same match at every position.
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "codecs/png/lz77_tokenizer.h"
#include "support_write_literal_lz77.h"
#include "support_write_png.h"

namespace genshoku::png {
namespace {

using namespace pngtest;

void ExpectSameTokens(const Bytes& input) {
  Lz77Tokens expected;
  literal::LiteralLz77Tokenize(input.data(), input.size(), expected);
  Lz77Tokens actual;
  Lz77Tokenize(input.data(), input.size(), actual);
  ASSERT_EQ(actual.count, expected.count);
  for (size_t i = 0; i < expected.count; ++i) {
    ASSERT_EQ(actual.symbol[i], expected.symbol[i]) << "token " << i;
    ASSERT_EQ(actual.copy[i], expected.copy[i]) << "token " << i;
  }
}

Bytes SmallAlphabet(size_t size, uint32_t symbols, uint64_t seed) {
  TestRandom random(seed);
  Bytes bytes(size);
  for (uint8_t& byte : bytes) byte = static_cast<uint8_t>(random.Below(symbols));
  return bytes;
}

TEST(WriteLz77LiteralEquivalence, SmallAlphabetsAndShortInputs) {
  for (size_t size : {0u, 1u, 3u, 4u, 5u, 7u, 100u, 1000u}) {
    for (uint32_t symbols : {1u, 2u, 3u, 256u})
      ExpectSameTokens(SmallAlphabet(size, symbols, size));
  }
  for (uint32_t symbols : {2u, 3u, 4u, 5u, 16u, 64u, 256u}) {
    SCOPED_TRACE(symbols);
    ExpectSameTokens(SmallAlphabet(150000, symbols, symbols));
  }
}

TEST(WriteLz77LiteralEquivalence, RunsPeriodsAndTheLongestMatch) {
  Bytes runs;
  TestRandom random(4);
  while (runs.size() < 200000)
    runs.insert(runs.end(), 1 + random.Below(700), static_cast<uint8_t>(random.Below(4)));
  ExpectSameTokens(runs);
  for (size_t period :
       {1u, 2u, 3u, 7u, 255u, 257u, 258u, 259u, 300u, 4097u, 32767u, 32768u, 32769u}) {
    SCOPED_TRACE(period);
    Bytes base = SmallAlphabet(period, 256, period);
    Bytes repeated;
    while (repeated.size() < 3 * period + 5000)
      repeated.insert(repeated.end(), base.begin(), base.end());
    ExpectSameTokens(repeated);
  }
}

TEST(WriteLz77LiteralEquivalence, HashCollisionsAndChainsThatRunDry) {
  // Different triples that share one hash, so that chains mix positions whose bytes do
  // not match at all.
  std::vector<std::array<uint8_t, 3>> colliding;
  const uint32_t target = ((10u << 24) + (20u << 8) + 30u) % 65521;
  for (uint32_t b0 = 0; b0 < 256 && colliding.size() < 12; ++b0) {
    for (uint32_t b1 = 0; b1 < 256 && colliding.size() < 12; ++b1) {
      for (uint32_t b2 = 0; b2 < 256; ++b2) {
        if (((b0 << 24) + (b1 << 8) + b2) % 65521 == target) {
          colliding.push_back(
              {static_cast<uint8_t>(b0), static_cast<uint8_t>(b1), static_cast<uint8_t>(b2)});
        }
      }
    }
  }
  ASSERT_GE(colliding.size(), 4u);
  TestRandom random(9);
  Bytes mixed;
  while (mixed.size() < 120000) {
    const auto& triple = colliding[random.Below(static_cast<uint32_t>(colliding.size()))];
    mixed.insert(mixed.end(), triple.begin(), triple.end());
    if (random.Below(3) == 0) mixed.push_back(static_cast<uint8_t>(random.Below(256)));
  }
  ExpectSameTokens(mixed);
  // Nearly all literals: the pool of chain nodes runs dry again and again.
  ExpectSameTokens(SmallAlphabet(400000, 256, 77));
}

TEST(WriteLz77LiteralEquivalence, DitheredPicturesAsTheWriterFeedsThem) {
  const int width = 900;
  const Bytes indices = DitherTo332(PhotoLikeRgb(width, 256, 3), width, 256);
  Bytes unit;
  for (int y = 0; y < 256; ++y) {
    unit.push_back(0);
    unit.insert(unit.end(), indices.begin() + y * width, indices.begin() + (y + 1) * width);
  }
  ExpectSameTokens(unit);
  ExpectSameTokens(GradientIndexPicture(1200, 256, 5));
}

}  // namespace
}  // namespace genshoku::png
