#include "engine/exact_palette.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/engine/support_pictures.h"

namespace genshoku {
namespace {

using test_support::FewColoursPicture;
using test_support::NoisePicture;
using test_support::Picture;

EngineSource SourceOf(Picture& picture) {
  return {picture.width, picture.height, picture.r.data(), picture.g.data(), picture.b.data()};
}

TEST(ExactPalette, EveryPixelKeepsItsColourAndEachColourHasOneEntry) {
  for (int colours : {1, 2, 7, 255, 256}) {
    Picture picture = FewColoursPicture(61, 37, colours, 5);
    std::vector<uint8_t> indices(picture.r.size(), 0xEE);
    EnginePalette palette;
    ASSERT_TRUE(MapFewColoursExactly(SourceOf(picture), 256, indices.data(), palette)) << colours;
    ASSERT_LE(palette.size, colours);
    for (size_t i = 0; i < indices.size(); ++i) {
      ASSERT_LT(indices[i], palette.size);
      ASSERT_EQ(palette.red[indices[i]], picture.r[i]) << i;
      ASSERT_EQ(palette.green[indices[i]], picture.g[i]) << i;
      ASSERT_EQ(palette.blue[indices[i]], picture.b[i]) << i;
    }
    for (int e = 1; e < palette.size; ++e) {
      const auto value = [&](int k) {
        return (palette.red[k] << 16) | (palette.green[k] << 8) | palette.blue[k];
      };
      EXPECT_LT(value(e - 1), value(e)) << "entries are distinct and in order";
    }
  }
}

TEST(ExactPalette, OneColourTooManyLeavesEverythingUntouched) {
  Picture picture = NoisePicture(40, 40, 3);
  std::vector<uint8_t> indices(picture.r.size(), 0xEE);
  EnginePalette palette;
  palette.size = 99;
  EXPECT_FALSE(MapFewColoursExactly(SourceOf(picture), 256, indices.data(), palette));
  EXPECT_EQ(palette.size, 99);
  EXPECT_EQ(indices, std::vector<uint8_t>(indices.size(), 0xEE));

  Picture three = FewColoursPicture(20, 20, 3, 1);
  EXPECT_FALSE(MapFewColoursExactly(SourceOf(three), 2, indices.data(), palette))
      << "three colours do not fit a palette of two";
}

}  // namespace
}  // namespace genshoku
