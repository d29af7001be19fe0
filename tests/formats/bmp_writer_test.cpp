#include "formats/bmp_writer.h"

#include <gtest/gtest.h>

#include "common/diagnostics.h"
#include "formats/bmp_layout.h"
#include "formats/bmp_reader.h"

namespace genshoku {
namespace {

// 5 x 2 pixels: top row 11..15, bottom row 1..5.
IndexedPicture Picture(size_t entries) {
  IndexedPicture picture;
  picture.width = 5;
  picture.height = 2;
  picture.indices = {11, 12, 13, 14, 15, 1, 2, 3, 4, 5};
  for (size_t i = 0; i < entries; ++i) {
    picture.palette.push_back({7, static_cast<uint8_t>(255 - i), static_cast<uint8_t>(i), 255});
  }
  return picture;
}

TEST(EncodeBmp8, AFullPaletteGivesTheClassicLayoutWithRowsBottomFirst) {
  const std::vector<uint8_t> file = EncodeBmp8(Picture(256));
  ASSERT_EQ(file.size(), 1094u);
  EXPECT_EQ(file[0], 'B');
  EXPECT_EQ(file[1], 'M');
  EXPECT_EQ(ReadLe32(&file[2]), 1094u);
  EXPECT_EQ(ReadLe32(&file[6]), 0u);
  EXPECT_EQ(ReadLe32(&file[10]), 1078u);
  EXPECT_EQ(ReadLe32(&file[14]), 40u);
  EXPECT_EQ(ReadLe32(&file[18]), 5u);
  EXPECT_EQ(ReadLe32(&file[22]), 2u);
  EXPECT_EQ(ReadLe16(&file[26]), 1);
  EXPECT_EQ(ReadLe16(&file[28]), 8);
  for (size_t offset = 30; offset < 54; ++offset) EXPECT_EQ(file[offset], 0) << offset;
  for (int i = 0; i < 256; ++i) {
    EXPECT_EQ(file[54 + 4 * i], i) << "blue";
    EXPECT_EQ(file[54 + 4 * i + 1], 255 - i) << "green";
    EXPECT_EQ(file[54 + 4 * i + 2], 7) << "red";
    EXPECT_EQ(file[54 + 4 * i + 3], 0);
  }
  EXPECT_EQ(std::vector<uint8_t>(file.begin() + 1078, file.end()),
            (std::vector<uint8_t>{1, 2, 3, 4, 5, 0, 0, 0, 11, 12, 13, 14, 15, 0, 0, 0}));
}

TEST(EncodeBmp8, ASmallerPaletteStoresOnlyItsEntriesAndNamesTheirCount) {
  const std::vector<uint8_t> file = EncodeBmp8(Picture(16));
  const size_t rows = 54 + 16 * 4;
  ASSERT_EQ(file.size(), rows + 16);
  EXPECT_EQ(ReadLe32(&file[2]), file.size());
  EXPECT_EQ(ReadLe32(&file[10]), rows);
  EXPECT_EQ(ReadLe32(&file[46]), 16u) << "colours used";
  EXPECT_EQ(file[54 + 4 * 15], 15) << "blue of the last entry";
  EXPECT_EQ(file[rows], 1) << "the bottom row comes first";
}

// Every width around the byte and row-padding borders, at each depth the palette fits: the
// reader gives back each pixel's entry, and the file is as long as its packed rows.
TEST(EncodeBmp, PackedDepthsReadBackAsTheirEntries) {
  for (const size_t entries : {size_t{2}, size_t{3}, size_t{16}, size_t{17}, size_t{256}}) {
    for (int32_t width = 1; width <= 35; ++width) {
      IndexedPicture picture;
      picture.width = width;
      picture.height = 3;
      for (size_t i = 0; i < entries; ++i) {
        picture.palette.push_back(
            {static_cast<uint8_t>(i), static_cast<uint8_t>(3 * i), static_cast<uint8_t>(~i), 255});
      }
      for (int32_t i = 0; i < width * 3; ++i) {
        picture.indices.push_back(static_cast<uint8_t>((i * 7 + i / 5) % entries));
      }
      const int bits = SmallestBmpDepth(entries);
      EXPECT_EQ(bits, entries <= 2 ? 1 : entries <= 16 ? 4 : 8);
      const std::vector<uint8_t> file = EncodeBmp(picture, bits);
      const std::string what = std::to_string(entries) + " entries, width " + std::to_string(width);
      ASSERT_EQ(file.size(), 54 + 4 * entries + 3 * StrideForBits(width, bits)) << what;
      EXPECT_EQ(ReadLe16(&file[28]), bits) << what;
      EXPECT_EQ(ReadLe32(&file[46]), entries == (size_t{1} << bits) ? 0u : entries) << what;

      BmpFileImage image;
      CapturedDiagnostics lines;
      ASSERT_EQ(BmpFileImageFromMemory(file.data(), file.size(), "x.bmp", &image, lines),
                BmpReadStatus::Ok)
          << what << lines.AllText();
      const std::optional<RgbaPicture> read = PictureFromBmpImage(image, "x.bmp", lines);
      ASSERT_TRUE(read.has_value()) << what << lines.AllText();
      for (size_t i = 0; i < picture.indices.size(); ++i) {
        ASSERT_EQ(read->pixels[i], picture.palette[picture.indices[i]]) << what << ", pixel " << i;
      }
    }
  }
}

}  // namespace
}  // namespace genshoku
