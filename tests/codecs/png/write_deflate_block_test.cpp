#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "codecs/png/deflate_blocks.h"
#include "codecs/png/deflate_tables.h"
#include "codecs/png/zlib_output_buffer.h"
#include "support_write_deep_trees.h"
#include "support_write_png.h"

namespace genshoku::png {
namespace {

using write_support::LinesOf;
using write_support::RandomBytes;
using write_support::RawInflate;

// One dynamic block written into a fresh buffer with the verbose flag, as the encoder
// does it, and what zlib makes of it.
struct DynamicBlock {
  int result = 0;
  std::vector<uint8_t> deflate;
  std::vector<std::string> lines;
  size_t bufPtr = 0;
  uint32_t bufBit = 0;
  uint32_t adler = 0;
  int64_t received = 0;
};

DynamicBlock WriteOneBlock(const std::vector<uint8_t>& input, int last = 1) {
  CapturedDiagnostics captured;
  ZlibOutputBuffer buffer(captured);
  buffer.verbose = 1;
  DynamicBlock block;
  block.result = WriteDynamicBlock(buffer, input.data(), input.size(), last);
  block.bufPtr = buffer.BufPtr;
  block.bufBit = buffer.BufBit;
  block.adler = buffer.Adler32();
  block.received = buffer.receivedCount;
  buffer.ClosePartialByte();
  block.deflate = buffer.TakeStream();
  block.lines = LinesOf(captured, DiagnosticStream::Out);
  return block;
}

void ExpectInflatesTo(const std::vector<uint8_t>& deflate, const std::vector<uint8_t>& expected) {
  std::vector<uint8_t> out;
  std::string error;
  ASSERT_TRUE(RawInflate(deflate, out, &error)) << error;
  EXPECT_EQ(out, expected);
}

// Reads the fields at the start of a block, least significant bit first.
class HeaderBits {
 public:
  explicit HeaderBits(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}
  uint32_t Read(int count) {
    uint32_t value = 0;
    for (int i = 0; i < count; ++i, ++position_) {
      value |= uint32_t{(bytes_[position_ / 8] >> (position_ % 8)) & 1u} << i;
    }
    return value;
  }

