// The encoder's zlib stream: the header fitted to the picture, units of 256 rows, the
// fallback to stored blocks, and the lines it prints around the blocks.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <string>

#include "codecs/png/png_encoder.h"
#include "support_write_png.h"

namespace genshoku::png {
namespace {

using namespace pngtest;

struct Encoded {
  Bytes png;
  std::vector<std::string> out;
  DecodedPng decoded;
};

// Encodes a palette picture and checks with zlib that it holds exactly these pixels.
Encoded EncodeIndices(const Bytes& pixels, int width, int height, int storeOnly = 0,
                      int lineReport = 1) {
  CapturedDiagnostics captured;
  VxRawPngEncoder encoder(captured);
  encoder.storeOnly = storeOnly;
  encoder.lineReport = lineReport;
  Encoded encoded;
  EXPECT_EQ(encoder.EncodeToMemory(encoded.png, width, height, 8, 3, pixels, TestPalette()), 1);
  encoded.out = LinesOf(captured, DiagnosticStream::Out);
  EXPECT_EQ(captured.Text(DiagnosticStream::Err), "");
  encoded.decoded = DecodeWithZlib(encoded.png);
  EXPECT_TRUE(encoded.decoded.ok) << encoded.decoded.problem;
  EXPECT_EQ(encoded.decoded.width, static_cast<uint32_t>(width));
  EXPECT_EQ(encoded.decoded.height, static_cast<uint32_t>(height));
  EXPECT_EQ(encoded.decoded.palette, TestPalette());
  EXPECT_EQ(encoded.decoded.pixels, pixels);
  EXPECT_EQ(encoded.decoded.chunkTypes, (std::vector<std::string>{"IHDR", "PLTE", "IDAT", "IEND"}));
  return encoded;
}

// The lines that are not part of a dynamic block's statistics.
std::vector<std::string> FramingLines(const std::vector<std::string>& lines) {
  static const char* const kBlockPrefixes[] = {
      "Max depth=", "Root Weight=",   "LiteralLength[",  "BackdistLength[",   "hDist=",
      "DistLen[",   "CodeLengthLen[", "hDistLen cannot", "Making up a dummy", "Buffer grows"};
  std::vector<std::string> framing;
  for (const std::string& line : lines) {
    bool block = false;
    for (const char* prefix : kBlockPrefixes) block = block || line.rfind(prefix, 0) == 0;
    if (!block) framing.push_back(line);
  }
  return framing;
}

TEST(WritePngEncoder, OnePixelIsOneStoredBlockInACompleteFile) {
  const Encoded encoded = EncodeIndices({0xC3}, 1, 1);
  const Bytes& png = encoded.png;
  ASSERT_EQ(png.size(), 8u + 25 + 780 + (12 + 13) + 12);
  EXPECT_EQ(Bytes(png.begin(), png.begin() + 29),
            (Bytes{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D',
                   'R',  0,   0,   0,   1,    0,    0,    0,    1, 8, 3, 0,  0,   0}));
  EXPECT_EQ(Bytes(png.begin() + 33, png.begin() + 41), (Bytes{0, 0, 3, 0, 'P', 'L', 'T', 'E'}));
  // Window 256, then one stored block of the filter byte and the index, then Adler-32.
  const auto adler = static_cast<uint32_t>(adler32(1, Bytes{0, 0xC3}.data(), 2));
  EXPECT_EQ(Bytes(png.begin() + 813, png.begin() + 834), (Bytes{0,
                                                                0,
                                                                0,
                                                                13,
                                                                'I',
                                                                'D',
                                                                'A',
                                                                'T',
                                                                0x08,
                                                                0x99,
                                                                0x01,
                                                                0x02,
                                                                0x00,
                                                                0xFD,
                                                                0xFF,
                                                                0x00,
                                                                0xC3,
                                                                static_cast<uint8_t>(adler >> 24),
                                                                static_cast<uint8_t>(adler >> 16),
                                                                static_cast<uint8_t>(adler >> 8),
                                                                static_cast<uint8_t>(adler)}));
  EXPECT_EQ(Bytes(png.end() - 12, png.end()),
            (Bytes{0, 0, 0, 0, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82}));

  char checkSum[32];
  std::snprintf(checkSum, sizeof checkSum, "Check Sum=%08x", adler);
  EXPECT_EQ(FramingLines(encoded.out),
            (std::vector<std::string>{"Compression Window Size=256", "nLinePerUnit=256", "Y=0",
                                      "zLib Block nByte=2 bFinal=1", "BufPtr=7 BufBit=1", checkSum,
                                      "Received=2 Expected=2"}));
  // The dynamic block was tried first and then thrown away; the buffer grew with CMF.
  EXPECT_EQ(WithPrefix(encoded.out, "LiteralLength[").size(), 286u);
  EXPECT_EQ(encoded.out[1], "Buffer grows from 0 to 256");
}

TEST(WritePngEncoder, RowsGoInUnitsOf256AndOnlyTheLastUnitEndsTheStream) {
  const Bytes pixels = GradientIndexPicture(10, 300, 3);
  const Encoded compressed = EncodeIndices(pixels, 10, 300);
  EXPECT_EQ(WithPrefix(compressed.out, "Y=").size(), 2u);
  EXPECT_EQ(WithPrefix(compressed.out, "LiteralLength[  0]=").size(), 2u);
  // The line report only adds its lines.
  std::vector<std::string> withoutReport;
  for (const std::string& line : compressed.out) {
    if (line.rfind("Y=", 0) != 0 && line.rfind("nLinePerUnit=", 0) != 0)
      withoutReport.push_back(line);
  }
  const Encoded quiet = EncodeIndices(pixels, 10, 300, 0, 0);
  EXPECT_EQ(quiet.png, compressed.png);
  EXPECT_EQ(quiet.out, withoutReport);

  const Encoded stored = EncodeIndices(pixels, 10, 300, 1);
  const std::vector<std::string> framing = FramingLines(stored.out);
  EXPECT_EQ(framing, (std::vector<std::string>{
                         "Compression Window Size=4096", "nLinePerUnit=256", "Y=0",
                         "zLib Block nByte=2816 bFinal=0", "BufPtr=7 BufBit=1", "Y=256",
                         "zLib Block nByte=484 bFinal=1", "BufPtr=2828 BufBit=1", framing[8],
                         "Received=3300 Expected=3300"}));
  // Exactly 256 rows make one unit, the last.
  EXPECT_EQ(FramingLines(EncodeIndices(Bytes(256, 1), 1, 256, 1).out)[3],
            "zLib Block nByte=512 bFinal=1");
}

TEST(WritePngEncoder, AUnitThatDoesNotShrinkEnoughIsStored) {
  // 4 rows of 200 random indices: the dynamic block of 864 bytes is just beyond
  // 804 × 105 / 100 = 844 bytes. The stored block starts right after CMF and FLG, as if
  // nothing had been tried.
  const Encoded encoded = EncodeIndices(RandomBytes(200 * 4, 31), 200, 4);
  EXPECT_EQ(WithPrefix(encoded.out, "CodeLengthLen[").size(), 19u);
  EXPECT_EQ(WithPrefix(encoded.out, "zLib Block nByte=804 bFinal=1").size(), 1u);
  const Bytes& stream = encoded.decoded.zlibStream;
  EXPECT_EQ(Bytes(stream.begin(), stream.begin() + 7),
            (Bytes{0x28, 0x91, 0x01, 0x24, 0x03, 0xDB, 0xFC}));
  EXPECT_EQ(stream.size(), 2u + 5 + 804 + 4);
}

TEST(WritePngEncoder, StoreOnlyWritesPiecesOf32768) {
  // 256 rows of 301 bytes, then 44 rows.
  const Encoded encoded = EncodeIndices(GradientIndexPicture(300, 300, 4), 300, 300, 1);
  EXPECT_EQ(WithPrefix(encoded.out, "zLib Block"),
            (std::vector<std::string>{
                "zLib Block nByte=32768 bFinal=0", "zLib Block nByte=32768 bFinal=0",
                "zLib Block nByte=11520 bFinal=0", "zLib Block nByte=13244 bFinal=1"}));
  EXPECT_TRUE(WithPrefix(encoded.out, "LiteralLength[").empty());
}

TEST(WritePngEncoder, TheWindowIsTheSmallestPowerOfTwoThatCoversTheImage) {
  const struct {
    int width, height;
    int window;
    uint8_t cmf, flg;
  } cases[] = {
      // the filtered size is height × (width + 1)
      {255, 1, 256, 0x08, 0x99},     {256, 1, 512, 0x18, 0x95},     {511, 2, 1024, 0x28, 0x91},
      {1023, 2, 2048, 0x38, 0x8D},   {1023, 4, 4096, 0x48, 0x89},   {1023, 8, 8192, 0x58, 0x85},
      {127, 128, 16384, 0x68, 0x81}, {128, 128, 32768, 0x78, 0x9C}, {2000, 400, 32768, 0x78, 0x9C}};
  for (const auto& test : cases) {
    const Encoded encoded =
        EncodeIndices(Bytes(size_t(test.width) * test.height, 5), test.width, test.height, 1);
    EXPECT_EQ(encoded.out[0], "Compression Window Size=" + std::to_string(test.window));
    EXPECT_EQ(encoded.decoded.zlibStream[0], test.cmf) << test.window;
    EXPECT_EQ(encoded.decoded.zlibStream[1], test.flg) << test.window;
  }
}

}  // namespace
}  // namespace genshoku::png
