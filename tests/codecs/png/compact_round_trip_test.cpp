// The compact writer's files decode, with libpng (and so zlib) and with the project's own
// reader, to exactly the pixels the writer was given: for sizes from 1 x 1 up, odd
// widths, every bit depth, palettes of 1 to 256 entries with and without transparency,
// and flat, noisy, photo-like and striped pictures.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/codecs/png/support_compact.h"

namespace genshoku::png {
namespace {

using compacttest::Content;
using compacttest::TestPicture;

struct Size {
  int64_t width;
  int64_t height;
};

const char* NameOf(Content content) {
  switch (content) {
    case Content::kFlat: return "flat";
    case Content::kNoise: return "noise";
    case Content::kPhotoLike: return "photo-like";
    case Content::kStripes: return "stripes";
  }
  return "?";
}

// Writes the picture and checks both decoders; returns the file.
std::vector<uint8_t> CheckRoundTrip(const TestPicture& picture, const CompactPngOptions& options,
                                    const std::string& label) {
  std::vector<uint8_t> png;
  EXPECT_EQ(EncodeCompactPng(picture.Image(), options, png), CompactPngStatus::kOk) << label;
  const std::vector<uint8_t> expected = compacttest::ExpectedRgba(picture);
  uint32_t width = 0;
  uint32_t height = 0;
  std::string error;
  const std::vector<uint8_t> decoded = compacttest::LibpngRgba(png, width, height, error);
  EXPECT_EQ(error, "") << label;
  EXPECT_EQ(width, picture.width) << label;
  EXPECT_EQ(height, picture.height) << label;
  EXPECT_TRUE(decoded == expected) << label << ": libpng decodes other pixels";

  // The project's reader gives every palette pixel alpha 255: only colours are compared.
  const std::vector<uint8_t> own = compacttest::OwnReaderRgba(png, width, height);
  EXPECT_EQ(own.size(), expected.size()) << label;
  bool sameColours = own.size() == expected.size();
  for (size_t i = 0; sameColours && i < own.size(); i += 4) {
    sameColours =
        own[i] == expected[i] && own[i + 1] == expected[i + 1] && own[i + 2] == expected[i + 2];
  }
  EXPECT_TRUE(sameColours) << label << ": the project's reader decodes other colours";
  return png;
}

TEST(CompactPngRoundTrip, EverySizePaletteAndContentDecodesToTheSamePixels) {
  const Size sizes[] = {{1, 1}, {1, 9}, {9, 1}, {7, 5}, {31, 17}, {64, 3}, {257, 33}};
  const int paletteSizes[] = {1, 2, 3, 4, 5, 16, 17, 255, 256};
  const Content contents[] = {Content::kFlat, Content::kNoise, Content::kPhotoLike,
                              Content::kStripes};
  uint64_t seed = 1;
  for (const Size& size : sizes) {
    for (int entries : paletteSizes) {
      for (bool transparency : {false, true}) {
        for (Content content : contents) {
          const TestPicture picture = compacttest::MakePicture(size.width, size.height, entries,
                                                               transparency, content, seed++);
          CheckRoundTrip(picture, CompactPngOptions{},
                         std::to_string(size.width) + "x" + std::to_string(size.height) + ", " +
                             std::to_string(entries) + " entries, " + NameOf(content) +
                             (transparency ? ", transparent" : ""));
        }
      }
    }
  }
}

TEST(CompactPngRoundTrip, LargerPicturesOverSeveralSegmentsAndEveryOption) {
  // 700 x 600 bytes of rows cover two segments of the stream.
  const TestPicture photo = compacttest::MakePicture(700, 600, 256, false, Content::kPhotoLike, 77);
  const TestPicture noise = compacttest::MakePicture(613, 500, 200, true, Content::kNoise, 78);
  const TestPicture small = compacttest::MakePicture(1001, 601, 11, true, Content::kStripes, 79);
  for (int effort = 1; effort <= 3; ++effort) {
    CompactPngOptions options;
    options.effort = effort;
    const std::string label = "effort " + std::to_string(effort);
    CheckRoundTrip(photo, options, "photo, " + label);
    CheckRoundTrip(noise, options, "noise, " + label);
    CheckRoundTrip(small, options, "stripes, " + label);
  }
  for (CompactRowFilter filter :
       {CompactRowFilter::kNone, CompactRowFilter::kSub, CompactRowFilter::kUp,
        CompactRowFilter::kAverage, CompactRowFilter::kPaeth, CompactRowFilter::kSmallestSum}) {
    for (CompactPaletteOrder order :
         {CompactPaletteOrder::kByUse, CompactPaletteOrder::kByLuminance,
          CompactPaletteOrder::kAsGiven}) {
      CompactPngOptions options;
      options.effort = 1;
      options.rowFilter = filter;
      options.paletteOrder = order;
      const std::string label = "filter " + std::to_string(static_cast<int>(filter)) + ", order " +
                                std::to_string(static_cast<int>(order));
      CheckRoundTrip(photo, options, "photo, " + label);
      CheckRoundTrip(small, options, "stripes, " + label);
    }
  }
}

TEST(CompactPngRoundTrip, OneAndTwoThreadsWriteTheSameBytes) {
  // Below and above 3 MB of rows, where the default effort tries fewer rows above; the
  // larger one mixes a flat band (pieces below one bit per byte, which search deeper)
  // into a photo-like picture, so that the finder changes depths from piece to piece;
  // from 1 MP on, the filter sample is compressed on two threads too.
  TestPicture small = compacttest::MakePicture(1200, 1100, 256, false, Content::kPhotoLike, 5);
  TestPicture large = compacttest::MakePicture(1901, 1700, 256, false, Content::kPhotoLike, 6);
  std::fill(large.indices.begin() + 1901 * 600, large.indices.begin() + 1901 * 700, 3);
  // Stripes compress below half a bit per byte: parsed whole, over several segments.
  TestPicture stripes = compacttest::MakePicture(2001, 1300, 9, false, Content::kStripes, 7);
  for (const TestPicture* picture : {&small, &large, &stripes}) {
    CompactPngOptions options;
    options.threads = 1;
    const std::vector<uint8_t> first =
        CheckRoundTrip(*picture, options, std::to_string(picture->width) + " wide, 1 thread");
    options.threads = 2;
    std::vector<uint8_t> second;
    ASSERT_EQ(EncodeCompactPng(picture->Image(), options, second), CompactPngStatus::kOk);
    EXPECT_TRUE(first == second) << picture->width << " wide";
  }
}

}  // namespace
}  // namespace genshoku::png
