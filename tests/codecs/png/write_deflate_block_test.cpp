// Dynamic and stored blocks, each written into a fresh buffer as the encoder does it and
// inflated by zlib, with the block statistics they print.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "codecs/png/deflate_blocks.h"
#include "codecs/png/zlib_output_buffer.h"
#include "support_write_png.h"

namespace genshoku::png {
namespace {

using namespace pngtest;

struct DynamicBlock {
  int result = 0;
  Bytes deflate;
  std::vector<std::string> lines;
  size_t bits = 0;  // written, the three header bits included
};

// One dynamic block with the verbose flag; its Adler-32 and count are checked here.
DynamicBlock WriteOneBlock(const Bytes& input) {
  CapturedDiagnostics captured;
  ZlibOutputBuffer buffer(captured);
  buffer.verbose = 1;
  DynamicBlock block;
  block.result = WriteDynamicBlock(buffer, input.data(), input.size(), 1);
  block.bits = buffer.BufPtr * 8 + static_cast<size_t>(__builtin_ctz(buffer.BufBit));
  EXPECT_EQ(buffer.Adler32(),
            static_cast<uint32_t>(adler32(1, input.data(), static_cast<uInt>(input.size()))));
  EXPECT_EQ(buffer.receivedCount, static_cast<int64_t>(input.size()));
  buffer.ClosePartialByte();
  block.deflate = buffer.TakeStream();
  block.lines = LinesOf(captured, DiagnosticStream::Out);
  return block;
}

void ExpectInflatesTo(const Bytes& deflate, const Bytes& expected) {
  Bytes out;
  std::string error;
  ASSERT_TRUE(ZlibInflate(deflate, out, &error, true)) << error;
  EXPECT_EQ(out, expected);
}

std::string Line(const char* format, int symbol, int value) {
  char line[64];
  std::snprintf(line, sizeof line, format, symbol, value);
  return line;
}

TEST(WriteDeflateBlock, InputsWithoutCopiesUseADummyDistance) {
  const DynamicBlock block = WriteOneBlock({'a'});
  ASSERT_EQ(block.result, 1);
  ExpectInflatesTo(block.deflate, {'a'});
  std::vector<std::string> expected = {"Max depth=1", "Root Weight=2"};
  for (int symbol = 0; symbol < 286; ++symbol) {
    expected.push_back(Line("LiteralLength[%3d]=%d", symbol, symbol == 'a' || symbol == 256));
  }
  expected.push_back("hDistLen cannot be zero.  It needs to be at least one.");
  expected.push_back("Making up a dummy backdist.");
  expected.push_back("DistLen[  0]=0  HuffmanCode=00000000");
  // 256 lengths of 0 (255 literal/length and the dummy distance) and 2 of 1.
  for (int symbol = 0; symbol < 19; ++symbol) {
    expected.push_back(Line("CodeLengthLen[%3d]=%d  HuffmanCode=", symbol, symbol < 2) +
                       (symbol == 1 ? "00000001" : "00000000"));
  }
  expected.push_back("Buffer grows from 0 to 256");
  EXPECT_EQ(block.lines, expected);
  // Header: final, dynamic, 257 literal/length codes, one distance code, 19 code-length
  // lengths; then 57 bits for those, 258 one-bit lengths and two tokens.
  EXPECT_EQ(block.deflate[0], 0x05);
  EXPECT_EQ(block.deflate[1] & 0x1F, 0);
  EXPECT_EQ(block.deflate[1] >> 5 | (block.deflate[2] & 1) << 3, 15);
  EXPECT_EQ(block.bits, 334u);

  for (const Bytes& input : {Bytes{7, 7}, Bytes{0, 0, 0}, Bytes{1, 2, 3}}) {
    const DynamicBlock shortBlock = WriteOneBlock(input);
    ASSERT_EQ(shortBlock.result, 1);
    ExpectInflatesTo(shortBlock.deflate, input);
    EXPECT_EQ(WithPrefix(shortBlock.lines, "DistLen").size(), 1u);
    EXPECT_TRUE(WithPrefix(shortBlock.lines, "BackdistLength").empty());
    EXPECT_TRUE(WithPrefix(shortBlock.lines, "hDist=").empty());
  }
}

TEST(WriteDeflateBlock, ASingleDistanceCodeGetsLengthOne) {
  // "abcd" and a copy of it from 4 back: distance code 3 only.
  const Bytes input = {'a', 'b', 'c', 'd', 'a', 'b', 'c', 'd'};
  const DynamicBlock block = WriteOneBlock(input);
  ASSERT_EQ(block.result, 1);
  ExpectInflatesTo(block.deflate, input);
  std::vector<std::string> expected;
  for (int symbol = 0; symbol < 30; ++symbol)
    expected.push_back(Line("BackdistLength[%3d]=%d", symbol, symbol == 3));
  EXPECT_EQ(WithPrefix(block.lines, "BackdistLength"), expected);
  EXPECT_EQ(WithPrefix(block.lines, "hDist="), std::vector<std::string>{"hDist=4"});
  EXPECT_EQ(WithPrefix(block.lines, "DistLen"),
            (std::vector<std::string>{
                "DistLen[  0]=0  HuffmanCode=00000000", "DistLen[  1]=0  HuffmanCode=00000000",
                "DistLen[  2]=0  HuffmanCode=00000000", "DistLen[  3]=1  HuffmanCode=00000000"}));
  EXPECT_EQ(block.deflate[1] & 0x1F, 3);  // HDIST - 1
}

TEST(WriteDeflateBlock, CopiesOfEveryLengthAndAllKindsOfInputDecode) {
  // Copies of 258 and 257 bytes, and of every length from 3 up.
  Bytes longest = RandomBytes(600, 3);
  longest.insert(longest.end(), longest.begin() + 10, longest.begin() + 268);
  longest.push_back(0xAA);
  longest.insert(longest.end(), longest.begin() + 300, longest.begin() + 557);
  longest.push_back(static_cast<uint8_t>(longest[557] ^ 0xFF));
  Bytes everyLength = RandomBytes(300, 4);
  for (int length = 3; length <= 258; ++length) {
    Append(everyLength, RandomBytes(5, static_cast<uint64_t>(length)));
    everyLength.insert(everyLength.end(), everyLength.begin(), everyLength.begin() + length);
  }
  Bytes text;
  const std::string sentence = "the quick brown fox jumps over the lazy dog; ";
  for (int i = 0; i < 200; ++i)
    text.insert(text.end(), sentence.begin(), sentence.begin() + 10 + i % 30);

  for (const Bytes& input : {longest, everyLength, Bytes(300, 0x42), Bytes(70000, 0), text,
                             RandomBytes(50000, 12), GradientIndexPicture(300, 200, 5)}) {
    const DynamicBlock block = WriteOneBlock(input);
    ASSERT_EQ(block.result, 1);
    ExpectInflatesTo(block.deflate, input);
    // No repeat codes: symbols 16 to 18 of the code-length alphabet never get a code.
    const std::vector<std::string> codeLength = WithPrefix(block.lines, "CodeLengthLen");
    ASSERT_EQ(codeLength.size(), 19u);
    for (int symbol = 16; symbol < 19; ++symbol) {
      EXPECT_EQ(codeLength[symbol].substr(0, 21),
                "CodeLengthLen[ " + std::to_string(symbol) + "]=0 ");
    }
  }
}

TEST(WriteDeflateBlock, DiagnosticLinesComeInTheirFixedOrder) {
  // The literal/length tree, the distance tree, the distance codes sent, the code-length
  // code, then the buffer's growth while the block is written.
  const DynamicBlock block = WriteOneBlock(GradientIndexPicture(120, 30, 9));
  ASSERT_EQ(block.result, 1);
  std::vector<std::pair<std::string, int>> kinds;  // each kind of line and how often in a row
  for (const std::string& line : block.lines) {
    const std::string kind = line.substr(0, line.find_first_of("=[0123456789"));
    if (kinds.empty() || kinds.back().first != kind) kinds.push_back({kind, 0});
    ++kinds.back().second;
  }
  ASSERT_EQ(kinds.size(), 10u);
  const int hDist = std::stoi(WithPrefix(block.lines, "hDist=").at(0).substr(6));
  EXPECT_EQ(kinds, (std::vector<std::pair<std::string, int>>{
                       {"Max depth", 1},
                       {"Root Weight", 1},
                       {"LiteralLength", 286},
                       {"Max depth", 1},
                       {"Root Weight", 1},
                       {"BackdistLength", 30},
                       {"hDist", 1},
                       {"DistLen", hDist},
                       {"CodeLengthLen", 19},
                       {"Buffer grows from ", kinds.back().second}}));
}

TEST(WriteDeflateBlock, ATooDeepDistanceTreeIsFlattened) {
  // The literal/length and code-length trees are flattened in the golden outputs.
  const Bytes input = DeepDistanceTreeInput();
  const DynamicBlock block = WriteOneBlock(input);
  ASSERT_EQ(block.result, 1);
  ExpectInflatesTo(block.deflate, input);
  std::vector<std::string> limitLines;
  for (const std::string& line : block.lines) {
    if (line.find("Tree") != std::string::npos) limitLines.push_back(line);
  }
  EXPECT_EQ(limitLines,
            (std::vector<std::string>{"Backdist Tree depth exceeds maximum allowed... 16",
                                      "Reducing Backdist Tree Depth... 13"}));
}

TEST(WriteDeflateBlock, StoredBlocksStartOnTheNextByteAndCarryTheirLength) {
  CapturedDiagnostics captured;
  ZlibOutputBuffer buffer(captured);
  buffer.verbose = 1;
  buffer.WriteBits(0b10110, 5);  // the three header bits then end exactly on the byte
  const uint8_t input[3] = {1, 2, 3};
  EXPECT_EQ(WriteStoredBlock(buffer, input, 3, 1), 1);
  EXPECT_EQ(Bytes(buffer.data().begin(), buffer.data().begin() + 8),
            (Bytes{0x36, 0x03, 0x00, 0xFC, 0xFF, 1, 2, 3}));
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

TEST(WriteDeflateBlock, StoredAndDynamicBlocksFollowEachOtherAtAnyBit) {
  CapturedDiagnostics captured;
  ZlibOutputBuffer buffer(captured);
  const Bytes stored = RandomBytes(40000, 21);
  const Bytes dynamic = GradientIndexPicture(64, 64, 22);
  const Bytes last = {9, 9, 9, 9, 9};
  ASSERT_EQ(WriteDynamicBlock(buffer, dynamic.data(), dynamic.size(), 0), 1);
  ASSERT_EQ(WriteStoredBlock(buffer, stored.data(), 32768, 0), 1);
  ASSERT_EQ(WriteStoredBlock(buffer, stored.data() + 32768, stored.size() - 32768, 0), 1);
  ASSERT_EQ(WriteDynamicBlock(buffer, dynamic.data(), dynamic.size(), 0), 1);
  ASSERT_EQ(WriteDynamicBlock(buffer, last.data(), last.size(), 1), 1);
  Bytes all = dynamic;
  for (const Bytes* part : {&stored, &dynamic, &last}) Append(all, *part);
  EXPECT_EQ(buffer.receivedCount, static_cast<int64_t>(all.size()));
  EXPECT_EQ(buffer.Adler32(),
            static_cast<uint32_t>(adler32(1, all.data(), static_cast<uInt>(all.size()))));
  buffer.ClosePartialByte();
  ExpectInflatesTo(buffer.TakeStream(), all);
  EXPECT_TRUE(captured.lines().empty()) << "nothing is printed without the verbose flag";
}

}  // namespace
}  // namespace genshoku::png
