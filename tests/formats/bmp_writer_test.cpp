#include "formats/bmp_writer.h"

#include <gtest/gtest.h>

#include "formats/bmp_layout.h"

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

}  // namespace
}  // namespace genshoku
