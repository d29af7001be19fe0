#include "formats/jpeg_reader.h"

#include <gtest/gtest.h>

#include "formats/bmp_layout.h"
#include "shell/decoded_picture.h"
#include "support_files.h"
#include "support_jpeg.h"

namespace genshoku {
namespace {

using testing::JpegKind;
using testing::MakeJpeg;
using testing::Rgb;
using testing::ShownPixel;

// Smooth enough that JPEG keeps every pixel within a few levels.
Rgb Smooth(int x, int y) {
  return {static_cast<uint8_t>(40 + 4 * x), static_cast<uint8_t>(200 - 3 * y),
          static_cast<uint8_t>(90 + x + y)};
}

void ExpectNear(Rgb actual, Rgb expected, int tolerance, int x, int y) {
  EXPECT_NEAR(actual.r, expected.r, tolerance) << x << "," << y;
  EXPECT_NEAR(actual.g, expected.g, tolerance) << x << "," << y;
  EXPECT_NEAR(actual.b, expected.b, tolerance) << x << "," << y;
}

PictureState Install(std::optional<RgbaPicture> picture) {
  PictureState state;
  EXPECT_TRUE(picture.has_value());
  if (picture) InstallDecodedPicture(*picture, state);
  return state;
}

TEST(JpegReader, ColourFilesKeepOrientationAndColours) {
  for (JpegKind kind : {JpegKind::Rgb444, JpegKind::Rgb420}) {
    const int width = 24, height = 16;
    const std::vector<uint8_t> file = MakeJpeg(width, height, Smooth, kind, 98);
    PictureState state =
        Install(DecodeJpeg(file.data(), file.size(), "mem.jpg", SilentDiagnostics()));
    ASSERT_EQ(state.imageWidth, width);
    ASSERT_EQ(state.imageHeight, height);
    EXPECT_EQ(state.sourceKind, SourceKind::ImageBlock);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) ExpectNear(ShownPixel(state, x, y), Smooth(x, y), 6, x, y);
    }
  }
}

TEST(JpegReader, TheTopLeftPixelStartsTheLastStoredRowOfTwelveBytes) {
  auto corner = [](int x, int y) { return x == 0 && y == 0 ? Rgb{250, 10, 10} : Rgb{10, 10, 250}; };
  const std::vector<uint8_t> file = MakeJpeg(3, 2, corner, JpegKind::Rgb444, 100);
  PictureState state = Install(DecodeJpeg(file.data(), file.size(), "m", SilentDiagnostics()));
  ASSERT_EQ(state.imageBlock.size(), 54u + 12 * 2);
  const uint8_t* lastRow = state.imageBlock.data() + 54 + 12;
  EXPECT_GT(lastRow[2], 150) << "red of the top-left pixel";
  EXPECT_LT(lastRow[0], 110) << "blue of the top-left pixel";
  for (int pad = 9; pad < 12; ++pad) EXPECT_EQ(lastRow[pad], 0);
}

TEST(JpegReader, GreyFilesBecomeEqualChannels) {
  const std::vector<uint8_t> file = MakeJpeg(8, 8, Smooth, JpegKind::Grey, 98);
  PictureState state = Install(DecodeJpeg(file.data(), file.size(), "m", SilentDiagnostics()));
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      const Rgb pixel = ShownPixel(state, x, y);
      EXPECT_EQ(pixel.r, pixel.g);
      EXPECT_EQ(pixel.g, pixel.b);
      EXPECT_NEAR(pixel.g, Smooth(x, y).g, 4);
    }
  }
}

// Inks C, M, Y with key K: inverted (Adobe) files give C x K / 255, plain files
// (255 - C) x (255 - K) / 255.
TEST(JpegReader, InkFilesAreConvertedByTheirConvention) {
  auto inks = [](int, int) { return Rgb{255, 128, 0}; };
  const std::vector<uint8_t> adobe = MakeJpeg(8, 8, inks, JpegKind::CmykAdobe, 100, 200);
  PictureState inverted = Install(DecodeJpeg(adobe.data(), adobe.size(), "m", SilentDiagnostics()));
  ExpectNear(ShownPixel(inverted, 3, 3), {200, 100, 0}, 3, 3, 3);

  const std::vector<uint8_t> plain = MakeJpeg(8, 8, inks, JpegKind::CmykPlain, 100, 55);
  PictureState direct = Install(DecodeJpeg(plain.data(), plain.size(), "m", SilentDiagnostics()));
  ExpectNear(ShownPixel(direct, 3, 3), {0, 100, 200}, 3, 3, 3);
}

TEST(JpegReader, BrokenFilesAreRefusedWithTheLibrarysMessage) {
  CapturedDiagnostics diagnostics;
  const uint8_t notJpeg[] = {'B', 'M', 0, 0, 0, 0, 0, 0};
  EXPECT_FALSE(DecodeJpeg(notJpeg, sizeof notJpeg, "photo.jpg", diagnostics).has_value());
  ASSERT_EQ(diagnostics.lines().size(), 1u);
  EXPECT_EQ(diagnostics.lines()[0].stream, DiagnosticStream::Err);
  EXPECT_EQ(diagnostics.lines()[0].text.rfind("photo.jpg: ", 0), 0u);

  diagnostics.Clear();
  EXPECT_FALSE(ReadJpegFile("/no/such/photo.jpg", diagnostics).has_value());
  EXPECT_EQ(diagnostics.lines().size(), 1u);
}

TEST(JpegReader, ATruncatedFileWarnsOnceAndStillDecodes) {
  std::vector<uint8_t> file = MakeJpeg(64, 64, Smooth, JpegKind::Rgb420, 90);
  file.resize(file.size() / 2);
  CapturedDiagnostics diagnostics;
  EXPECT_TRUE(DecodeJpeg(file.data(), file.size(), "half.jpg", diagnostics).has_value());
  EXPECT_EQ(diagnostics.lines().size(), 1u) << diagnostics.AllText();
}

TEST(JpegReader, PicturesOverThePixelLimitAreRefusedBeforeDecoding) {
  std::vector<uint8_t> file = MakeJpeg(16, 16, Smooth, JpegKind::Rgb444, 80);
  // The frame header (FFC0) holds height and width as big-endian 16-bit numbers.
  for (size_t i = 0; i + 8 < file.size(); ++i) {
    if (file[i] == 0xFF && file[i + 1] == 0xC0) {
      file[i + 5] = 0xFD;  // height 65000
      file[i + 6] = 0xE8;
      file[i + 7] = 0xFD;  // width 65000
      file[i + 8] = 0xE8;
      break;
    }
  }
  CapturedDiagnostics diagnostics;
  EXPECT_FALSE(DecodeJpeg(file.data(), file.size(), "huge.jpg", diagnostics).has_value());
  EXPECT_NE(diagnostics.AllText().find("100,000,000"), std::string::npos) << diagnostics.AllText();
}

}  // namespace
}  // namespace genshoku
