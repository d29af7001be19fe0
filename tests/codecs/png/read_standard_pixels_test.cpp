// The reader's standard rules against libpng expanding every file to 8-bit RGBA (palette
// and grey expanded, 16-bit samples scaled with rounding, the transparency chunk made into
// alpha): every colour type and bit depth, interlaced or not, with and without a
// transparency chunk. The window's rules stay as they were beside them.
#include <gtest/gtest.h>
#include <png.h>

#include <cstring>
#include <string>

#include "support_read_png.h"

namespace genshoku::png {
namespace {

using namespace pngtest;

struct MemoryReader {
  const Bytes* file;
  size_t at = 0;
};

void ReadFromMemory(png_structp png, png_bytep out, png_size_t count) {
  auto* source = static_cast<MemoryReader*>(png_get_io_ptr(png));
  if (source->at + count > source->file->size()) png_error(png, "read past the end");
  std::memcpy(out, source->file->data() + source->at, count);
  source->at += count;
}

// libpng's picture of `file` as 8-bit red, green, blue and alpha; empty when it fails.
Bytes LibpngRgba(const Bytes& file) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  MemoryReader source{&file};
  Bytes rgba;
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return {};
  }
  png_set_read_fn(png, &source, ReadFromMemory);
  png_read_info(png, info);
  png_set_expand(png);
  png_set_scale_16(png);
  png_set_gray_to_rgb(png);
  png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  const png_uint_32 width = png_get_image_width(png, info);
  const png_uint_32 height = png_get_image_height(png, info);
  EXPECT_EQ(png_get_rowbytes(png, info), size_t{width} * 4);
  rgba.resize(size_t{width} * height * 4);
  std::vector<png_bytep> rows(height);
  for (png_uint_32 y = 0; y < height; ++y) rows[y] = rgba.data() + size_t{y} * width * 4;
  png_read_image(png, rows.data());
  png_destroy_read_struct(&png, &info, nullptr);
  return rgba;
}

DecodeOutcome DecodeStandard(const Bytes& file) {
  CapturedDiagnostics diagnostics;
  VxRawPngDecoder decoder(diagnostics);
  decoder.pixelRules = PngPixelRules::Standard;
  VxPngMemoryStream stream(file.data(), file.size());
  DecodeOutcome outcome;
  outcome.result = decoder.DecodeStream(stream);
  outcome.hasPicture = decoder.HasPicture();
  outcome.width = decoder.outWidth;
  outcome.height = decoder.outHeight;
  outcome.pixels = decoder.pixels;
  outcome.out = diagnostics.Text(DiagnosticStream::Out);
  return outcome;
}

// The transparency chunk for `image`: a key equal to its first pixel (so that some pixels
// match it) for grey and truecolour, falling alphas for a palette's first entries.
Bytes TransparencyFor(const SourceImage& image) {
  if (image.colorType == 3) {
    Bytes alphas;
    for (size_t i = 0; i < image.palette.size() / 3 && i < 5; ++i) {
      alphas.push_back(static_cast<uint8_t>(255 - 60 * i));
    }
    return alphas;
  }
  const int samples = image.colorType == 0 ? 1 : 3;
  Bytes key;
  for (int s = 0; s < samples; ++s) {
    uint32_t value = 0;
    if (image.bitDepth == 16) {
      value = uint32_t{image.rows[2 * s]} << 8 | image.rows[2 * s + 1];
    } else if (image.bitDepth == 8) {
      value = image.rows[s];
    } else {
      value = image.PackedSample(0, 0);
    }
    key.push_back(static_cast<uint8_t>(value >> 8));
    key.push_back(static_cast<uint8_t>(value));
  }
  return key;
}

Bytes WithChunkAfterPalette(Bytes file, const Bytes& chunk) {
  // After the signature and the header, and after PLTE when there is one.
  size_t at = 33;
  if (std::string(file.begin() + at + 4, file.begin() + at + 8) == "PLTE") {
    const size_t length = size_t{file[at]} << 24 | size_t{file[at + 1]} << 16 |
                          size_t{file[at + 2]} << 8 | file[at + 3];
    at += 12 + length;
  }
  file.insert(file.begin() + static_cast<std::ptrdiff_t>(at), chunk.begin(), chunk.end());
  return file;
}