 private:
  const std::vector<uint8_t>& bytes_;
  size_t position_ = 0;
};

std::vector<std::string> WithPrefix(const std::vector<std::string>& lines, const std::string& prefix) {
  std::vector<std::string> found;
  for (const std::string& line : lines) {
    if (line.rfind(prefix, 0) == 0) found.push_back(line);
  }
  return found;
}

TEST(WriteDeflateBlockTest, OneByteGivesTwoOneBitCodesAndADummyDistance) {
  const DynamicBlock block = WriteOneBlock({'a'});
  ASSERT_EQ(block.result, 1);
  ExpectInflatesTo(block.deflate, {'a'});

  std::vector<std::string> expected = {"Max depth=1", "Root Weight=2"};
  for (int symbol = 0; symbol < 286; ++symbol) {
    char line[64];
    std::snprintf(line, sizeof line, "LiteralLength[%3d]=%d", symbol,
                  (symbol == 'a' || symbol == 256) ? 1 : 0);
    expected.push_back(line);
  }
  expected.push_back("hDistLen cannot be zero.  It needs to be at least one.");
  expected.push_back("Making up a dummy backdist.");
  expected.push_back("DistLen[  0]=0  HuffmanCode=00000000");
  // 256 lengths of 0 (255 literal/length and the dummy distance) and 2 of 1.
  expected.push_back("CodeLengthLen[  0]=1  HuffmanCode=00000000");
  expected.push_back("CodeLengthLen[  1]=1  HuffmanCode=00000001");
  for (int symbol = 2; symbol < 19; ++symbol) {
    expected.push_back("CodeLengthLen[" + std::string(symbol < 10 ? "  " : " ") +
                       std::to_string(symbol) + "]=0  HuffmanCode=00000000");
  }
  expected.push_back("Buffer grows from 0 to 256");
  EXPECT_EQ(block.lines, expected);

  // 3 + 14 header bits, 57 for the code-length lengths, 258 one-bit lengths, two tokens.
  EXPECT_EQ(block.bufPtr * 8 + (block.bufBit == 1 ? 0 : __builtin_ctz(block.bufBit)), 334u);
  HeaderBits bits(block.deflate);
  EXPECT_EQ(bits.Read(1), 1u);   // BFINAL
  EXPECT_EQ(bits.Read(2), 2u);   // dynamic
  EXPECT_EQ(bits.Read(5), 0u);   // 257 literal/length codes
  EXPECT_EQ(bits.Read(5), 0u);   // one distance code
  EXPECT_EQ(bits.Read(4), 15u);  // all 19 code-length lengths
  EXPECT_EQ(block.adler, static_cast<uint32_t>(adler32(1, reinterpret_cast<const Bytef*>("a"), 1)));
  EXPECT_EQ(block.received, 1);
}

TEST(WriteDeflateBlockTest, InputsShorterThanFourBytesHaveNoCopy) {
  for (const std::vector<uint8_t>& input :
       {std::vector<uint8_t>{7, 7}, std::vector<uint8_t>{0, 0, 0}, std::vector<uint8_t>{1, 2, 3}}) {
    const DynamicBlock block = WriteOneBlock(input);
    ASSERT_EQ(block.result, 1);
    ExpectInflatesTo(block.deflate, input);
    EXPECT_EQ(WithPrefix(block.lines, "DistLen").size(), 1u);
    EXPECT_TRUE(WithPrefix(block.lines, "BackdistLength").empty());
    EXPECT_TRUE(WithPrefix(block.lines, "hDist=").empty());
  }
}

TEST(WriteDeflateBlockTest, ASingleDistanceCodeGetsLengthOne) {
  // "abcd" and a copy of it from 4 back: distance code 3 only.
  const std::vector<uint8_t> input = {'a', 'b', 'c', 'd', 'a', 'b', 'c', 'd'};
  const DynamicBlock block = WriteOneBlock(input);
  ASSERT_EQ(block.result, 1);
  ExpectInflatesTo(block.deflate, input);
  const std::vector<std::string> backdist = WithPrefix(block.lines, "BackdistLength");
  ASSERT_EQ(backdist.size(), 30u);
  for (int symbol = 0; symbol < 30; ++symbol) {
    EXPECT_EQ(backdist[symbol].back(), symbol == 3 ? '1' : '0') << backdist[symbol];
  }
  EXPECT_EQ(WithPrefix(block.lines, "hDist="), std::vector<std::string>{"hDist=4"});
  EXPECT_EQ(WithPrefix(block.lines, "DistLen"),
            (std::vector<std::string>{"DistLen[  0]=0  HuffmanCode=00000000",
                                      "DistLen[  1]=0  HuffmanCode=00000000",
                                      "DistLen[  2]=0  HuffmanCode=00000000",
                                      "DistLen[  3]=1  HuffmanCode=00000000"}));
  HeaderBits bits(block.deflate);
  bits.Read(3 + 5);
  EXPECT_EQ(bits.Read(5), 3u);  // HDIST - 1
}

TEST(WriteDeflateBlockTest, LongestCopiesAndAllKindsOfInputDecode) {
  std::vector<uint8_t> copies258And257 = RandomBytes(600, 3);
  copies258And257.insert(copies258And257.end(), copies258And257.begin() + 10,
                         copies258And257.begin() + 268);
  copies258And257.push_back(0xAA);
  copies258And257.insert(copies258And257.end(), copies258And257.begin() + 300,
                         copies258And257.begin() + 557);
  copies258And257.push_back(static_cast<uint8_t>(copies258And257[557] ^ 0xFF));

  std::vector<uint8_t> text;
  const std::string sentence = "the quick brown fox jumps over the lazy dog; ";
  for (int i = 0; i < 200; ++i) text.insert(text.end(), sentence.begin(), sentence.begin() + 10 + i % 30);

  const std::vector<std::vector<uint8_t>> inputs = {
      copies258And257, std::vector<uint8_t>(300, 0x42), std::vector<uint8_t>(70000, 0), text,
      RandomBytes(50000, 12), write_support::GradientIndexPicture(300, 200, 5)};
  for (const std::vector<uint8_t>& input : inputs) {
    const DynamicBlock block = WriteOneBlock(input);
    ASSERT_EQ(block.result, 1);
    ExpectInflatesTo(block.deflate, input);
    EXPECT_EQ(block.adler,
              static_cast<uint32_t>(adler32(1, input.data(), static_cast<uInt>(input.size()))));
    EXPECT_EQ(block.received, static_cast<int64_t>(input.size()));
    // No repeat codes: symbols 16 to 18 of the code-length alphabet never get a code.
    const std::vector<std::string> codeLength = WithPrefix(block.lines, "CodeLengthLen");
    ASSERT_EQ(codeLength.size(), 19u);
    for (int symbol = 16; symbol < 19; ++symbol) {
      EXPECT_EQ(codeLength[symbol].substr(0, 21), "CodeLengthLen[ " + std::to_string(symbol) + "]=0 ");
    }
  }
}

TEST(WriteDeflateBlockTest, DiagnosticLinesComeInTheirFixedOrder) {
  const std::vector<uint8_t> input = write_support::GradientIndexPicture(120, 30, 9);
  const DynamicBlock block = WriteOneBlock(input);
  ASSERT_EQ(block.result, 1);
  const std::vector<std::string>& lines = block.lines;
  size_t at = 0;
  const auto expectPrefix = [&](const std::string& prefix) {
    ASSERT_LT(at, lines.size());
    EXPECT_EQ(lines[at].rfind(prefix, 0), 0u) << "line " << at << ": " << lines[at];
    ++at;
  };
  expectPrefix("Max depth=");
  expectPrefix("Root Weight=");
  for (int symbol = 0; symbol < 286; ++symbol) {
    char prefix[32];
    std::snprintf(prefix, sizeof prefix, "LiteralLength[%3d]=", symbol);
    expectPrefix(prefix);
  }
  expectPrefix("Max depth=");
  expectPrefix("Root Weight=");
  std::vector<std::string> distanceLengths;
  for (int symbol = 0; symbol < 30; ++symbol) {
    char prefix[32];
    std::snprintf(prefix, sizeof prefix, "BackdistLength[%3d]=", symbol);
    expectPrefix(prefix);
    distanceLengths.push_back(lines[at - 1].substr(std::strlen(prefix)));
  }
  int hDist = 0;
  ASSERT_EQ(std::sscanf(lines[at].c_str(), "hDist=%d", &hDist), 1) << lines[at];
  ++at;
  ASSERT_GE(hDist, 1);
  EXPECT_NE(distanceLengths[static_cast<size_t>(hDist - 1)], "0");
  for (int symbol = hDist; symbol < 30; ++symbol) EXPECT_EQ(distanceLengths[symbol], "0");
  for (int symbol = 0; symbol < hDist; ++symbol) {
    char prefix[48];
    std::snprintf(prefix, sizeof prefix, "DistLen[%3d]=%s  HuffmanCode=", symbol,
                  distanceLengths[symbol].c_str());
    expectPrefix(prefix);
  }
  for (int symbol = 0; symbol < 19; ++symbol) {
    char prefix[32];
    std::snprintf(prefix, sizeof prefix, "CodeLengthLen[%3d]=", symbol);
    expectPrefix(prefix);
  }
  for (; at < lines.size(); ++at) EXPECT_EQ(lines[at].rfind("Buffer grows from ", 0), 0u) << lines[at];
}

struct DeepCase {
  const char* name;
  std::vector<uint8_t> input;
  std::vector<std::string> limitLines;
};

TEST(WriteDeflateBlockTest, TreesThatAreTooDeepAreFlattenedForEachAlphabet) {
  const std::vector<DeepCase> cases = {
      {"literal/length", write_support::DeepLiteralLengthTreeInput(),
       {"Code Tree depth exceeds maximum allowed... 17", "Reducing Code Tree Depth... 16",
        "Reducing Code Tree Depth... 15"}},
      {"distance", write_support::DeepDistanceTreeInput(),
       {"Backdist Tree depth exceeds maximum allowed... 16", "Reducing Backdist Tree Depth... 13"}},
      {"code length", write_support::DeepCodeLengthTreeInput(),
       {"Code-Length Tree depth exceeds maximum allowed... 9",
        "Reducing Code-Length Tree Depth... 7"}},
  };
  for (const DeepCase& deepCase : cases) {
    SCOPED_TRACE(deepCase.name);
    const DynamicBlock block = WriteOneBlock(deepCase.input);
    ASSERT_EQ(block.result, 1);
    ExpectInflatesTo(block.deflate, deepCase.input);
    std::vector<std::string> limitLines;
    for (const std::string& line : block.lines) {
      if (line.find("Tree") != std::string::npos) limitLines.push_back(line);
    }
    EXPECT_EQ(limitLines, deepCase.limitLines);
    // Every length sent stays within its alphabet's limit.
    for (const std::string& line : block.lines) {
      int symbol = 0;
      int length = 0;
      if (std::sscanf(line.c_str(), "LiteralLength[%d]=%d", &symbol, &length) == 2 ||
          std::sscanf(line.c_str(), "BackdistLength[%d]=%d", &symbol, &length) == 2) {
        EXPECT_LE(length, 15) << line;
      }
      if (std::sscanf(line.c_str(), "CodeLengthLen[%d]=%d", &symbol, &length) == 2) {
        EXPECT_LE(length, 7) << line;
      }
    }
  }
}

TEST(WriteDeflateBlockTest, StoredBlocksStartOnTheNextByteAndCarryTheirLength) {
  CapturedDiagnostics captured;
  ZlibOutputBuffer buffer(captured);
  buffer.verbose = 1;
  buffer.WriteBits(0b10110, 5);  // the three header bits then end exactly on the byte
  const uint8_t input[3] = {1, 2, 3};
  EXPECT_EQ(WriteStoredBlock(buffer, input, 3, 1), 1);
  const std::vector<uint8_t> expected = {0x36, 0x03, 0x00, 0xFC, 0xFF, 1, 2, 3};
  EXPECT_EQ(std::vector<uint8_t>(buffer.data().begin(), buffer.data().begin() + 8), expected);
  EXPECT_EQ(buffer.receivedCount, 3);
  buffer.WriteBits(0b01, 2);
  EXPECT_EQ(WriteStoredBlock(buffer, input, 0, 0), 1);  // skips the rest of byte 8
  EXPECT_EQ(buffer.data()[8], 0x01);
  EXPECT_EQ(buffer.BufPtr, 13u);
  EXPECT_EQ(LinesOf(captured, DiagnosticStream::Out),
            (std::vector<std::string>{"Buffer grows from 0 to 256", "zLib Block nByte=3 bFinal=1",
                                      "BufPtr=5 BufBit=1", "zLib Block nByte=0 bFinal=0",
                                      "BufPtr=13 BufBit=1"}));
}

TEST(WriteDeflateBlockTest, StoredAndDynamicBlocksFollowEachOtherAtAnyBit) {
  CapturedDiagnostics captured;
  ZlibOutputBuffer buffer(captured);
  const std::vector<uint8_t> first = RandomBytes(40000, 21);
  const std::vector<uint8_t> second = write_support::GradientIndexPicture(64, 64, 22);
  const std::vector<uint8_t> third = {9, 9, 9, 9, 9};
  ASSERT_EQ(WriteDynamicBlock(buffer, second.data(), second.size(), 0), 1);
  ASSERT_EQ(WriteStoredBlock(buffer, first.data(), 32768, 0), 1);
  ASSERT_EQ(WriteStoredBlock(buffer, first.data() + 32768, first.size() - 32768, 0), 1);
  ASSERT_EQ(WriteDynamicBlock(buffer, second.data(), second.size(), 0), 1);
  ASSERT_EQ(WriteDynamicBlock(buffer, third.data(), third.size(), 1), 1);
  std::vector<uint8_t> all(second);
  all.insert(all.end(), first.begin(), first.end());
  all.insert(all.end(), second.begin(), second.end());
  all.insert(all.end(), third.begin(), third.end());
  EXPECT_EQ(buffer.receivedCount, static_cast<int64_t>(all.size()));
  EXPECT_EQ(buffer.Adler32(), static_cast<uint32_t>(adler32(1, all.data(), static_cast<uInt>(all.size()))));
  buffer.ClosePartialByte();
  ExpectInflatesTo(buffer.TakeStream(), all);
  EXPECT_TRUE(captured.lines().empty()) << "nothing is printed without the verbose flag";
}

}  // namespace
}  // namespace genshoku::png

