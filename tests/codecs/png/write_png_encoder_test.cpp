#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "codecs/png/png_encoder.h"
#include "support_write_png.h"

namespace genshoku::png {
namespace {

using write_support::Chunk;
using write_support::DecodedPng;
using write_support::DecodeWithZlib;
using write_support::GradientIndexPicture;
using write_support::LinesOf;
using write_support::RandomBytes;
using write_support::TestPalette;

struct Encoded {
  int result = 0;
  std::vector<uint8_t> png;
  std::vector<std::string> out;
  std::vector<std::string> err;
};

Encoded EncodeIndices(const std::vector<uint8_t>& pixels, int width, int height,
                      int storeOnly = 0, int lineReport = 1) {
  CapturedDiagnostics captured;
  VxRawPngEncoder encoder(captured);
  encoder.storeOnly = storeOnly;
  encoder.lineReport = lineReport;
  Encoded encoded;
  encoded.result =
      encoder.EncodeToMemory(encoded.png, width, height, 8, 3, pixels, TestPalette());
  encoded.out = LinesOf(captured, DiagnosticStream::Out);
  encoded.err = LinesOf(captured, DiagnosticStream::Err);
  return encoded;
}

// The lines that are not part of a dynamic block's statistics.
std::vector<std::string> FramingLines(const std::vector<std::string>& lines) {
  static const char* const kBlockPrefixes[] = {
      "Max depth=",     "Root Weight=",   "LiteralLength[", "BackdistLength[", "hDist=",
      "DistLen[",       "CodeLengthLen[", "hDistLen cannot", "Making up a dummy", "Buffer grows"};
  std::vector<std::string> framing;
  for (const std::string& line : lines) {
    bool block = false;
    for (const char* prefix : kBlockPrefixes) block = block || line.rfind(prefix, 0) == 0;
    if (!block) framing.push_back(line);
  }
  return framing;
}

size_t CountPrefix(const std::vector<std::string>& lines, const std::string& prefix) {
  size_t count = 0;
  for (const std::string& line : lines) count += line.rfind(prefix, 0) == 0 ? 1 : 0;
  return count;
}

void ExpectDecodesTo(const std::vector<uint8_t>& png, const std::vector<uint8_t>& pixels,
                     uint32_t width, uint32_t height) {
  const DecodedPng decoded = DecodeWithZlib(png);
  ASSERT_TRUE(decoded.ok) << decoded.problem;
  EXPECT_EQ(decoded.width, width);
  EXPECT_EQ(decoded.height, height);
  EXPECT_EQ(decoded.bitDepth, 8);
  EXPECT_EQ(decoded.colorType, 3);
  EXPECT_EQ(decoded.palette, TestPalette());
  EXPECT_EQ(decoded.pixels, pixels);
  EXPECT_EQ(decoded.chunkTypes, (std::vector<std::string>{"IHDR", "PLTE", "IDAT", "IEND"}));
}

TEST(WritePngEncoderTest, OnePixelIsOneStoredBlockInACompleteFile) {
  const Encoded encoded = EncodeIndices({0xC3}, 1, 1);
  ASSERT_EQ(encoded.result, 1);
  ExpectDecodesTo(encoded.png, {0xC3}, 1, 1);

  const std::vector<uint8_t>& png = encoded.png;
  ASSERT_EQ(png.size(), 8u + 25 + 780 + (12 + 13) + 12);
  const std::vector<uint8_t> head = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A,
                                     0, 0, 0, 13, 'I', 'H', 'D', 'R', 0, 0, 0, 1, 0, 0, 0, 1,
                                     8, 3, 0, 0, 0};
  EXPECT_EQ(std::vector<uint8_t>(png.begin(), png.begin() + 29), head);
  EXPECT_EQ(std::vector<uint8_t>(png.begin() + 33, png.begin() + 41),
            (std::vector<uint8_t>{0, 0, 3, 0, 'P', 'L', 'T', 'E'}));
  // Window 256, then one stored block of the filter byte and the index, then Adler-32.
  const uint32_t adler = static_cast<uint32_t>(adler32(1, std::vector<uint8_t>{0, 0xC3}.data(), 2));
  const std::vector<uint8_t> idat = {0, 0, 0, 13, 'I', 'D', 'A', 'T', 0x08, 0x99, 0x01, 0x02,
                                     0x00, 0xFD, 0xFF, 0x00, 0xC3,
                                     static_cast<uint8_t>(adler >> 24), static_cast<uint8_t>(adler >> 16),
                                     static_cast<uint8_t>(adler >> 8), static_cast<uint8_t>(adler)};
  EXPECT_EQ(std::vector<uint8_t>(png.begin() + 813, png.begin() + 834), idat);
  const std::vector<uint8_t> iend = {0, 0, 0, 0, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};
  EXPECT_EQ(std::vector<uint8_t>(png.end() - 12, png.end()), iend);

