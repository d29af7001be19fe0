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
using giftest::OracleFrame;
using giftest::OracleScreen;

// The indices of the screen area an image covered.
Bytes IndicesIn(const GifReader& reader, int left, int top, int width, int height) {
  Bytes area;
  for (int y = top; y < top + height; ++y) {
    const auto row = reader.screenIndices().begin() + static_cast<ptrdiff_t>(y) * reader.width();
    area.insert(area.end(), row + left, row + left + width);
  }
  return area;
}

Bytes Rendered(const GifReader& reader) {
  Bytes rgb(size_t(reader.width()) * reader.height() * 3);
  reader.Render(rgb.data());
  return rgb;
}

// The screen's colours for indices through a palette.
Bytes Colors(const Bytes& indices, const Bytes& palette) {
  Bytes rgb;
  for (uint8_t index : indices) {
    rgb.insert(rgb.end(), palette.begin() + 3 * index, palette.begin() + 3 * index + 3);
  }
  return rgb;
}

TEST(GifWriterAgainstGiflib, EveryDepthAndSizeDecodesToTheSameIndicesAndPalette) {
  struct Size {
    int width, height;
  };
  for (int depth = 1; depth <= 8; ++depth) {
    for (const Size size : {Size{1, 1}, Size{7, 3}, Size{1, 300}, Size{173, 91}}) {
      const int colors = 1 << depth;
      const Bytes palette = giftest::MakePalette(colors, static_cast<uint32_t>(depth));
      const Bytes frame =
          giftest::MakeIndices(size_t(size.width) * size.height, colors, uint32_t(depth * 31 + size.width));
      Bytes out;
      auto writer = GifWriter::Create(out, size.width, size.height, palette.data(), depth, 3);
      ASSERT_NE(writer, nullptr);
      std::copy(frame.begin(), frame.end(), writer->currentFrame());
      ASSERT_TRUE(writer->WriteFrame(10));
      ASSERT_TRUE(writer->Finish());

      const giftest::OracleFile decoded = giftest::DecodeWithGiflib(out);
      ASSERT_TRUE(decoded.ok) << depth << " " << size.width << "x" << size.height;
      EXPECT_EQ(decoded.width, size.width);
      EXPECT_EQ(decoded.height, size.height);
      EXPECT_EQ(decoded.palette, palette);
      EXPECT_EQ(decoded.loopCount, 3);
      ASSERT_EQ(decoded.images.size(), 1u);
      EXPECT_EQ(decoded.images[0].raster, frame) << depth << " " << size.width << "x" << size.height;
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
    const int x = static_cast<int>(random.Below(width - 10)), y = static_cast<int>(random.Below(height - 8));
    for (int dy = 0; dy < 8; ++dy) {
      for (int dx = 0; dx < 10; ++dx) next[size_t(y + dy) * width + x + dx] = uint8_t(random.Next());
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

  const giftest::OracleFile decoded = giftest::DecodeWithGiflib(out);
  ASSERT_TRUE(decoded.ok);
  EXPECT_EQ(decoded.loopCount, 0);
  ASSERT_EQ(decoded.images.size(), frames.size());
  Bytes canvas(width * height, 0);
  for (size_t i = 0; i < frames.size(); ++i) {
    const giftest::OracleImage& image = decoded.images[i];
    EXPECT_FALSE(image.hasControl);
    for (int y = 0; y < image.height; ++y) {
      std::copy_n(image.raster.begin() + static_cast<ptrdiff_t>(y) * image.width, image.width,
                  canvas.begin() + static_cast<ptrdiff_t>(image.top + y) * width + image.left);
    }
    EXPECT_EQ(canvas, frames[i]) << "frame " << i;
  }
  EXPECT_EQ(decoded.images[4].width, 1);  // the repeated frame
}

TEST(GifReaderAgainstGiflib, DecodesEveryMinimumCodeSizeAndLongStreams) {
  for (int bits = 1; bits <= 8; ++bits) {
    for (const int side : {5, 500}) {
      OracleScreen screen;
      screen.width = side, screen.height = side + 3;
      screen.palette = giftest::MakePalette(1 << bits, static_cast<uint32_t>(bits));
      OracleFrame frame;
      frame.width = screen.width, frame.height = screen.height;
      frame.indices = giftest::MakeIndices(size_t(frame.width) * frame.height, 1 << bits,
                                           static_cast<uint32_t>(side + bits));
      const Bytes file = giftest::EncodeWithGiflib(screen, {frame});
      ASSERT_FALSE(file.empty());
      const size_t codeSizeAt = 13 + 3 * (size_t(1) << bits) + 10;
      const int minimumCodeSize = std::max(bits, 2);
      ASSERT_EQ(file[codeSizeAt], minimumCodeSize);
      if (side == 500) {
        // The stream runs through the whole table: giflib sends clears along the way.
        const auto codes = giftest::TraceCodes(Bytes(file.begin() + codeSizeAt + 1, file.end()),
                                               minimumCodeSize);
        EXPECT_GT(std::count_if(codes.begin() + 1, codes.end(),
                                [&](const giftest::TracedCode& c) { return c.code == 1 << minimumCodeSize; }),
                  0) << bits << " codes " << codes.size();
      }

      CapturedDiagnostics diagnostics;
      auto reader = GifReader::OpenMemory(file.data(), file.size(), diagnostics);
      ASSERT_NE(reader, nullptr);
      ASSERT_EQ(reader->NextImage(), GifReader::kImageRead) << bits << " " << side;
      EXPECT_EQ(reader->screenIndices(), frame.indices) << bits << " " << side;
      EXPECT_EQ(Rendered(*reader), Colors(frame.indices, screen.palette));
      EXPECT_EQ(reader->NextImage(), GifReader::kTrailer);
      EXPECT_EQ(diagnostics.AllText(), "");
    }
  }
}

TEST(GifReaderAgainstGiflib, DecodesInterlacedImagesOfEveryHeight) {
  for (int height = 1; height <= 20; ++height) {
    OracleScreen screen;
    screen.width = 7, screen.height = height;
    screen.palette = giftest::MakePalette(16, 3);
    OracleFrame frame;
    frame.width = 7, frame.height = height, frame.interlaced = true;
    frame.indices = giftest::MakeIndices(size_t(7) * height, 16, static_cast<uint32_t>(height));
    const Bytes file = giftest::EncodeWithGiflib(screen, {frame});
    ASSERT_FALSE(file.empty());
    ASSERT_EQ(giftest::DecodeWithGiflib(file).images.at(0).raster, frame.indices);

    auto reader = GifReader::OpenMemory(file.data(), file.size());
    ASSERT_NE(reader, nullptr);
    ASSERT_EQ(reader->NextImage(), GifReader::kImageRead);
    EXPECT_EQ(reader->screenIndices(), frame.indices) << "height " << height;
  }
}

TEST(GifReaderAgainstGiflib, FollowsFramesWithLocalTablesOffsetsAndExtensions) {
  OracleScreen screen;
  screen.width = 40, screen.height = 30;
  screen.palette = giftest::MakePalette(64, 8);
  screen.loopCount = 7;
  screen.comment = "made by giflib";
  std::vector<OracleFrame> frames;
  giftest::Random random(12);
  for (int i = 0; i < 5; ++i) {
    OracleFrame frame;
    frame.width = 5 + static_cast<int>(random.Below(30));
    frame.height = 3 + static_cast<int>(random.Below(25));
    frame.left = static_cast<int>(random.Below(uint32_t(screen.width - frame.width + 1)));
    frame.top = static_cast<int>(random.Below(uint32_t(screen.height - frame.height + 1)));
    frame.interlaced = i % 2 == 1;
    const int colors = i == 2 ? 64 : 8 << i % 3;
    if (i != 2) frame.localPalette = giftest::MakePalette(colors, 100u + uint32_t(i));
    frame.indices = giftest::MakeIndices(size_t(frame.width) * frame.height, colors, uint32_t(i));
    frame.disposal = DISPOSE_DO_NOT;
    frame.delay = 3 * i;
    frames.push_back(frame);
  }
  const Bytes file = giftest::EncodeWithGiflib(screen, frames);
  ASSERT_FALSE(file.empty());

  auto reader = GifReader::OpenMemory(file.data(), file.size());
  ASSERT_NE(reader, nullptr);
  for (const OracleFrame& frame : frames) {
    ASSERT_EQ(reader->NextImage(), GifReader::kImageRead);
    EXPECT_EQ(reader->rectLeft(), frame.left);
    EXPECT_EQ(reader->rectTop(), frame.top);
    EXPECT_EQ(reader->rectWidth(), frame.width);
    EXPECT_EQ(reader->rectHeight(), frame.height);
    EXPECT_EQ(reader->delayTime(), frame.delay);
    EXPECT_EQ(IndicesIn(*reader, frame.left, frame.top, frame.width, frame.height), frame.indices);
    const Bytes& palette = frame.localPalette.empty() ? screen.palette : frame.localPalette;
    const Bytes rgb = Rendered(*reader);
    const size_t corner = (size_t(frame.top) * screen.width + frame.left) * 3;
    EXPECT_EQ(Bytes(rgb.begin() + static_cast<ptrdiff_t>(corner), rgb.begin() + static_cast<ptrdiff_t>(corner) + 3),
              Colors({frame.indices[0]}, palette));
  }
  EXPECT_EQ(reader->repeatCount(), 7);
  EXPECT_EQ(reader->NextImage(), GifReader::kTrailer);
}

TEST(GifReaderAgainstGiflib, ShowsTheCanvasThroughTransparentPixelsForEachDisposal) {
  // Screen 4 x 1 with a white background entry; frame one covers it through a local table
  // whose background entry is blue; frame two covers the middle two pixels, one transparent.
  const Bytes white = {255, 255, 255}, blue = {0, 0, 255};
  OracleScreen screen;
  screen.width = 4, screen.height = 1, screen.background = 1;
  screen.palette = {0, 0, 0, 255, 255, 255, 0, 200, 0, 9, 9, 9};
  OracleFrame first;
  first.width = 4, first.height = 1, first.indices = {2, 2, 3, 3};
  first.localPalette = {0, 0, 0, 0, 0, 255, 200, 0, 0, 0, 90, 0};
  OracleFrame second;
  second.left = 1, second.width = 2, second.height = 1, second.indices = {0, 2};
  second.disposal = DISPOSE_DO_NOT, second.transparent = 0;
  const Bytes red = {200, 0, 0}, green = {0, 90, 0}, screenGreen = {0, 200, 0};

  struct Case {
    int disposal;
    Bytes under;  // what shows through the transparent pixel (screen pixel 1)
  };
  for (const Case& c : {Case{0, red}, Case{1, red}, Case{2, blue}, Case{3, white}}) {
    first.disposal = c.disposal;
    const Bytes file = giftest::EncodeWithGiflib(screen, {first, second});
    ASSERT_FALSE(file.empty());
    auto reader = GifReader::OpenMemory(file.data(), file.size());
    ASSERT_NE(reader, nullptr);
    ASSERT_EQ(reader->NextImage(), GifReader::kImageRead);
    EXPECT_EQ(Rendered(*reader), (Bytes{200, 0, 0, 200, 0, 0, 0, 90, 0, 0, 90, 0}));
    ASSERT_EQ(reader->NextImage(), GifReader::kImageRead);
    EXPECT_EQ(reader->disposalMethod(), DISPOSE_DO_NOT);
    const Bytes rgb = Rendered(*reader);
    EXPECT_EQ(Bytes(rgb.begin() + 3, rgb.begin() + 6), c.under) << "disposal " << c.disposal;
    EXPECT_EQ(Bytes(rgb.begin() + 6, rgb.begin() + 9), screenGreen) << "disposal " << c.disposal;
  }
}

}  // namespace
}  // namespace genshoku
