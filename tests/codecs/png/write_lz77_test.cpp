// The writer's LZ77 matches: which copy is chosen where several could be, and where a
// search ends.
#include <gtest/gtest.h>

#include <string>

#include "codecs/png/deflate_tables.h"
#include "codecs/png/lz77_tokenizer.h"
#include "support_png.h"

namespace genshoku::png {
namespace {

using pngtest::RandomBytes;

struct Token {
  uint32_t symbol;
  int distance;  // 0 for literals and the end
  int length;
  bool operator==(const Token&) const = default;
};

void PrintTo(const Token& token, std::ostream* out) {
  *out << "{" << token.symbol << ", " << token.distance << ", " << token.length << "}";
}

std::vector<Token> Tokenize(const std::vector<uint8_t>& input) {
  Lz77Tokens tokens;
  Lz77Tokenize(input.data(), input.size(), tokens);
  std::vector<Token> result;
  for (size_t i = 0; i < tokens.count; ++i) {
    if (tokens.symbol[i] >= kFirstLengthCode) {
      result.push_back(
          {tokens.symbol[i], CopyDistance(tokens.copy[i]), CopyLength(tokens.copy[i])});
    } else {
      EXPECT_EQ(tokens.copy[i], kNoCopy);
      result.push_back({tokens.symbol[i], 0, 0});
    }
  }
  return result;
}

// Replays the tokens; every copy must lie wholly before the position it codes.
std::vector<uint8_t> Replay(const std::vector<Token>& tokens) {
  std::vector<uint8_t> out;
  for (const Token& token : tokens) {
    if (token.symbol < kEndOfBlock) {
      out.push_back(static_cast<uint8_t>(token.symbol));
    } else if (token.symbol > kEndOfBlock) {
      EXPECT_EQ(LengthCodeOf(token.length), token.symbol);
      EXPECT_GE(token.distance, token.length);
      EXPECT_LE(token.distance, 32768);
      EXPECT_LE(static_cast<size_t>(token.distance), out.size());
      const size_t from = out.size() - static_cast<size_t>(token.distance);
      for (int i = 0; i < token.length; ++i) out.push_back(out[from + static_cast<size_t>(i)]);
    }
  }
  return out;
}

std::vector<uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

TEST(WriteLz77, ShortInputsAndTheLastThreeBytesAreLiterals) {
  EXPECT_EQ(Tokenize({}), (std::vector<Token>{{256, 0, 0}}));
  EXPECT_EQ(Tokenize(Bytes("aaa")),
            (std::vector<Token>{{'a', 0, 0}, {'a', 0, 0}, {'a', 0, 0}, {256, 0, 0}}));
  // "abcabc": at position 3 only three bytes remain, so no copy may start there.
  const std::vector<Token> tokens = Tokenize(Bytes("abcabc"));
  ASSERT_EQ(tokens.size(), 7u);
  for (size_t i = 0; i < 6; ++i) EXPECT_EQ(tokens[i].symbol, static_cast<uint32_t>("abcabc"[i]));
}

TEST(WriteLz77, ARunIsCodedByCopiesThatNeverOverlapTheirOwnOutput) {
  const std::vector<uint8_t> input(300, 0x42);
  const std::vector<Token> tokens = Tokenize(input);
  // Each copy reaches back to the start and so doubles what is there. The last one is
  // cut short by the end of the input; then the three starting positions all give 108
  // bytes, and the nearest of them wins.
  const std::vector<Token> expected = {{0x42, 0, 0},  {0x42, 0, 0},    {0x42, 0, 0},  {257, 3, 3},
                                       {260, 6, 6},   {265, 12, 12},   {270, 24, 24}, {274, 48, 48},
                                       {278, 96, 96}, {279, 190, 108}, {256, 0, 0}};
  EXPECT_EQ(tokens, expected);
  EXPECT_EQ(Replay(tokens), input);
}

TEST(WriteLz77, AmongEqualLengthsTheNearestMatchWins) {
  // Positions 0 and 1 both start "aaa" (position 1 could not be copied: its only match
  // would overlap it). At position 6 both give three bytes; the nearer one, 1, wins.
  const std::vector<Token> tokens = Tokenize(Bytes("aaaaXQaaaY"));
  const std::vector<Token> expected = {{'a', 0, 0}, {'a', 0, 0}, {'a', 0, 0},
                                       {'a', 0, 0}, {'X', 0, 0}, {'Q', 0, 0},
                                       {257, 5, 3}, {'Y', 0, 0}, {256, 0, 0}};
  EXPECT_EQ(tokens, expected);
}

TEST(WriteLz77, LongerMatchesBeatNearerOnesAndLengthsStopAt258) {
  std::vector<uint8_t> input = RandomBytes(600, 3);
  // 0..599 random; then 258 bytes copied from 10, then 257 bytes from 300, then a tail.
  const std::vector<uint8_t> first(input.begin() + 10, input.begin() + 10 + 300);
  input.insert(input.end(), first.begin(), first.begin() + 258);
  input.push_back(0xAA);
  input.push_back(0x55);
  const std::vector<uint8_t> second(input.begin() + 300, input.begin() + 557);
  input.insert(input.end(), second.begin(), second.end());
  input.push_back(static_cast<uint8_t>(input[557] ^ 0xFF));  // the 258th byte differs
  input.insert(input.end(), {1, 2, 3, 4, 5});

  const std::vector<Token> tokens = Tokenize(input);
  EXPECT_EQ(Replay(tokens), input);
  size_t copiesOf258 = 0;
  size_t copiesOf257 = 0;
  for (const Token& token : tokens) {
    if (token.length == 258) {
      ++copiesOf258;
      EXPECT_EQ(token.symbol, 285u);
      EXPECT_EQ(token.distance, 590);
    }
    if (token.length == 257) {
      ++copiesOf257;
      EXPECT_EQ(token.symbol, 284u);
      EXPECT_EQ(token.distance, 560);
    }
  }
  EXPECT_EQ(copiesOf258, 1u);
  EXPECT_EQ(copiesOf257, 1u);
}

TEST(WriteLz77, OnlyAMatchOf258EndsTheSearch) {
  // Literal positions 0, 1 and 2 start runs of 259, 258 and 257 'a's: for the run of 258
  // further on, the nearest gives 257 bytes and the next one all 258.
  std::vector<uint8_t> input(259, 'a');
  input.push_back('b');
  input.insert(input.end(), 258, 'a');
  input.push_back('c');
  const std::vector<Token> tokens = Tokenize(input);
  EXPECT_EQ(Replay(tokens), input);
  ASSERT_GE(tokens.size(), 3u);
  EXPECT_EQ(tokens[tokens.size() - 3], (Token{285, 259, 258}));
}

}  // namespace
}  // namespace genshoku::png