TEST(PngStandardPixels, EveryFormatDecodesAsLibpngExpandsIt) {
  const struct {
    int colorType, bitDepth;
  } formats[] = {{0, 1}, {0, 2}, {0, 4}, {0, 8}, {0, 16}, {2, 8}, {2, 16}, {3, 1},
                 {3, 2}, {3, 4}, {3, 8}, {4, 8}, {4, 16}, {6, 8}, {6, 16}};
  const std::pair<uint32_t, uint32_t> sizes[] = {{1, 1}, {3, 3}, {9, 7}, {17, 10}};
  uint32_t seed = 100;
  for (const auto& format : formats) {
    const bool keyed = format.colorType != 4 && format.colorType != 6;
    for (bool interlaced : {false, true}) {
      for (bool transparency : {false, true}) {
        if (transparency && !keyed) continue;
        for (const auto& [width, height] : sizes) {
          const SourceImage image =
              RandomImage(width, height, format.colorType, format.bitDepth, ++seed);
          EncodeOptions options;
          options.interlaced = interlaced;
          Bytes file = EncodePng(image, options);
          if (transparency)
            file = WithChunkAfterPalette(file, Chunk("tRNS", TransparencyFor(image)));
          SCOPED_TRACE(testing::Message()
                       << "type " << format.colorType << " depth " << format.bitDepth
                       << " interlaced " << interlaced << " tRNS " << transparency << " " << width
                       << "x" << height);
          const Bytes expected = LibpngRgba(file);
          ASSERT_EQ(expected.size(), size_t{width} * height * 4);
          const DecodeOutcome decoded = DecodeStandard(file);
          EXPECT_TRUE(decoded.result);
          ASSERT_TRUE(decoded.hasPicture);
          EXPECT_EQ(decoded.pixels, expected);
          EXPECT_EQ(decoded.out, "");
        }
      }
    }
  }
}

TEST(PngStandardPixels, SixteenBitSamplesRoundAndKeysMatchAllSixteenBits) {
  // One row of 16-bit grey: 0x807F rounds to 0x80 (its high byte), 0xFF00 to 0xFE and
  // 0x12FF to 0x13 (not their high bytes); the key 0x1234 hides its own pixel, not 0x12FF.
  SourceImage image{4, 1, 0, 16, {0x80, 0x7F, 0xFF, 0x00, 0x12, 0x34, 0x12, 0xFF}, {}};
  const Bytes file = WithChunkAfterPalette(EncodePng(image, {}), Chunk("tRNS", {0x12, 0x34}));
  const DecodeOutcome decoded = DecodeStandard(file);
  ASSERT_TRUE(decoded.hasPicture);
  const Bytes expected{0x80, 0x80, 0x80, 255, 0xFE, 0xFE, 0xFE, 255,
                       0x12, 0x12, 0x12, 0,   0x13, 0x13, 0x13, 255};
  EXPECT_EQ(decoded.pixels, expected);
  const DecodeOutcome window = DecodePngBytes(file);
  EXPECT_FALSE(window.hasPicture) << "the window does not read 16-bit grey";
}

TEST(PngStandardPixels, AlphaForMorePaletteEntriesThanThePaletteHasIsHarmless) {
  SourceImage image = RandomImage(5, 3, 3, 2, 7, 3);  // 3 entries; indices up to 3
  Bytes alphas(300, 17);
  const Bytes file = WithChunkAfterPalette(EncodePng(image, {}), Chunk("tRNS", alphas));
  const DecodeOutcome decoded = DecodeStandard(file);
  ASSERT_TRUE(decoded.hasPicture);
  for (uint32_t i = 0; i < 15; ++i) {
    const uint32_t index = image.PackedSample(i % 5, i / 5);
    // An index past the palette leaves the pixel black and opaque.
    EXPECT_EQ(decoded.pixels[4 * i + 3], index < 3 ? 17 : 255) << "pixel " << i;
  }
}

}  // namespace
}  // namespace genshoku::png
