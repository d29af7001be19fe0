// The reader against files made with zlib: every format, interlaced or not, every filter,
// every kind of deflate block; then the corners of unfiltering, interlacing and conversion.
#include <gtest/gtest.h>
#include <zlib.h>

#include <array>
#include <string>

#include "support_read_png.h"

namespace genshoku::png {
namespace {

using namespace pngtest;

Bytes Rgba(std::initializer_list<std::array<uint8_t, 4>> pixels) {
  Bytes out;
  for (const auto& pixel : pixels) out.insert(out.end(), pixel.begin(), pixel.end());
  return out;
}

Bytes Greys(std::initializer_list<uint8_t> greys) {
  Bytes out;
  for (uint8_t grey : greys) out.insert(out.end(), {grey, grey, grey, 255});
  return out;
}

Bytes BlackPicture(size_t pixelCount) {
  Bytes out(pixelCount * 4, 0);
  for (size_t i = 3; i < out.size(); i += 4) out[i] = 255;
  return out;
}

TEST(PngPixels, EveryFormatDecodesToItsSource) {
  const struct {
    int colorType, bitDepth;
  } formats[] = {{0, 1}, {0, 8}, {2, 8}, {2, 16}, {3, 1}, {3, 2}, {3, 4}, {3, 8}, {4, 8}, {6, 8}};
  const EncodeOptions encodings[] = {
      {false, -1, 6, Z_DEFAULT_STRATEGY, 0},
      {false, -1, 0, Z_DEFAULT_STRATEGY, 0},
      {false, -1, 6, Z_FIXED, 0},
      {false, -1, 9, Z_DEFAULT_STRATEGY, 7},
  };
  const std::pair<uint32_t, uint32_t> sizes[] = {{1, 1}, {3, 3}, {7, 5}, {17, 9}, {33, 2}, {2, 19}};
  uint32_t seed = 1;
  for (const auto& format : formats) {
    for (bool interlaced : {false, true}) {
      for (const auto& [width, height] : sizes) {
        for (EncodeOptions options : encodings) {
          options.interlaced = interlaced;
          const SourceImage image =
              RandomImage(width, height, format.colorType, format.bitDepth, ++seed);
          const DecodeOutcome decoded = DecodePngBytes(EncodePng(image, options));
          SCOPED_TRACE(testing::Message()
                       << "type " << format.colorType << " depth " << format.bitDepth
                       << " interlaced " << interlaced << " " << width << "x" << height << " level "
                       << options.zlibLevel);
          EXPECT_TRUE(decoded.result);
          ASSERT_TRUE(decoded.hasPicture);
          EXPECT_EQ(decoded.width, width);
          EXPECT_EQ(decoded.height, height);
          // Interlaced files of packed pixels are read through but left undrawn.
          EXPECT_EQ(decoded.pixels, interlaced && format.bitDepth < 8 ? BlackPicture(width * height)
                                                                      : ExpectedRgba(image));
          EXPECT_EQ(decoded.out, "");
        }
      }
    }
  }
}

TEST(PngPixels, HandMadeLines) {
  const Bytes palette{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  const auto withTransparency = [](Bytes file) {
    const Bytes trns = Chunk("tRNS", {0, 1, 0, 2, 0, 3});
    file.insert(file.begin() + 33, trns.begin(), trns.end());  // after the header
    return file;
  };
  const struct {
    const char* what;
    Bytes file;
    Bytes pixels;
  } cases[] = {
      // On the first line the bytes above count as zeros, for every filter.
      {"sub", FileWithData(2, 1, 8, 2, {1, 10, 20, 30, 5, 5, 5}),
       Rgba({{10, 20, 30, 255}, {15, 25, 35, 255}})},
      {"up", FileWithData(2, 1, 8, 2, {2, 10, 20, 30, 5, 5, 5}),
       Rgba({{10, 20, 30, 255}, {5, 5, 5, 255}})},
      {"average", FileWithData(2, 1, 8, 0, {3, 100, 10}), Greys({100, 60})},
      {"paeth", FileWithData(2, 1, 8, 0, {4, 100, 10}), Greys({100, 110})},
      {"filter type 9 leaves the line as stored", FileWithData(2, 1, 8, 0, {9, 100, 10}),
       Greys({100, 10})},
      // Average rounds down, byte by byte and pixel by pixel.
      {"average rounding", FileWithData(2, 2, 8, 0, {0, 3, 4, 3, 0, 0}), Greys({3, 4, 1, 2})},
      {"average rounding of pixels",
       FileWithData(2, 2, 8, 2, {0, 3, 3, 3, 4, 4, 4, 3, 0, 0, 0, 0, 0, 0}),
       Rgba({{3, 3, 3, 255}, {4, 4, 4, 255}, {1, 1, 1, 255}, {2, 2, 2, 255}})},
      // Paeth ties go to left before upper left (red, blue) and to up before upper left
      // (green): the second pixel of the second line predicts 20 in every channel.
      {"paeth ties", FileWithData(2, 2, 8, 2, {0, 10, 10, 10, 5, 20, 5, 4, 10, 251, 10, 0, 0, 0}),
       Rgba({{10, 10, 10, 255}, {5, 20, 5, 255}, {20, 5, 20, 255}, {20, 20, 20, 255}})},
      {"paeth ties byte by byte", FileWithData(2, 2, 8, 0, {0, 10, 5, 4, 10, 0}),
       Greys({10, 5, 20, 20})},
      // 3 pixels of 1-bit grey, 1 0 1, and 5 bits of padding.
      {"1-bit grey", FileWithData(3, 1, 1, 0, {0, 0xBF}), Greys({255, 0, 255})},
      // 2-bit palette 3 1 2, then a second line unfiltered with Up.
      {"2-bit palette", FileWithData(3, 2, 2, 3, {0, 0xD8, 2, 0x00}, 0, palette),
       Rgba({{10, 11, 12, 255},
             {4, 5, 6, 255},
             {7, 8, 9, 255},
             {10, 11, 12, 255},
             {4, 5, 6, 255},
             {7, 8, 9, 255}})},
      // Interlaced 3 x 3: passes 1, 4, 5, 6 and 7 hold pixels; 2 and 3 none.
      {"interlaced 3x3",
       FileWithData(3, 3, 8, 0, {0, 10, 0, 40, 0, 50, 51, 0, 60, 0, 61, 0, 70, 71, 72}, 1),
       Greys({10, 60, 40, 70, 71, 72, 50, 61, 51})},
      // Interlaced 1 x 1: everything is in pass 1; a byte more is refused.
      {"interlaced 1x1", FileWithData(1, 1, 8, 0, {0, 77, 0, 99}, 1), Greys({77})},
      {"grey and alpha", FileWithData(1, 1, 8, 4, {0, 90, 12}), Rgba({{90, 90, 90, 12}})},
      {"truecolour and alpha", FileWithData(1, 1, 8, 6, {0, 1, 2, 3, 4}), Rgba({{1, 2, 3, 4}})},
      // A transparency chunk does not touch the fourth byte of other formats.
      {"16-bit truecolour", withTransparency(FileWithData(1, 1, 16, 2, {0, 1, 0, 2, 0, 3, 0})),
       Rgba({{1, 2, 3, 255}})},
      {"short data", FileWithData(2, 2, 8, 0, {0, 5, 6, 0, 7}), Greys({5, 6, 7, 0})},
      {"no palette", FileWithData(1, 1, 8, 3, {0, 0}), Greys({0})},
  };
  for (const auto& test : cases) {
    const DecodeOutcome decoded = DecodePngBytes(test.file);
    EXPECT_TRUE(decoded.result) << test.what;
    EXPECT_EQ(decoded.pixels, test.pixels) << test.what;
    EXPECT_EQ(decoded.out, "") << test.what;
  }
}

TEST(PngPixels, MissingPaletteEntriesAndUnknownFormatsAreNamed) {
  // One palette entry; 1-bit pixels 0 1 0 1: the 1s are missing, with a line for each.
  DecodeOutcome decoded = DecodePngBytes(FileWithData(4, 1, 1, 3, {0, 0x50}, 0, {9, 8, 7}));
  EXPECT_EQ(decoded.pixels, Rgba({{9, 8, 7, 255}, {0, 0, 0, 255}, {9, 8, 7, 255}, {0, 0, 0, 255}}));
  EXPECT_EQ(decoded.out, "Not enough palette entry! (1)\nNot enough palette entry! (1)\n");
  // Deeper palette pictures say nothing about it.
  for (const auto& [depth, filtered] :
       {std::pair{2, Bytes{0, 0x10}}, std::pair{8, Bytes{0, 0, 5}}}) {
    decoded = DecodePngBytes(FileWithData(2, 1, depth, 3, filtered, 0, {9, 8, 7}));
    EXPECT_EQ(decoded.pixels, Rgba({{9, 8, 7, 255}, {0, 0, 0, 255}})) << depth;
    EXPECT_EQ(decoded.out, "") << depth;
  }

  const std::pair<int, int> unsupported[] = {{0, 2},  {0, 4}, {0, 16}, {4, 16},
                                             {6, 16}, {1, 8}, {5, 8},  {2, 4}};
  for (const auto& [colorType, bitDepth] : unsupported) {
    decoded = DecodePngBytes(FileWithData(1, 1, bitDepth, colorType, {0, 0, 0, 0, 0, 0, 0}));
    EXPECT_TRUE(decoded.result);
    EXPECT_FALSE(decoded.hasPicture);
    EXPECT_EQ(decoded.out, "Unsupported colorType-bitDepth combination.\n  Color type=" +
                               std::to_string(colorType) +
                               "\n  Bit deptch=" + std::to_string(bitDepth) + "\n");
  }
}

TEST(PngPixels, UnknownInterlaceMethodRefusesEveryDataByte) {
  // Huffman data stop at the first refusal; stored data are offered byte by byte.
  const Bytes filtered{0, 1, 2, 3};
  DecodeOutcome decoded = DecodePngBytes(FileWithData(3, 1, 8, 0, filtered, 2));
  EXPECT_TRUE(decoded.result);
  EXPECT_EQ(decoded.out, "Unsupported interlace method.\n");
  EXPECT_EQ(decoded.pixels, BlackPicture(3));
  decoded = DecodePngBytes(FileWithData(3, 1, 8, 0, filtered, 2, {}, 0));
  EXPECT_EQ(decoded.out,
            "Unsupported interlace method.\nUnsupported interlace method.\n"
            "Unsupported interlace method.\n");
}

}  // namespace
}  // namespace genshoku::png
