// Why a file could not be opened or saved: each cause the window names, found from the
// file as it lies on disk.

#include "shell/failure_causes.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "formats/bmp_layout.h"
#include "support_files.h"
#include "support_jpeg.h"
#include "support_png.h"

namespace genshoku {
namespace {

using testing::MakeBmp24;
using testing::MakeJpeg;
using testing::MakePng;
using testing::ScratchFolder;
using testing::TestPattern;
using testing::WriteWholeFile;

std::vector<uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

TEST(ExplainLoadFailure, NamesWhatIsWrongWithTheFile) {
  ScratchFolder folder;
  std::filesystem::create_directory(folder.Path("pictures.png"));
  WriteWholeFile(folder.Path("empty.bmp"), {});
  WriteWholeFile(folder.Path("notes.png"), Bytes("a text file, not a picture"));
  WriteWholeFile(folder.Path("photo.Jpg"), MakeJpeg(4, 4, TestPattern, testing::JpegKind::Rgb444));
  WriteWholeFile(folder.Path("drawing.jpg"), MakePng(4, 4, TestPattern, 2));
  std::vector<uint8_t> rle = MakeBmp24(4, 4, TestPattern);
  WriteLe32(&rle[30], 1);
  WriteWholeFile(folder.Path("rle.bmp"), rle);
  WriteWholeFile(folder.Path("old.gif"), {'G', 'I', 'F', '8', '7', 'a', 4, 0, 4, 0});
  std::vector<uint8_t> broken = MakePng(4, 4, TestPattern, 2);
  broken.resize(40);
  WriteWholeFile(folder.Path("broken.png"), broken);

  const struct {
    const char* name;
    InputReader reader;
    LoadProblem problem;
  } cases[] = {
      {"missing.png", InputReader::Png, LoadProblem::Missing},
      {"pictures.png", InputReader::Png, LoadProblem::Folder},
      {"empty.bmp", InputReader::Bmp, LoadProblem::Empty},
      {"notes.png", InputReader::Png, LoadProblem::NotAPicture},
      {"photo.Jpg", InputReader::Bmp, LoadProblem::OtherFormat},
      {"drawing.jpg", InputReader::Jpeg, LoadProblem::OtherFormat},
      {"rle.bmp", InputReader::Bmp, LoadProblem::CompressedBmp},
      {"old.gif", InputReader::Gif, LoadProblem::OldGif},
      {"broken.png", InputReader::Png, LoadProblem::Unreadable},
  };
  for (const auto& c : cases) {
    const LoadFailure failure = ExplainLoadFailure(folder.Path(c.name), c.reader);
    EXPECT_EQ(failure.problem, c.problem) << c.name;
    EXPECT_EQ(failure.reader, c.reader) << c.name;
  }
  EXPECT_EQ(ExplainLoadFailure(folder.Path("photo.Jpg"), InputReader::Bmp).content,
            PictureFormat::Jpeg);
  // Names no reader claims are read as BMP, though they do not say so.
  EXPECT_FALSE(ExplainLoadFailure(folder.Path("photo.Jpg"), InputReader::Bmp).extensionNamesReader);
  EXPECT_TRUE(ExplainLoadFailure(folder.Path("empty.bmp"), InputReader::Bmp).extensionNamesReader);
  EXPECT_TRUE(ExplainLoadFailure(folder.Path("notes.png"), InputReader::Png).extensionNamesReader);
  EXPECT_EQ(ExplainLoadFailure(folder.Path("drawing.jpg"), InputReader::Jpeg).content,
            PictureFormat::Png);
}

TEST(ExplainLoadFailure, PicturesOverTheLimitAreNamedTooLarge) {
  ScratchFolder folder;
  std::vector<uint8_t> bmp = MakeBmp24(4, 4, TestPattern);
  WriteLe32(&bmp[18], 20000);
  WriteLe32(&bmp[22], static_cast<uint32_t>(-10000));  // top-down: 200,000,000 pixels
  WriteWholeFile(folder.Path("huge.bmp"), bmp);
  EXPECT_EQ(ExplainLoadFailure(folder.Path("huge.bmp"), InputReader::Bmp).problem,
            LoadProblem::TooLarge);
}

TEST(AnnouncedPixelCount, ReadsTheSizeFromEachFormatsHeaders) {
  const std::vector<uint8_t> png = MakePng(7, 5, TestPattern, 2);
  EXPECT_EQ(AnnouncedPixelCount(png.data(), png.size(), PictureFormat::Png), 35);
  const std::vector<uint8_t> bmp = MakeBmp24(6, 3, TestPattern, true);
  EXPECT_EQ(AnnouncedPixelCount(bmp.data(), bmp.size(), PictureFormat::Bmp), 18);
  const std::vector<uint8_t> gif = {'G', 'I', 'F', '8', '9', 'a', 9, 0, 2, 1};
  EXPECT_EQ(AnnouncedPixelCount(gif.data(), gif.size(), PictureFormat::Gif), 9 * 258);
  // The frame header of a JPEG file follows its other segments.
  const std::vector<uint8_t> jpeg = MakeJpeg(300, 2, TestPattern, testing::JpegKind::Rgb420);
  EXPECT_EQ(AnnouncedPixelCount(jpeg.data(), jpeg.size(), PictureFormat::Jpeg), 600);
  // Cut before the sizes: nothing to say.
  EXPECT_EQ(AnnouncedPixelCount(png.data(), 20, PictureFormat::Png), std::nullopt);
  EXPECT_EQ(AnnouncedPixelCount(jpeg.data(), 20, PictureFormat::Jpeg), std::nullopt);
  const std::vector<uint8_t> noMarker = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x02, 0x12, 0x34, 0, 0};
  EXPECT_EQ(AnnouncedPixelCount(noMarker.data(), noMarker.size(), PictureFormat::Jpeg),
            std::nullopt);
}

TEST(ExplainSaveFailure, NamesWhatIsWrongWithThePlace) {
  ScratchFolder folder;
  std::filesystem::create_directory(folder.Path("taken.bmp"));
  WriteWholeFile(folder.Path("file"), {1});
  EXPECT_EQ(ExplainSaveFailure(folder.Path("taken.bmp"), SaveWriter::Bmp, 4, 4),
            SaveProblem::IsFolder);
  EXPECT_EQ(ExplainSaveFailure(folder.Path("gone/out.png"), SaveWriter::Png, 4, 4),
            SaveProblem::FolderMissing);
  EXPECT_EQ(ExplainSaveFailure(folder.Path("file/out.png"), SaveWriter::Png, 4, 4),
            SaveProblem::FolderMissing);
  EXPECT_EQ(ExplainSaveFailure(folder.Path("wide.gif"), SaveWriter::Gif, 70000, 1),
            SaveProblem::GifTooLarge);
  EXPECT_EQ(ExplainSaveFailure(folder.Path("wide.png"), SaveWriter::Png, 70000, 1),
            SaveProblem::Unwritable);
  // A folder that takes no new files: refused to anyone but the superuser, and to the
  // superuser by the file system itself.
  const SaveProblem proc = ExplainSaveFailure("/proc/x.png", SaveWriter::Png, 4, 4);
  EXPECT_TRUE(proc == SaveProblem::Unwritable || proc == SaveProblem::NotPermitted);
}

}  // namespace
}  // namespace genshoku
