// The reader against files made with zlib: every format, interlaced or not, every filter,
// every kind of deflate block; and the unfiltering, interlacing and conversion corner cases.
#include <gtest/gtest.h>
#include <zlib.h>

#include <array>
#include <string>

#include "codecs/png/raw_png_decoder.h"
#include "support_read_decode.h"
#include "support_read_png_builder.h"

namespace genshoku::png {
namespace {

using readtest::Append;
using readtest::Bytes;
using readtest::Chunk;
using readtest::DecodeOutcome;
using readtest::DecodePngBytes;
using readtest::EncodeOptions;
using readtest::EncodePng;
using readtest::HeaderChunk;
using readtest::RandomImage;
using readtest::Signature;
using readtest::SourceImage;
using readtest::ZlibCompress;

struct Format {
  int colorType;
  int bitDepth;
};
constexpr Format kFormats[] = {{0, 1}, {0, 8}, {2, 8}, {2, 16}, {3, 1},
                               {3, 2}, {3, 4}, {3, 8}, {4, 8},  {6, 8}};

// A file of the given header and already filtered data.
Bytes FileWithData(uint32_t width, uint32_t height, int bitDepth, int colorType,
                   const Bytes& filtered, int interlace = 0, const Bytes& palette = {},
                   int level = 6) {
  Bytes file = Signature();
  Append(file, HeaderChunk(width, height, bitDepth, colorType, interlace));
  if (!palette.empty()) Append(file, Chunk("PLTE", palette));
  Append(file, Chunk("IDAT", ZlibCompress(filtered, level, Z_DEFAULT_STRATEGY)));
  Append(file, Chunk("IEND", {}));
  return file;
}

Bytes Rgba(std::initializer_list<std::array<uint8_t, 4>> pixels) {
  Bytes out;
  for (const auto& pixel : pixels) out.insert(out.end(), pixel.begin(), pixel.end());
  return out;
}

Bytes BlackPicture(size_t pixelCount) {
  Bytes out(pixelCount * 4, 0);
  for (size_t i = 3; i < out.size(); i += 4) out[i] = 255;
  return out;
}

TEST(VxRawPngDecoder, EveryFormatDecodesToItsSource) {
  const EncodeOptions encodings[] = {
      {false, -1, 6, Z_DEFAULT_STRATEGY, 0}, {false, -1, 0, Z_DEFAULT_STRATEGY, 0},
      {false, -1, 6, Z_FIXED, 0},            {false, -1, 9, Z_DEFAULT_STRATEGY, 7},
  };
  const std::pair<uint32_t, uint32_t> sizes[] = {{1, 1}, {3, 3}, {7, 5}, {17, 9}, {33, 2}, {2, 19}};
  uint32_t seed = 1;
  for (const Format& format : kFormats) {
    for (bool interlaced : {false, true}) {
      for (const auto& [width, height] : sizes) {
        for (EncodeOptions options : encodings) {
          options.interlaced = interlaced;
          const SourceImage image = RandomImage(width, height, format.colorType, format.bitDepth, ++seed);
          const DecodeOutcome decoded = DecodePngBytes(EncodePng(image, options));
          const bool packed = format.bitDepth < 8;
          SCOPED_TRACE(testing::Message() << "type " << format.colorType << " depth " << format.bitDepth
                                          << " interlaced " << interlaced << " " << width << "x" << height
                                          << " level " << options.zlibLevel);
          EXPECT_TRUE(decoded.result);
          ASSERT_TRUE(decoded.hasPicture);
          EXPECT_EQ(decoded.width, width);
          EXPECT_EQ(decoded.height, height);
          // Interlaced files of packed pixels are read through but left undrawn.
          EXPECT_EQ(decoded.pixels, interlaced && packed ? BlackPicture(width * height)
                                                         : readtest::ExpectedRgba(image));
          EXPECT_EQ(decoded.out, "");
        }
      }
    }
  }
}

TEST(VxRawPngDecoder, SubAndUpOnTheFirstLine) {
  EXPECT_EQ(DecodePngBytes(FileWithData(2, 1, 8, 2, {1, 10, 20, 30, 5, 5, 5})).pixels,
            Rgba({{10, 20, 30, 255}, {15, 25, 35, 255}}));
  EXPECT_EQ(DecodePngBytes(FileWithData(2, 1, 8, 2, {2, 10, 20, 30, 5, 5, 5})).pixels,
            Rgba({{10, 20, 30, 255}, {5, 5, 5, 255}}));
  // Average and Paeth see zeros above the first line as well.
  EXPECT_EQ(DecodePngBytes(FileWithData(2, 1, 8, 0, {3, 100, 10})).pixels,
            Rgba({{100, 100, 100, 255}, {60, 60, 60, 255}}));
  EXPECT_EQ(DecodePngBytes(FileWithData(2, 1, 8, 0, {4, 100, 10})).pixels,
            Rgba({{100, 100, 100, 255}, {110, 110, 110, 255}}));
  // Filter types beyond 4 leave the line as stored.
  EXPECT_EQ(DecodePngBytes(FileWithData(2, 1, 8, 0, {9, 100, 10})).pixels,
            Rgba({{100, 100, 100, 255}, {10, 10, 10, 255}}));
}

TEST(VxRawPngDecoder, PackedLinesUseOnlyTheirPixelsBits) {
  // 3 pixels of 1-bit grey: 1 0 1, the 5 low bits are padding.
  EXPECT_EQ(DecodePngBytes(FileWithData(3, 1, 1, 0, {0, 0xBF})).pixels,
            Rgba({{255, 255, 255, 255}, {0, 0, 0, 255}, {255, 255, 255, 255}}));
  // 2-bit palette, 3 pixels 3 1 2, then a second line unfiltered with Up.
  const Bytes palette{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  EXPECT_EQ(DecodePngBytes(FileWithData(3, 2, 2, 3, {0, 0xD8, 2, 0x00}, 0, palette)).pixels,
            Rgba({{10, 11, 12, 255}, {4, 5, 6, 255}, {7, 8, 9, 255},
                  {10, 11, 12, 255}, {4, 5, 6, 255}, {7, 8, 9, 255}}));
}

TEST(VxRawPngDecoder, InterlacedPicturesSkipEmptyPasses) {
  // 1 x 1: everything is in pass 1; a byte more is refused and leaves the picture intact.
  DecodeOutcome decoded = DecodePngBytes(FileWithData(1, 1, 8, 0, {0, 77, 0, 99}, 1));
  EXPECT_TRUE(decoded.result);
  EXPECT_EQ(decoded.pixels, Rgba({{77, 77, 77, 255}}));

  // 3 x 3: passes 1, 4, 5, 6 and 7 hold pixels; 2 and 3 none.
  decoded = DecodePngBytes(FileWithData(3, 3, 8, 0,
                                        {0, 10,           // pass 1: (0, 0)
                                         0, 40,           // pass 4: (2, 0)
                                         0, 50, 51,       // pass 5: row 2, columns 0 and 2
                                         0, 60, 0, 61,    // pass 6: column 1 of rows 0 and 2
                                         0, 70, 71, 72},  // pass 7: row 1
                                        1));
  Bytes expected;
  for (uint8_t grey : {10, 60, 40, 70, 71, 72, 50, 61, 51}) expected.insert(expected.end(), {grey, grey, grey, 255});
  EXPECT_EQ(decoded.pixels, expected);
  EXPECT_EQ(decoded.out, "");
}

TEST(VxRawPngDecoder, IndicesBeyondThePaletteStayBlack) {
  // One palette entry; 1-bit pixels 0 1 0 1: the 1s are missing, with a line for each.
  DecodeOutcome decoded = DecodePngBytes(FileWithData(4, 1, 1, 3, {0, 0x50}, 0, {9, 8, 7}));
  EXPECT_EQ(decoded.pixels, Rgba({{9, 8, 7, 255}, {0, 0, 0, 255}, {9, 8, 7, 255}, {0, 0, 0, 255}}));
  EXPECT_EQ(decoded.out, "Not enough palette entry! (1)\nNot enough palette entry! (1)\n");
  // 8-bit palette files say nothing about it; no palette at all is the same.
  decoded = DecodePngBytes(FileWithData(2, 1, 8, 3, {0, 0, 5}, 0, {9, 8, 7}));
  EXPECT_EQ(decoded.pixels, Rgba({{9, 8, 7, 255}, {0, 0, 0, 255}}));
  EXPECT_EQ(decoded.out, "");
  decoded = DecodePngBytes(FileWithData(1, 1, 8, 3, {0, 0}));
  EXPECT_EQ(decoded.pixels, Rgba({{0, 0, 0, 255}}));
}

TEST(VxRawPngDecoder, UnsupportedFormatsAreNamed) {
  for (const Format& format : {Format{0, 2}, Format{0, 4}, Format{0, 16}, Format{4, 16},
                               Format{6, 16}, Format{1, 8}, Format{5, 8}, Format{2, 4}}) {
    const DecodeOutcome decoded =
        DecodePngBytes(FileWithData(1, 1, format.bitDepth, format.colorType, {0, 0, 0, 0, 0, 0, 0}));
    EXPECT_TRUE(decoded.result);
    EXPECT_FALSE(decoded.hasPicture);
    EXPECT_EQ(decoded.out, "Unsupported colorType-bitDepth combination.\n  Color type=" +
                               std::to_string(format.colorType) + "\n  Bit deptch=" +
                               std::to_string(format.bitDepth) + "\n");
  }
}

TEST(VxRawPngDecoder, UnknownInterlaceMethodRefusesEveryDataByte) {
  // Huffman data stop at the first refusal; stored data are offered byte by byte.
  const Bytes filtered{0, 1, 2, 3};
  DecodeOutcome decoded = DecodePngBytes(FileWithData(3, 1, 8, 0, filtered, 2));
  EXPECT_TRUE(decoded.result);
  EXPECT_EQ(decoded.out, "Unsupported interlace method.\n");
  EXPECT_EQ(decoded.pixels, BlackPicture(3));
  decoded = DecodePngBytes(FileWithData(3, 1, 8, 0, filtered, 2, {}, 0));
  EXPECT_EQ(decoded.out, "Unsupported interlace method.\nUnsupported interlace method.\n"
                         "Unsupported interlace method.\n");
}

TEST(VxRawPngDecoder, AlphaOnlyFromFormatsThatCarryIt) {
  EXPECT_EQ(DecodePngBytes(FileWithData(1, 1, 8, 4, {0, 90, 12})).pixels, Rgba({{90, 90, 90, 12}}));
  EXPECT_EQ(DecodePngBytes(FileWithData(1, 1, 8, 6, {0, 1, 2, 3, 4})).pixels, Rgba({{1, 2, 3, 4}}));
  // A transparency chunk does not change the fourth byte of other formats.
  Bytes file = Signature();
  Append(file, HeaderChunk(1, 1, 16, 2, 0));
  Append(file, Chunk("tRNS", {0, 1, 0, 2, 0, 3}));
  Append(file, Chunk("IDAT", ZlibCompress({0, 1, 0, 2, 0, 3, 0}, 6, Z_DEFAULT_STRATEGY)));
  EXPECT_EQ(DecodePngBytes(file).pixels, Rgba({{1, 2, 3, 255}}));
}

TEST(VxRawPngDecoder, ShortDataLeaveTheRestBlack) {
  // Two lines announced, one and a half delivered.
  const DecodeOutcome decoded = DecodePngBytes(FileWithData(2, 2, 8, 0, {0, 5, 6, 0, 7}));
  EXPECT_TRUE(decoded.result);
  EXPECT_EQ(decoded.pixels,
            Rgba({{5, 5, 5, 255}, {6, 6, 6, 255}, {7, 7, 7, 255}, {0, 0, 0, 255}}));
}

}  // namespace
}  // namespace genshoku::png