namespace genshoku::png {
namespace {

TEST(WriteDeflateTables, EveryLengthAndDistanceFallsInItsCodesRange) {
  // The looked-up codes against the ranges of RFC 1951: base up to base + 2^extra - 1.
  for (int length = 3; length <= 258; ++length) {
    const uint32_t code = LengthCodeOf(length);
    ASSERT_GE(code, 257u);
    ASSERT_LE(code, 285u);
    EXPECT_GE(length, LengthBase(code)) << length;
    EXPECT_LT(length - LengthBase(code), 1 << LengthExtraBits(code)) << length;
  }
  EXPECT_EQ(LengthCodeOf(257), 284u);
  EXPECT_EQ(LengthCodeOf(258), 285u);
  EXPECT_EQ(LengthCodeOf(2), 0u);
  EXPECT_EQ(LengthCodeOf(259), 0u);
  for (int distance = 1; distance <= 32768; ++distance) {
    const uint32_t code = DistanceCodeOf(distance);
    ASSERT_LT(code, 30u);
    EXPECT_GE(distance, DistanceBase(code)) << distance;
    EXPECT_LT(distance - DistanceBase(code), 1 << DistanceExtraBits(code)) << distance;
  }
  EXPECT_GE(DistanceCodeOf(0), 30u);
  EXPECT_GE(DistanceCodeOf(32769), 30u);
}

}  // namespace
}  // namespace genshoku::png