  char checkSum[32];
  std::snprintf(checkSum, sizeof checkSum, "Check Sum=%08x", adler);
  EXPECT_EQ(FramingLines(encoded.out),
            (std::vector<std::string>{"Compression Window Size=256", "nLinePerUnit=256", "Y=0",
                                      "zLib Block nByte=2 bFinal=1", "BufPtr=7 BufBit=1", checkSum,
                                      "Received=2 Expected=2"}));
  // The dynamic block was tried first and then thrown away.
  EXPECT_EQ(CountPrefix(encoded.out, "LiteralLength["), 286u);
  EXPECT_EQ(encoded.out[1], "Buffer grows from 0 to 256");
  EXPECT_TRUE(encoded.err.empty());
}

TEST(WritePngEncoderTest, RowsGoInUnitsOf256AndOnlyTheLastUnitEndsTheStream) {
  const std::vector<uint8_t> pixels = GradientIndexPicture(10, 300, 3);
  const Encoded compressed = EncodeIndices(pixels, 10, 300);
  ASSERT_EQ(compressed.result, 1);
  ExpectDecodesTo(compressed.png, pixels, 10, 300);
  EXPECT_EQ(CountPrefix(compressed.out, "Y="), 2u);
  EXPECT_EQ(CountPrefix(compressed.out, "LiteralLength[  0]="), 2u);

  const Encoded stored = EncodeIndices(pixels, 10, 300, 1);
  ASSERT_EQ(stored.result, 1);
  ExpectDecodesTo(stored.png, pixels, 10, 300);
  EXPECT_EQ(FramingLines(stored.out),
            (std::vector<std::string>{"Compression Window Size=4096", "nLinePerUnit=256", "Y=0",
                                      "zLib Block nByte=2816 bFinal=0", "BufPtr=7 BufBit=1",
                                      "Y=256", "zLib Block nByte=484 bFinal=1", "BufPtr=2828 BufBit=1",
                                      FramingLines(stored.out)[8], "Received=3300 Expected=3300"}));
}

TEST(WritePngEncoderTest, LineReportCanBeSwitchedOff) {
  const std::vector<uint8_t> pixels = GradientIndexPicture(10, 300, 3);
  const Encoded quiet = EncodeIndices(pixels, 10, 300, 0, 0);
  const Encoded loud = EncodeIndices(pixels, 10, 300, 0, 1);
  EXPECT_EQ(quiet.png, loud.png);
  std::vector<std::string> withoutReport;
  for (const std::string& line : loud.out) {
    if (line.rfind("Y=", 0) != 0 && line.rfind("nLinePerUnit=", 0) != 0) withoutReport.push_back(line);
  }
  EXPECT_EQ(quiet.out, withoutReport);
}

TEST(WritePngEncoderTest, AUnitThatDoesNotShrinkEnoughIsStored) {
  // 8 rows of 64 random indices: the dynamic block with its code tables is far beyond
  // 520 × 105 / 100 = 546 bytes.
  const std::vector<uint8_t> pixels = RandomBytes(64 * 8, 31);
  const Encoded encoded = EncodeIndices(pixels, 64, 8);
  ASSERT_EQ(encoded.result, 1);
  ExpectDecodesTo(encoded.png, pixels, 64, 8);
  EXPECT_EQ(CountPrefix(encoded.out, "CodeLengthLen["), 19u);
  EXPECT_EQ(CountPrefix(encoded.out, "zLib Block nByte=520 bFinal=1"), 1u);
  // The stored block starts right after CMF and FLG, as if nothing had been tried.
  const DecodedPng decoded = DecodeWithZlib(encoded.png);
  ASSERT_GE(decoded.zlibStream.size(), 7u);
  EXPECT_EQ(std::vector<uint8_t>(decoded.zlibStream.begin(), decoded.zlibStream.begin() + 7),
            (std::vector<uint8_t>{0x28, 0x91, 0x01, 0x08, 0x02, 0xF7, 0xFD}));
  EXPECT_EQ(decoded.zlibStream.size(), 2u + 5 + 520 + 4);
}

TEST(WritePngEncoderTest, StoreOnlyWritesPiecesOf32768) {
  const std::vector<uint8_t> pixels = GradientIndexPicture(300, 300, 4);
  const Encoded encoded = EncodeIndices(pixels, 300, 300, 1);
  ASSERT_EQ(encoded.result, 1);
  ExpectDecodesTo(encoded.png, pixels, 300, 300);
  std::vector<std::string> blocks;
  for (const std::string& line : encoded.out) {
    if (line.rfind("zLib Block", 0) == 0) blocks.push_back(line);
  }
  // 256 rows of 301 bytes, then 44 rows.
  EXPECT_EQ(blocks, (std::vector<std::string>{"zLib Block nByte=32768 bFinal=0",
                                              "zLib Block nByte=32768 bFinal=0",
                                              "zLib Block nByte=11520 bFinal=0",
                                              "zLib Block nByte=13244 bFinal=1"}));
  EXPECT_EQ(CountPrefix(encoded.out, "LiteralLength["), 0u);
  const DecodedPng decoded = DecodeWithZlib(encoded.png);
  EXPECT_EQ(decoded.zlibStream[0], 0x78);
  EXPECT_EQ(decoded.zlibStream[1], 0x9C);
}

TEST(WritePngEncoderTest, TheWindowIsTheSmallestPowerOfTwoThatCoversTheImage) {
  struct WindowCase {
    int width, height;
    int window;
    uint8_t cmf, flg;
  };
  // The filtered size is height × (width + 1).
  const WindowCase cases[] = {{255, 1, 256, 0x08, 0x99},     {256, 1, 512, 0x18, 0x95},
                              {511, 2, 1024, 0x28, 0x91},    {1023, 2, 2048, 0x38, 0x8D},
                              {1023, 4, 4096, 0x48, 0x89},   {1023, 8, 8192, 0x58, 0x85},
                              {127, 128, 16384, 0x68, 0x81}, {128, 128, 32768, 0x78, 0x9C},
                              {2000, 400, 32768, 0x78, 0x9C}};
  for (const WindowCase& windowCase : cases) {
    const std::vector<uint8_t> pixels(static_cast<size_t>(windowCase.width * windowCase.height), 5);
    const Encoded encoded = EncodeIndices(pixels, windowCase.width, windowCase.height, 1);
    ASSERT_EQ(encoded.result, 1);
    ExpectDecodesTo(encoded.png, pixels, windowCase.width, windowCase.height);
    EXPECT_EQ(encoded.out[0], "Compression Window Size=" + std::to_string(windowCase.window));
    const DecodedPng decoded = DecodeWithZlib(encoded.png);
    EXPECT_EQ(decoded.zlibStream[0], windowCase.cmf) << windowCase.window;
    EXPECT_EQ(decoded.zlibStream[1], windowCase.flg) << windowCase.window;
  }
}

TEST(WritePngEncoderTest, DiagnosticLinesOfOneUnitComeInTheirFixedOrder) {
  const std::vector<uint8_t> pixels = GradientIndexPicture(40, 20, 6);
  const Encoded encoded = EncodeIndices(pixels, 40, 20);
  ASSERT_EQ(encoded.result, 1);
  ExpectDecodesTo(encoded.png, pixels, 40, 20);
  const std::vector<std::string>& lines = encoded.out;
  // Framing, then the literal tree, the distance tree, the codes sent, then the growth
  // of the buffer while the block is written, then the trailer.
  std::vector<std::string> kinds;
  for (const std::string& line : lines) {
    const std::string kind = line.substr(0, line.find_first_of("=[0123456789"));
    if (kinds.empty() || kinds.back() != kind) kinds.push_back(kind);
  }
  EXPECT_EQ(kinds, (std::vector<std::string>{"Compression Window Size", "Buffer grows from ",
                                             "nLinePerUnit", "Y", "Max depth", "Root Weight",
                                             "LiteralLength", "Max depth", "Root Weight",
                                             "BackdistLength", "hDist", "DistLen", "CodeLengthLen",
                                             "Buffer grows from ", "Check Sum", "Received"}));
  EXPECT_EQ(lines.back(), "Received=820 Expected=820");
}

TEST(WritePngEncoderTest, GoldenOutputsStayByteForByteTheSame) {
  // The exact bytes follow from the tokenizer's choices, the tree shapes and the block
  // layout. Faster implementations must keep them.
  struct Golden {
    const char* name;
    int width, height;
    std::vector<uint8_t> pixels;
    size_t size;
    uint64_t hash;
    uint64_t linesHash;  // of every diagnostic line, in order
  };
  std::vector<uint8_t> stripes(640 * 300);
  for (size_t i = 0; i < stripes.size(); ++i) stripes[i] = static_cast<uint8_t>((i / 7) % 5);
  // A dynamic block ending inside a byte, then a last unit that falls back to a stored
  // block after the saved state is restored.
  std::vector<uint8_t> noisyTail = GradientIndexPicture(64, 260, 7);
  const std::vector<uint8_t> noise = RandomBytes(64 * 4, 8);
  std::copy(noise.begin(), noise.end(), noisyTail.begin() + 64 * 256);
  const std::vector<Golden> goldens = {
      {"gradient 97x61", 97, 61, GradientIndexPicture(97, 61, 1), 4978, 0x9a903572fa7f24e2ull,
       0x8acffb9f42e5918full},
      {"gradient 640x480", 640, 480, GradientIndexPicture(640, 480, 2), 187376,
       0x4c819b2fbf672ad0ull, 0xfbec387a1da6271bull},
      {"random 300x260", 300, 260, RandomBytes(300 * 260, 3), 79236, 0x67d39dfaeeae87dbull,
       0x9f9a0dea223d36ffull},
      {"flat 1000x300", 1000, 300, std::vector<uint8_t>(300000, 17), 3960, 0x9eef26dd5e290881ull,
       0x46643df1f156b5a2ull},
      {"stripes 640x300", 640, 300, stripes, 4367, 0x8733a73d740d0738ull, 0x9cc68cf245fe39b9ull},
      {"gradient with a noisy tail 64x260", 64, 260, noisyTail, 11412, 0xf12e75fde249a497ull,
       0xca8754ee8bef0992ull},
  };
  for (const Golden& golden : goldens) {
    SCOPED_TRACE(golden.name);
    const Encoded encoded = EncodeIndices(golden.pixels, golden.width, golden.height);
    ASSERT_EQ(encoded.result, 1);
    ExpectDecodesTo(encoded.png, golden.pixels, golden.width, golden.height);
    EXPECT_EQ(encoded.png.size(), golden.size);
    EXPECT_EQ(write_support::Fnv1a64(encoded.png), golden.hash);
    std::string text;
    for (const std::string& line : encoded.out) text += line + "\n";
    const uint64_t linesHash = write_support::Fnv1a64(std::vector<uint8_t>(text.begin(), text.end()));
    EXPECT_EQ(linesHash, golden.linesHash) << std::hex << "0x" << linesHash;
    EXPECT_TRUE(encoded.err.empty());
  }
}

}  // namespace
}  // namespace genshoku::png
