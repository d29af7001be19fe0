#include "formats/dib_image.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "formats/bmp_layout.h"
#include "shell/picture_state.h"

namespace genshoku {
namespace {

constexpr uint32_t kWhite = 0xFFFFFFFF;
constexpr uint32_t kBlack = 0xFF000000;

// An info header, then `extra` (colour table or masks), then the stored rows, in one block.
struct Dib {
  std::vector<uint8_t> block;
  size_t bitsOffset = 0;

  Dib(int32_t width, int32_t height, int bits, const std::vector<uint8_t>& extra,
      const std::vector<uint8_t>& rows, uint32_t compression = 0, uint32_t coloursUsed = 0) {
    block.assign(kBmpInfoHeaderSize, 0);
    WriteBmpInfoHeader(block.data(), width, height, bits);
    WriteLe32(block.data() + 16, compression);
    WriteLe32(block.data() + 32, coloursUsed);
    block.insert(block.end(), extra.begin(), extra.end());
    bitsOffset = block.size();
    block.insert(block.end(), rows.begin(), rows.end());
  }
  DibSource Source() const {
    return {block.data(), block.size(), block.data() + bitsOffset, block.size() - bitsOffset};
  }
};

std::vector<uint32_t> Convert(const Dib& dib, DibGeometry* geometry = nullptr) {
  DibGeometry g;
  std::vector<uint32_t> pixels;
  EXPECT_TRUE(ConvertDib(dib.Source(), &g, &pixels));
  if (geometry) *geometry = g;
  return pixels;
}

std::vector<uint8_t> Le32s(std::initializer_list<uint32_t> values) {
  std::vector<uint8_t> bytes;
  for (uint32_t v : values) {
    uint8_t b[4];
    WriteLe32(b, v);
    bytes.insert(bytes.end(), b, b + 4);
  }
  return bytes;
}

TEST(DibImageTest, TwentyFourBitRowsComeBottomFirstUnlessTheHeightIsNegative) {
  // Two pixels per row (6 bytes + 2 pad); stored row 0 is blue then green, row 1 red, white.
  const std::vector<uint8_t> rows = {255, 0, 0,   0,   255, 0,   9, 9,  //
                                     0,   0, 255, 255, 255, 255, 9, 9};
  DibGeometry g;
  const std::vector<uint32_t> bottomUp = Convert(Dib(2, 2, 24, {}, rows), &g);
  EXPECT_EQ(g.width, 2);
  EXPECT_EQ(g.height, 2);
  EXPECT_FALSE(g.topDown);
  EXPECT_EQ(bottomUp, (std::vector<uint32_t>{0xFFFF0000, kWhite, 0xFF0000FF, 0xFF00FF00}));
  const std::vector<uint32_t> topDown = Convert(Dib(2, -2, 24, {}, rows), &g);
  EXPECT_TRUE(g.topDown);
  EXPECT_EQ(g.height, 2);
  EXPECT_EQ(topDown, (std::vector<uint32_t>{0xFF0000FF, 0xFF00FF00, 0xFFFF0000, kWhite}));
}

TEST(DibImageTest, IndexedRowsLookUpTheColourTable) {
  // Table: 0 black-ish, 1 = (r 10, g 20, b 30), 2 white.
  const std::vector<uint8_t> table = {1, 2, 3, 0, 30, 20, 10, 0, 255, 255, 255, 0};
  // 8 bits, 3 entries in use: index 7 lies past the table and paints black.
  const std::vector<uint32_t> eight = Convert(Dib(3, 1, 8, table, {1, 2, 7, 0}, 0, 3));
  EXPECT_EQ(eight, (std::vector<uint32_t>{0xFF0A141E, kWhite, kBlack}));
  // 4 bits: high nibble first.
  const std::vector<uint8_t> table16 = [&] {
    std::vector<uint8_t> t = table;
    t.resize(16 * 4, 0);
    return t;
  }();
  EXPECT_EQ(Convert(Dib(3, 1, 4, table16, {0x12, 0x00, 0, 0})),
            (std::vector<uint32_t>{0xFF0A141E, kWhite, 0xFF030201}));
  // 1 bit: most significant bit first, across a byte boundary.
  const std::vector<uint32_t> one =
      Convert(Dib(10, 1, 1, {0, 0, 0, 0, 255, 255, 255, 0}, {0xA0, 0x40, 0, 0}));
  const uint32_t w = kWhite, b = kBlack;
  EXPECT_EQ(one, (std::vector<uint32_t>{w, b, w, b, b, b, b, b, b, w}));
}

TEST(DibImageTest, SixteenAndThirtyTwoBitsUseDefaultOrGivenMasks) {
  // 5-5-5: pure red is 0x7C00.
  EXPECT_EQ(Convert(Dib(2, 1, 16, {}, {0x00, 0x7C, 0x1F, 0x00})),
            (std::vector<uint32_t>{0xFFFF0000, 0xFF0000FF}));
  // 5-6-5 through bit fields: pure green is 0x07E0.
  EXPECT_EQ(Convert(Dib(1, 1, 16, Le32s({0xF800, 0x07E0, 0x001F}), {0xE0, 0x07, 0, 0}, 3)),
            (std::vector<uint32_t>{0xFF00FF00}));
  // 32 bits: blue, green, red, and a fourth byte that does not show.
  EXPECT_EQ(Convert(Dib(1, 1, 32, {}, {3, 2, 1, 77})), (std::vector<uint32_t>{0xFF010203}));
  // Bit fields with red in the lowest byte.
  EXPECT_EQ(Convert(Dib(1, 1, 32, Le32s({0xFF, 0xFF00, 0xFF0000}), {3, 2, 1, 0}, 3)),
            (std::vector<uint32_t>{0xFF030201}));
}

TEST(DibImageTest, BytesOutsideTheBlockPaintWhiteAndAreNeverRead) {
  // Two rows of 24-bit pixels three wide (12 bytes each), but only 16 bytes stored: the
  // bottom row is complete, the top row has its first pixel only.
  std::vector<uint8_t> rows(16, 0);
  const std::vector<uint32_t> pixels = Convert(Dib(3, 2, 24, {}, rows));
  EXPECT_EQ(pixels, (std::vector<uint32_t>{kBlack, kWhite, kWhite, kBlack, kBlack, kBlack}));
  // An 8-bit picture whose colour table is cut short: the missing entries paint white.
  Dib cut(2, 1, 8, {5, 5, 5, 0}, {});
  cut.block.push_back(0);
  cut.block.push_back(1);
  DibSource source = cut.Source();
  source.bits = cut.block.data() + cut.block.size() - 2;
  source.bitsSize = 2;
  DibGeometry g;
  std::vector<uint32_t> out;
  ASSERT_TRUE(ConvertDib(source, &g, &out));
  // The "table" runs on into the row bytes (as a file may lay it out); entry 1 is partial.
  EXPECT_EQ(out[0], 0xFF050505);
  EXPECT_EQ(out[1], kWhite);
}

TEST(DibImageTest, HeadersThatCannotBePaintedAreRefused) {
  DibGeometry g;
  std::vector<uint32_t> out;
  const std::vector<uint8_t> row(4, 0);
  EXPECT_FALSE(ConvertDib(Dib(1, 1, 7, {}, row).Source(), &g, &out)) << "bit depth";
  EXPECT_FALSE(ConvertDib(Dib(1, 1, 8, {}, row, 1).Source(), &g, &out)) << "run lengths";
  EXPECT_FALSE(ConvertDib(Dib(1, 1, 24, {}, row, 3).Source(), &g, &out)) << "masks on 24";
  EXPECT_FALSE(ConvertDib(Dib(0, 1, 24, {}, row).Source(), &g, &out)) << "no width";
  EXPECT_FALSE(ConvertDib(Dib(1, 0, 24, {}, row).Source(), &g, &out)) << "no height";
  EXPECT_FALSE(ConvertDib(Dib(20000, 20000, 24, {}, row).Source(), &g, &out)) << "too large";
  Dib shortHeader(1, 1, 24, {}, row);
  DibSource source = shortHeader.Source();
  source.infoAvailable = 39;
  EXPECT_FALSE(ConvertDib(source, &g, &out));
  Dib bigHeader(1, 1, 24, {}, row);
  WriteLe32(bigHeader.block.data(), 4000);
  EXPECT_FALSE(ConvertDib(bigHeader.Source(), &g, &out)) << "header longer than the block";
  Dib noMasks(1, 1, 32, {}, {}, 3);
  EXPECT_FALSE(ConvertDib(noMasks.Source(), &g, &out)) << "masks missing";
  EXPECT_FALSE(ConvertDib(DibSourceFromView(DisplayView{}), &g, &out));
}

}  // namespace
}  // namespace genshoku
