// The notice line of the picture area and the hint of the empty window: what each failed
// or finished command says, which file it names, and how long it stays.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>

#include "shell/window_controller.h"
#include "shell/window_texts.h"
#include "support_files.h"
#include "support_jpeg.h"
#include "support_png.h"

namespace genshoku {
namespace {

using testing::MakeBmp24;
using testing::MakeJpeg;
using testing::TestPattern;
using testing::WriteWholeFile;

class WindowNotices : public ::testing::Test {
 protected:
  void SetUp() override { controller_.Resize(400, 400); }

  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
    WriteWholeFile(folder_.Path(name), bytes);
    return folder_.Path(name);
  }
  std::string Write24(const std::string& name, int width, int height) {
    return Write(name, MakeBmp24(width, height, TestPattern));
  }

  bool Reduce() {
    ReductionJob job;
    if (!controller_.BeginReduction(job)) return false;
    controller_.FinishReduction(ExecuteReduction(job, {nullptr, &SilentDiagnostics(), nullptr}));
    return controller_.buttons().saveEnabled;
  }

  testing::ScratchFolder folder_;
  CapturedDiagnostics diagnostics_;
  WindowController controller_{diagnostics_};
};

TEST_F(WindowNotices, TheEmptyWindowHintsAtDroppingAndOpeningUntilAPictureIsShown) {
  EXPECT_EQ(controller_.hint(), kEmptyWindowHint);
  EXPECT_NE(controller_.hint().find("Ctrl+O"), std::string_view::npos);
  EXPECT_EQ(controller_.notice().kind, NoticeKind::None);
  // A failed file leaves the window empty: the hint stays beside the failure.
  ASSERT_EQ(controller_.Drop({folder_.Path("missing.bmp")}), DropResult::Failed);
  EXPECT_EQ(controller_.hint(), kEmptyWindowHint);
  ASSERT_EQ(controller_.Drop({Write24("photo.bmp", 3, 3)}), DropResult::Loaded);
  EXPECT_TRUE(controller_.hint().empty());
}

TEST_F(WindowNotices, AFileThatCannotBeReadIsNamedWithWhatIsWrong) {
  const std::string shown = Write24("shown.bmp", 4, 4);
  ASSERT_EQ(controller_.Drop({shown}), DropResult::Loaded);
  const std::string text = Write("notes.png", {'t', 'e', 'x', 't'});
  ASSERT_EQ(controller_.Drop({text}), DropResult::Failed);
  WindowNotice notice = controller_.notice();
  EXPECT_EQ(notice.kind, NoticeKind::Error);
  EXPECT_EQ(notice.subject, "notes.png");
  EXPECT_EQ(notice.text, "開けません。PNG 画像ではありません");
  EXPECT_EQ(notice.Line(), "notes.png: 開けません。PNG 画像ではありません");
  // The line on standard error stays, with the whole path.
  EXPECT_NE(diagnostics_.Text(DiagnosticStream::Err).find(text), std::string::npos);

  const std::string photo =
      Write("photo.Jpg", MakeJpeg(4, 4, TestPattern, testing::JpegKind::Rgb444));
  ASSERT_EQ(controller_.Drop({photo}), DropResult::Failed);
  EXPECT_EQ(controller_.notice().text, "開けません。拡張子を .jpg にしてください");
  ASSERT_EQ(controller_.Drop({folder_.folder().string()}), DropResult::Failed);
  EXPECT_EQ(controller_.notice().text, "開けません。フォルダーです");
  // The next picture that loads clears the line.
  ASSERT_EQ(controller_.Drop({shown}), DropResult::Loaded);
  EXPECT_EQ(controller_.notice().kind, NoticeKind::None);
}

TEST_F(WindowNotices, ADamagedPictureThatIsShownSaysSoUntilTheNextPicture) {
  std::vector<uint8_t> jpeg = MakeJpeg(64, 64, TestPattern, testing::JpegKind::Rgb420);
  jpeg.resize(jpeg.size() / 2);
  const std::string cut = Write("cut.jpg", jpeg);
  ASSERT_EQ(controller_.Drop({cut}), DropResult::Loaded);
  EXPECT_TRUE(controller_.buttons().reduceEnabled) << "what was decoded can still be reduced";
  WindowNotice notice = controller_.notice();
  EXPECT_EQ(notice.kind, NoticeKind::Warning);
  EXPECT_EQ(notice.Line(), "cut.jpg: 壊れています (読めた部分を表示)");
  EXPECT_NE(diagnostics_.Text(DiagnosticStream::Err).find("cut.jpg"), std::string::npos);
  // The warning belongs to the picture: it stays through the reduction.
  ASSERT_TRUE(Reduce());
  EXPECT_EQ(controller_.notice().kind, NoticeKind::Warning);
  // A clean JPEG file says nothing.
  const std::string clean =
      Write("clean.jpg", MakeJpeg(8, 8, TestPattern, testing::JpegKind::Rgb420));
  ASSERT_EQ(controller_.Drop({clean}), DropResult::Loaded);
  EXPECT_EQ(controller_.notice().kind, NoticeKind::None);
  // The PNG reader's own damage note counts the same way.
  std::vector<uint8_t> png = testing::MakePng(40, 40, TestPattern, 2);
  png.resize(png.size() * 2 / 3);
  ASSERT_EQ(controller_.Drop({Write("cut.png", png)}), DropResult::Loaded);
  EXPECT_EQ(controller_.notice().kind, NoticeKind::Warning);
  EXPECT_EQ(controller_.notice().Line(), "cut.png: 壊れています (読めた部分を表示)");
}

TEST_F(WindowNotices, ASaveSaysWhetherTheFileWasWrittenAndAFailureAllowsAnotherName) {
  ASSERT_EQ(controller_.Drop({Write24("photo.bmp", 5, 4)}), DropResult::Loaded);
  ASSERT_TRUE(Reduce());
  ASSERT_TRUE(controller_.BeginSave().has_value());
  EXPECT_FALSE(controller_.FinishSave(folder_.Path("gone/out.png")));
  EXPECT_TRUE(controller_.buttons().saveEnabled);
  WindowNotice notice = controller_.notice();
  EXPECT_EQ(notice.kind, NoticeKind::Error);
  EXPECT_EQ(notice.Line(), "out.png: 保存できません。フォルダーがありません");
  // Pressing save again starts afresh; a cancel says nothing.
  ASSERT_TRUE(controller_.BeginSave().has_value());
  EXPECT_EQ(controller_.notice().kind, NoticeKind::None);
  EXPECT_FALSE(controller_.FinishSave(std::nullopt));
  EXPECT_EQ(controller_.notice().kind, NoticeKind::None);
  ASSERT_TRUE(controller_.BeginSave().has_value());
  EXPECT_TRUE(controller_.FinishSave(folder_.Path("out.gif")));
  EXPECT_EQ(controller_.notice().kind, NoticeKind::Info);
  EXPECT_EQ(controller_.notice().Line(), "out.gif: 保存しました");
  EXPECT_FALSE(controller_.buttons().saveEnabled) << "saving again needs a new reduction";
}

TEST_F(WindowNotices, AReductionThatCannotRunOrFailsSaysSo) {
  const std::string path = Write24("photo.bmp", 6, 6);
  ASSERT_EQ(controller_.Drop({path}), DropResult::Loaded);
  // The BMP file is read again to reduce it: gone since the drop.
  std::filesystem::remove(path);
  ReductionJob job;
  EXPECT_FALSE(controller_.BeginReduction(job));
  EXPECT_EQ(controller_.notice().Line(), "photo.bmp: 減色できません。元のファイルを読めません");
  EXPECT_TRUE(controller_.buttons().reduceEnabled);
  // The engine's failures name themselves; a stop asked for says nothing.
  ASSERT_EQ(controller_.Drop({Write24("photo.bmp", 6, 6)}), DropResult::Loaded);
  for (const auto& [result, text] :
       {std::pair{ReduceResult::OutOfMemory, "減色できません。メモリー不足です"},
        std::pair{ReduceResult::JacobiNotConverged, "減色できません。計算が収束しません"},
        std::pair{ReduceResult::Stopped, ""}}) {
    ASSERT_TRUE(controller_.BeginReduction(job));
    ReductionOutput output;
    output.result = result;
    controller_.FinishReduction(std::move(output));
    EXPECT_EQ(controller_.notice().text, text);
  }
}

TEST_F(WindowNotices, LoadFailureTextsNameTheReaderTheExtensionChose) {
  LoadFailure failure;
  failure.problem = LoadProblem::NotAPicture;
  failure.reader = InputReader::Gif;
  EXPECT_EQ(LoadFailureText(failure), "開けません。GIF 画像ではありません");
  failure.reader = InputReader::Bmp;
  failure.extensionNamesReader = false;  // notes.txt: read as BMP, but not named so
  EXPECT_EQ(LoadFailureText(failure), "開けません。画像ファイルではありません");
  failure.reader = InputReader::Gif;
  failure.problem = LoadProblem::Unreadable;
  EXPECT_EQ(LoadFailureText(failure), "開けません。壊れているか未対応の GIF です");
  failure.problem = LoadProblem::CompressedBmp;
  EXPECT_EQ(LoadFailureText(failure), "開けません。圧縮 BMP には未対応です");
  failure.problem = LoadProblem::TooLarge;
  EXPECT_EQ(LoadFailureText(failure), "開けません。1 億画素を超えています");
  EXPECT_EQ(SaveFailureText(SaveProblem::GifTooLarge), "保存できません。GIF には大きすぎます");
  EXPECT_EQ(SaveFailureText(SaveProblem::Unwritable), "保存できません。ここには書き込めません");
}

}  // namespace
}  // namespace genshoku
