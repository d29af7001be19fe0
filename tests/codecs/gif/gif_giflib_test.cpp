// Both directions against giflib, an independent implementation: what the writer makes,
// giflib decodes to the same indices and palette; what giflib makes, the reader decodes to
// the same indices and colours.

#include <gtest/gtest.h>

#include "codecs/gif/gif_reader.h"
#include "codecs/gif/gif_writer.h"
#include "common/diagnostics.h"
#include "gif_test_support.h"

namespace genshoku {
namespace {

using giftest::Bytes;
using giftest::OracleFile;
using giftest::OracleImage;

// The indices of the screen area an image covered.
Bytes IndicesIn(const GifReader& reader, const OracleImage& image) {
  Bytes area;
  for (int y = image.top; y < image.top + image.height; ++y) {
    const auto row = reader.screenIndices().begin() + static_cast<ptrdiff_t>(y) * reader.width();
    area.insert(area.end(), row + image.left, row + image.left + image.width);
  }
  return area;
}

Bytes Rendered(const GifReader& reader) {
  Bytes rgb(size_t(reader.width()) * reader.height() * 3);
  reader.Render(rgb.data());
  return rgb;
}

// The colours of indices through a palette.
Bytes Colors(const Bytes& indices, const Bytes& palette) {
  Bytes rgb;
  for (uint8_t index : indices)
    rgb.insert(rgb.end(), palette.begin() + 3 * index, palette.begin() + 3 * index + 3);
  return rgb;
}

TEST(GifWriterAgainstGiflib, EveryDepthAndSizeDecodesToTheSameIndicesAndPalette) {
  for (int depth = 1; depth <= 8; ++depth) {
    for (const auto& [width, height] : {std::pair{1, 1}, {7, 3}, {1, 300}, {173, 91}}) {
      SCOPED_TRACE(testing::Message() << depth << " bits, " << width << "x" << height);
      const Bytes palette = giftest::MakePalette(1 << depth, static_cast<uint32_t>(depth));
      const Bytes frame =
          giftest::MakeIndices(size_t(width) * height, 1 << depth, uint32_t(depth * 31 + width));
      Bytes out;
      auto writer = GifWriter::Create(out, width, height, palette.data(), depth, 3);
      ASSERT_NE(writer, nullptr);
      std::copy(frame.begin(), frame.end(), writer->currentFrame());
      ASSERT_TRUE(writer->WriteFrame(10));
      ASSERT_TRUE(writer->Finish());

      const OracleFile decoded = giftest::DecodeWithGiflib(out);
      ASSERT_TRUE(decoded.ok);
      EXPECT_EQ(decoded.width, width);
      EXPECT_EQ(decoded.height, height);
      EXPECT_EQ(decoded.palette, palette);
      EXPECT_EQ(decoded.loopCount, 3);
      ASSERT_EQ(decoded.images.size(), 1u);
      EXPECT_EQ(decoded.images[0].raster, frame);
      EXPECT_EQ(decoded.images[0].control.DelayTime, 10);
      EXPECT_EQ(decoded.images[0].control.DisposalMode, DISPOSE_DO_NOT);
      EXPECT_EQ(decoded.images[0].control.TransparentColor, NO_TRANSPARENT_COLOR);
    }
  }
}

TEST(GifWriterAgainstGiflib, AnimationFramesComposeBackToEveryFrame) {
  const int width = 64, height = 48;
  const Bytes palette = giftest::MakePalette(256, 77);
  std::vector<Bytes> frames = {giftest::MakeIndices(width * height, 256, 1)};
  giftest::Random random(5);
  for (int i = 0; i < 6; ++i) {
    Bytes next = frames.back();
    const int x = static_cast<int>(random.Below(width - 10)),
              y = static_cast<int>(random.Below(height - 8));
    for (int dy = 0; dy < 8; ++dy) {
      for (int dx = 0; dx < 10; ++dx)
        next[size_t(y + dy) * width + x + dx] = uint8_t(random.Next());
    }
    frames.push_back(i == 3 ? frames.back() : next);  // one frame repeats the one before
  }
  Bytes out;
  auto writer = GifWriter::Create(out, width, height, palette.data(), 8, 0);
  ASSERT_NE(writer, nullptr);
  for (const Bytes& frame : frames) {
    std::copy(frame.begin(), frame.end(), writer->currentFrame());
    ASSERT_TRUE(writer->WriteFrame(0));
  }
  ASSERT_TRUE(writer->Finish());
  EXPECT_EQ(writer->framesWritten(), frames.size());

  const OracleFile decoded = giftest::DecodeWithGiflib(out);
  ASSERT_TRUE(decoded.ok);
  EXPECT_EQ(decoded.loopCount, 0);
  ASSERT_EQ(decoded.images.size(), frames.size());
  Bytes canvas(width * height, 0);
  for (size_t i = 0; i < frames.size(); ++i) {
    const OracleImage& image = decoded.images[i];
    EXPECT_FALSE(image.hasControl);
    for (int y = 0; y < image.height; ++y) {
      std::copy_n(image.raster.begin() + static_cast<ptrdiff_t>(y) * image.width, image.width,
                  canvas.begin() + static_cast<ptrdiff_t>(image.top + y) * width + image.left);
    }
    EXPECT_EQ(canvas, frames[i]) << "frame " << i;
  }
  EXPECT_EQ(decoded.images[4].width, 1);  // the repeated frame
}

TEST(GifReaderAgainstGiflib, EveryMinimumCodeSizeLongStreamsAndInterlacedHeights) {
  std::vector<OracleFile> files;
  // Streams of 500 x 503 run through the whole table: giflib sends clears along the way.
  for (int bits = 1; bits <= 8; ++bits) {
    for (const int side : {5, 500}) {
      OracleFile file;
      file.width = side, file.height = side + 3;
      file.palette = giftest::MakePalette(1 << bits, static_cast<uint32_t>(bits));
      file.images = {giftest::ImageAt(0, 0, file.width, file.height,
                                      giftest::MakeIndices(size_t(file.width) * file.height,
                                                           1 << bits, uint32_t(side + bits)))};
      files.push_back(file);
    }
  }
  for (int height = 1; height <= 20; ++height) {
    OracleFile file;
    file.width = 7, file.height = height;
    file.palette = giftest::MakePalette(16, 3);
    file.images = {giftest::ImageAt(
        0, 0, 7, height, giftest::MakeIndices(size_t(7) * height, 16, uint32_t(height)))};
    file.images[0].interlaced = true;
    files.push_back(file);
  }
  for (const OracleFile& file : files) {
    SCOPED_TRACE(testing::Message()
                 << file.palette.size() / 3 << " colours, " << file.width << "x" << file.height);
    const Bytes bytes = giftest::EncodeWithGiflib(file);
    ASSERT_FALSE(bytes.empty());
    ASSERT_EQ(giftest::DecodeWithGiflib(bytes).images.at(0).raster, file.images[0].raster);
    CapturedDiagnostics diagnostics;
    auto reader = GifReader::OpenMemory(bytes.data(), bytes.size(), diagnostics);
    ASSERT_NE(reader, nullptr);
    ASSERT_EQ(reader->NextImage(), GifReader::kImageRead);
    EXPECT_EQ(reader->screenIndices(), file.images[0].raster);
    EXPECT_EQ(Rendered(*reader), Colors(file.images[0].raster, file.palette));
    EXPECT_EQ(reader->NextImage(), GifReader::kTrailer);
    EXPECT_EQ(diagnostics.AllText(), "");
  }
}

TEST(GifReaderAgainstGiflib, FollowsFramesWithLocalTablesOffsetsAndExtensions) {
  OracleFile file;
  file.width = 40, file.height = 30;
  file.palette = giftest::MakePalette(64, 8);
  file.loopCount = 7;
  file.comment = "made by giflib";
  giftest::Random random(12);
  for (int i = 0; i < 5; ++i) {
    OracleImage image;
    image.width = 5 + static_cast<int>(random.Below(30));
    image.height = 3 + static_cast<int>(random.Below(25));
    image.left = static_cast<int>(random.Below(uint32_t(file.width - image.width + 1)));
    image.top = static_cast<int>(random.Below(uint32_t(file.height - image.height + 1)));
    image.interlaced = i % 2 == 1;
    const int colors = i == 2 ? 64 : 8 << i % 3;
    if (i != 2) image.localPalette = giftest::MakePalette(colors, 100u + uint32_t(i));
    image.raster = giftest::MakeIndices(size_t(image.width) * image.height, colors, uint32_t(i));
    image.disposal = DISPOSE_DO_NOT;
    image.delay = 3 * i;
    file.images.push_back(image);
  }
  const Bytes bytes = giftest::EncodeWithGiflib(file);
  ASSERT_FALSE(bytes.empty());

  auto reader = GifReader::OpenMemory(bytes.data(), bytes.size());
  ASSERT_NE(reader, nullptr);
  for (const OracleImage& image : file.images) {
    ASSERT_EQ(reader->NextImage(), GifReader::kImageRead);
    EXPECT_EQ(reader->rectLeft(), image.left);
    EXPECT_EQ(reader->rectTop(), image.top);
    EXPECT_EQ(reader->rectWidth(), image.width);
    EXPECT_EQ(reader->rectHeight(), image.height);
    EXPECT_EQ(reader->delayTime(), image.delay);
    EXPECT_EQ(IndicesIn(*reader, image), image.raster);
    const Bytes& palette = image.localPalette.empty() ? file.palette : image.localPalette;
    const size_t corner = (size_t(image.top) * file.width + image.left) * 3;
    const Bytes rgb = Rendered(*reader);
    EXPECT_EQ(Bytes(rgb.begin() + ptrdiff_t(corner), rgb.begin() + ptrdiff_t(corner) + 3),
              Colors({image.raster[0]}, palette));
  }
  EXPECT_EQ(reader->repeatCount(), 7);
  EXPECT_EQ(reader->NextImage(), GifReader::kTrailer);
}

TEST(GifReaderAgainstGiflib, ShowsTheCanvasThroughTransparentPixelsForEachDisposal) {
  // Screen 4 x 1 with a white background entry; frame one covers it through a local table
  // whose background entry is blue; frame two covers the middle two pixels, one transparent.
  const Bytes white = {255, 255, 255}, blue = {0, 0, 255}, red = {200, 0, 0};
  OracleFile file;
  file.width = 4, file.height = 1, file.background = 1;
  file.palette = {0, 0, 0, 255, 255, 255, 0, 200, 0, 9, 9, 9};
  OracleImage first = giftest::ImageAt(0, 0, 4, 1, {2, 2, 3, 3});
  first.localPalette = {0, 0, 0, 0, 0, 255, 200, 0, 0, 0, 90, 0};
  OracleImage second = giftest::ImageAt(1, 0, 2, 1, {0, 2});
  second.disposal = DISPOSE_DO_NOT, second.transparent = 0;
  for (const auto& [disposal, under] : {std::pair{0, red}, {1, red}, {2, blue}, {3, white}}) {
    SCOPED_TRACE(testing::Message() << "disposal " << disposal);
    first.disposal = disposal;
    file.images = {first, second};
    const Bytes bytes = giftest::EncodeWithGiflib(file);
    ASSERT_FALSE(bytes.empty());
    auto reader = GifReader::OpenMemory(bytes.data(), bytes.size());
    ASSERT_NE(reader, nullptr);
    ASSERT_EQ(reader->NextImage(), GifReader::kImageRead);
    EXPECT_EQ(Rendered(*reader), (Bytes{200, 0, 0, 200, 0, 0, 0, 90, 0, 0, 90, 0}));
    ASSERT_EQ(reader->NextImage(), GifReader::kImageRead);
    EXPECT_EQ(reader->disposalMethod(), DISPOSE_DO_NOT);
    // The transparent pixel shows what is under it; the other is the screen's green.
    const Bytes rgb = Rendered(*reader);
    EXPECT_EQ(Bytes(rgb.begin() + 3, rgb.begin() + 9),
              (Bytes{under[0], under[1], under[2], 0, 200, 0}));
  }
}

}  // namespace
}  // namespace genshoku
