#include "shell/input_decoding.h"

#include <gtest/gtest.h>

#include "codecs/gif/gif_writer.h"
#include "formats/bmp_layout.h"
#include "support_files.h"
#include "support_jpeg.h"
#include "support_png.h"

namespace genshoku {
namespace {

using testing::MakeBmp24;
using testing::MakeJpeg;
using testing::MakePng;
using testing::Rgb;
using testing::ScratchFolder;
using testing::ShownPixel;
using testing::TestPattern;
using testing::WriteWholeFile;

class InputDecoding : public ::testing::Test {
 protected:
  DropOutcome Drop(const std::string& name) {
    diagnostics_.Clear();
    return LoadDroppedFile(state_, folder_.Path(name), diagnostics_);
  }
  ScratchFolder folder_;
  PictureState state_;
  CapturedDiagnostics diagnostics_;
};

TEST_F(InputDecoding, TheExtensionChoosesTheReaderExactly) {
  const std::vector<uint8_t> bmp = MakeBmp24(4, 3, TestPattern);
  const std::vector<uint8_t> jpeg = MakeJpeg(4, 3, TestPattern, testing::JpegKind::Rgb444);
  WriteWholeFile(folder_.Path("photo.jpeg"), jpeg);
  WriteWholeFile(folder_.Path("photo.JPG"), jpeg);
  WriteWholeFile(folder_.Path("photo.JPEG"), jpeg);
  // Wrong case: read as BMP, whatever the contents.
  WriteWholeFile(folder_.Path("photo.Jpg"), bmp);
  WriteWholeFile(folder_.Path("picture.Jpeg"), bmp);

  for (const char* name : {"photo.jpeg", "photo.JPG", "photo.JPEG"}) {
    const DropOutcome outcome = Drop(name);
    EXPECT_EQ(outcome.reader, InputReader::Jpeg) << name;
    EXPECT_TRUE(outcome.loaded && outcome.reduceEnabled) << name;
    EXPECT_EQ(state_.sourceKind, SourceKind::ImageBlock);
  }
  for (const char* name : {"photo.Jpg", "picture.Jpeg"}) {
    const DropOutcome outcome = Drop(name);
    EXPECT_EQ(outcome.reader, InputReader::Bmp) << name;
    EXPECT_TRUE(outcome.loaded && outcome.reduceEnabled) << name;
    EXPECT_EQ(state_.sourceKind, SourceKind::BmpFile);
    EXPECT_EQ(state_.imageBlock, bmp);
  }
}

TEST_F(InputDecoding, OnlyTruecolourPngFilesCanBeReduced) {
  for (const auto& [colorType, reducible] :
       {std::pair{2, true}, {6, true}, {0, false}, {3, false}}) {
    WriteWholeFile(folder_.Path("in.png"), MakePng(5, 3, TestPattern, colorType));
    const DropOutcome outcome = Drop("in.png");
    ASSERT_TRUE(outcome.loaded) << colorType << diagnostics_.AllText();
    EXPECT_EQ(outcome.pngColorType, colorType);
    EXPECT_EQ(outcome.reduceEnabled, reducible) << colorType;
    EXPECT_EQ(state_.imageWidth, 5);
    EXPECT_EQ(state_.imageHeight, 3);
  }
}

TEST_F(InputDecoding, PngPixelsArriveBottomRowFirstWithoutAlpha) {
  WriteWholeFile(folder_.Path("in.PNG"), MakePng(7, 4, TestPattern, 6));
  ASSERT_TRUE(Drop("in.PNG").loaded);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 7; ++x) EXPECT_EQ(ShownPixel(state_, x, y), TestPattern(x, y));
  }
}

TEST_F(InputDecoding, GifFilesAreShownButNotReduced) {
  std::vector<uint8_t> bytes;
  std::vector<uint8_t> palette(768);
  for (int i = 0; i < 768; ++i) palette[i] = static_cast<uint8_t>(i * 7);
  auto writer = GifWriter::Create(bytes, 3, 2, palette.data(), 8, 0, SilentDiagnostics());
  ASSERT_NE(writer, nullptr);
  for (int i = 0; i < 6; ++i) writer->currentFrame()[i] = static_cast<uint8_t>(i + 1);
  ASSERT_TRUE(writer->WriteFrame(10));
  ASSERT_TRUE(writer->Finish());
  WriteWholeFile(folder_.Path("anim.GIF"), bytes);

  const DropOutcome outcome = Drop("anim.GIF");
  EXPECT_EQ(outcome.reader, InputReader::Gif);
  ASSERT_TRUE(outcome.loaded);
  EXPECT_FALSE(outcome.reduceEnabled);
  EXPECT_EQ(state_.imageWidth, 3);
  EXPECT_EQ(state_.imageHeight, 2);
  for (int i = 0; i < 6; ++i) {
    const int entry = i + 1;
    EXPECT_EQ(ShownPixel(state_, i % 3, i / 3),
              (Rgb{palette[3 * entry], palette[3 * entry + 1], palette[3 * entry + 2]}));
  }
}

TEST_F(InputDecoding, AFailedFileLeavesThePreviousPictureAndNamesItself) {
  WriteWholeFile(folder_.Path("good.bmp"), MakeBmp24(4, 3, TestPattern));
  ASSERT_TRUE(Drop("good.bmp").loaded);
  const std::vector<uint8_t> before = state_.imageBlock;
  WriteWholeFile(folder_.Path("bad.png"), {'n', 'o', 't', ' ', 'p', 'n', 'g', '!', '!'});
  WriteWholeFile(folder_.Path("bad.jpg"), {0xFF, 0xD8, 0x00});
  WriteWholeFile(folder_.Path("old.gif"), {'G', 'I', 'F', '8', '7', 'a', 1, 0, 1, 0, 0x80, 0, 0});
  for (const char* name : {"bad.png", "bad.jpg", "old.gif", "missing.gif", "missing.bmp"}) {
    const DropOutcome outcome = Drop(name);
    EXPECT_FALSE(outcome.loaded) << name;
    EXPECT_TRUE(outcome.reduceUnchanged) << name;
    EXPECT_EQ(state_.imageBlock, before) << name;
    EXPECT_EQ(state_.sourceKind, SourceKind::BmpFile) << name;
    EXPECT_NE(diagnostics_.Text(DiagnosticStream::Err).find(name), std::string::npos)
        << name << ": " << diagnostics_.AllText();
  }
}

}  // namespace
}  // namespace genshoku
