#include "shell/window_controller.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "shell/bmp_file.h"
#include "shell/bmp_layout.h"
#include "shell/window_texts.h"

namespace genshoku {
namespace {

namespace fs = std::filesystem;

class WindowControllerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::path(::testing::TempDir()) /
              ("window_controller_" + std::string(::testing::UnitTest::GetInstance()
                                                      ->current_test_info()
                                                      ->name()));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    controller_.Resize(400, 400);
  }
  void TearDown() override { fs::remove_all(folder_); }

  std::string PathOf(const std::string& name) const { return (folder_ / name).string(); }

  static void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  }
  static std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  // A 24-bit BMP file with a colour gradient.
  std::string Write24(const std::string& name, int width, int height) {
    PictureState picture;
    MakeImageBlock24(picture, width, height);
    uint8_t* rows = picture.imageBlock.data() + kBmp24PixelOffset;
    for (int r = 0; r < height; ++r) {
      for (int c = 0; c < width; ++c) {
        uint8_t* p = rows + Stride24(width) * r + 3 * c;
        p[0] = uint8_t(c * 40);
        p[1] = uint8_t(r * 60);
        p[2] = uint8_t((c + r) * 25);
      }
    }
    WriteFile(PathOf(name), picture.imageBlock);
    return PathOf(name);
  }

  // An 8-bit BMP file with a grey colour table.
  std::string Write8(const std::string& name, int width, int height) {
    std::vector<uint8_t> file(kBmp8PixelOffset + Stride8(width) * height, 0);
    file[0] = 'B';
    file[1] = 'M';
    WriteLe32(file.data() + 2, uint32_t(file.size()));
    WriteLe32(file.data() + 10, uint32_t(kBmp8PixelOffset));
    WriteBmpInfoHeader(file.data() + kBmpFileHeaderSize, width, height, 8);
    for (int i = 0; i < 256; ++i) {
      for (int k = 0; k < 3; ++k) file[kBmp24PixelOffset + 4 * i + k] = uint8_t(i);
    }
    WriteFile(PathOf(name), file);
    return PathOf(name);
  }

  // Presses reduce and runs the engine here, as the worker would.
  ReduceResult Reduce() {
    ReductionJob job;
    if (!controller_.BeginReduction(job)) return ReduceResult::InvalidArguments;
    EXPECT_TRUE(controller_.busy());
    EngineServices services;
    services.diagnostics = &SilentDiagnostics();
    services.random = &controller_.random();
    ReductionOutput output = ExecuteReduction(job, services);
    const ReduceResult result = output.result;
    controller_.FinishReduction(std::move(output));
    return result;
  }

  fs::path folder_;
  CapturedDiagnostics diagnostics_;
  WindowController controller_{diagnostics_};
};

TEST_F(WindowControllerTest, StartsWithNoPictureAndBothButtonsDisabled) {
  EXPECT_EQ(controller_.title(), kWindowTitle);
  EXPECT_FALSE(controller_.buttons().reduceEnabled);
  EXPECT_FALSE(controller_.buttons().saveEnabled);
  EXPECT_FALSE(controller_.busy());
  EXPECT_FALSE(controller_.View().imageVisible);
  EXPECT_FALSE(controller_.scroll().configured);
  ReductionJob job;
  EXPECT_FALSE(controller_.BeginReduction(job));
  EXPECT_FALSE(controller_.BeginSave().has_value());
  EXPECT_EQ(controller_.RequestClose(), CloseDecision::CloseNow);
}

TEST_F(WindowControllerTest, DropReadsOnlyTheFirstFileAndSetsTheButtonsAndScrollBars) {
  const std::string photo = Write24("photo.bmp", 7, 1000);
  const std::string other = Write8("other.bmp", 4, 4);
  const uint64_t before = controller_.pictureGeneration();
  EXPECT_EQ(controller_.Drop({photo, other, PathOf("missing.bmp")}), DropResult::Loaded);
  EXPECT_EQ(controller_.droppedPath(), photo);
  EXPECT_EQ(controller_.baseName(), "photo");
  EXPECT_EQ(controller_.picture().imageWidth, 7);
  EXPECT_TRUE(controller_.buttons().reduceEnabled);
  EXPECT_FALSE(controller_.buttons().saveEnabled);
  EXPECT_TRUE(controller_.View().imageVisible);
  EXPECT_NE(controller_.pictureGeneration(), before);
  EXPECT_TRUE(diagnostics_.AllText().empty()) << diagnostics_.AllText();
  const WindowScroll& scroll = controller_.scroll();
  EXPECT_TRUE(scroll.configured);
  EXPECT_EQ(scroll.vertical.nMax, 1048);
  EXPECT_EQ(scroll.vertical.nPage, 400);
  EXPECT_EQ(scroll.horizontal.nMax, 7);
  controller_.Scroll(ScrollBarKind::Vertical, ScrollRequest::ThumbTrack, 1000);
  EXPECT_EQ(controller_.scroll().vertical.nPos, 648);
  controller_.Scroll(ScrollBarKind::Vertical, ScrollRequest::PageUp, 0);
  EXPECT_EQ(controller_.scroll().vertical.nPos, 448);
  EXPECT_EQ(controller_.placement().y, 48 - 448);
  // An 8-bit picture is shown but cannot be reduced; the vertical position starts at 0.
  EXPECT_EQ(controller_.Drop({other}), DropResult::Loaded);
  EXPECT_FALSE(controller_.buttons().reduceEnabled);
  EXPECT_EQ(controller_.scroll().vertical.nPos, 0);
  EXPECT_EQ(controller_.scroll().vertical.nMax, 52);
  EXPECT_EQ(controller_.Drop({}), DropResult::NoFiles);
}

TEST_F(WindowControllerTest, AFileThatCannotBeReadChangesNothing) {
  const std::string photo = Write24("photo.bmp", 4, 3);
  ASSERT_EQ(controller_.Drop({photo}), DropResult::Loaded);
  controller_.ShowKmeansProgress(2);
  const uint64_t generation = controller_.pictureGeneration();
  WriteFile(PathOf("broken.bmp"), {'B', 'M', 1, 2, 3});
  for (const std::string& bad : {PathOf("missing.bmp"), PathOf("broken.bmp")}) {
    diagnostics_.Clear();
    EXPECT_EQ(controller_.Drop({bad}), DropResult::Failed);
    const std::string err = diagnostics_.Text(DiagnosticStream::Err);
    EXPECT_NE(err.find(bad), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_EQ(controller_.title(), "Kmeans 2 kaime\n");
    EXPECT_TRUE(controller_.buttons().reduceEnabled);
    EXPECT_EQ(controller_.droppedPath(), photo) << "the shown picture's file is reduced";
    EXPECT_EQ(controller_.baseName(), "photo");
    EXPECT_EQ(controller_.pictureGeneration(), generation);
  }
  EXPECT_EQ(Reduce(), ReduceResult::Ok);
}

TEST_F(WindowControllerTest, ReductionShowsTheResultAndEnablesSaving) {
  ASSERT_EQ(controller_.Drop({Write24("photo.bmp", 5, 3)}), DropResult::Loaded);
  const uint64_t generation = controller_.pictureGeneration();
  ReductionJob job;
  ASSERT_TRUE(controller_.BeginReduction(job));
  EXPECT_TRUE(controller_.busy());
  EXPECT_FALSE(controller_.buttons().reduceEnabled);
  EXPECT_FALSE(controller_.buttons().saveEnabled);
  EXPECT_EQ(job.planes.width, 5);
  EXPECT_EQ(job.planes.height, 3);
  // While busy: drops are ignored, the buttons do nothing, closing waits for the engine.
  EXPECT_EQ(controller_.Drop({Write24("second.bmp", 2, 2)}), DropResult::Ignored);
  ReductionJob second;
  EXPECT_FALSE(controller_.BeginReduction(second));
  EXPECT_FALSE(controller_.BeginSave().has_value());
  controller_.ShowKmeansProgress(7);
  EXPECT_EQ(controller_.title(), "Kmeans 7 kaime\n");
  ReductionOutput output = ExecuteReduction(job, {nullptr, &SilentDiagnostics(), nullptr});
  ASSERT_EQ(output.result, ReduceResult::Ok);
  controller_.FinishReduction(std::move(output));
  EXPECT_FALSE(controller_.busy());
  EXPECT_FALSE(controller_.buttons().reduceEnabled);
  EXPECT_TRUE(controller_.buttons().saveEnabled);
  EXPECT_EQ(controller_.title(), "Kmeans 7 kaime\n") << "the last progress text stays";
  EXPECT_NE(controller_.pictureGeneration(), generation);
  const DisplayView view = controller_.View();
  ASSERT_NE(view.info, nullptr);
  EXPECT_EQ(ReadLe16(view.info + 14), 8) << "the 8-bit result is on display";
  // The next accepted drop puts the normal title back.
  EXPECT_EQ(controller_.Drop({PathOf("second.bmp")}), DropResult::Loaded);
  EXPECT_EQ(controller_.title(), kWindowTitle);
  EXPECT_TRUE(controller_.buttons().reduceEnabled);
  EXPECT_FALSE(controller_.buttons().saveEnabled);
}

TEST_F(WindowControllerTest, AFailedOrStoppedReductionKeepsThePictureAndAllowsAnotherTry) {
  ASSERT_EQ(controller_.Drop({Write24("photo.bmp", 4, 4)}), DropResult::Loaded);
  const uint64_t generation = controller_.pictureGeneration();
  for (ReduceResult failure : {ReduceResult::JacobiNotConverged, ReduceResult::OutOfMemory,
                               ReduceResult::Stopped}) {
    diagnostics_.Clear();
    ReductionJob job;
    ASSERT_TRUE(controller_.BeginReduction(job));
    ReductionOutput output;
    output.result = failure;
    controller_.FinishReduction(std::move(output));
    EXPECT_FALSE(controller_.busy());
    EXPECT_TRUE(controller_.buttons().reduceEnabled);
    EXPECT_FALSE(controller_.buttons().saveEnabled);
    EXPECT_EQ(controller_.pictureGeneration(), generation);
    EXPECT_FALSE(controller_.picture().resultReady);
    EXPECT_EQ(diagnostics_.lines().size(), failure == ReduceResult::OutOfMemory ? 1u : 0u);
  }
}

TEST_F(WindowControllerTest, ABmpFileThatChangedSinceTheDropIsNotReduced) {
  const std::string photo = Write24("photo.bmp", 4, 4);
  ASSERT_EQ(controller_.Drop({photo}), DropResult::Loaded);
  // Cut the file short: the rows are read again from disk when reducing.
  std::vector<uint8_t> bytes = ReadFile(photo);
  bytes.resize(60);
  WriteFile(photo, bytes);
  ReductionJob job;
  EXPECT_FALSE(controller_.BeginReduction(job));
  EXPECT_NE(diagnostics_.Text(DiagnosticStream::Err).find("InputFileSizeError!!!\n"),
            std::string::npos);
  EXPECT_FALSE(controller_.busy());
  EXPECT_TRUE(controller_.buttons().reduceEnabled);
  EXPECT_TRUE(controller_.View().imageVisible);
  fs::remove(photo);
  EXPECT_FALSE(controller_.BeginReduction(job));
  EXPECT_TRUE(controller_.buttons().reduceEnabled);
}

TEST_F(WindowControllerTest, SavingOffersTheBaseNameWithVkAndWritesByExtension) {
  ASSERT_EQ(controller_.Drop({Write24("photo.bmp", 5, 2)}), DropResult::Loaded);
  ASSERT_EQ(Reduce(), ReduceResult::Ok);
  std::optional<SaveDialogRequest> request = controller_.BeginSave();
  ASSERT_TRUE(request.has_value());
  EXPECT_EQ(request->defaultName, "photovk");
  EXPECT_EQ(request->startFolder, folder_.string() + "/");
  EXPECT_FALSE(controller_.buttons().saveEnabled);
  EXPECT_FALSE(controller_.BeginSave().has_value()) << "one dialog at a time";
  // Cancelled: saving is possible again, and the name grows another suffix.
  EXPECT_FALSE(controller_.FinishSave(std::nullopt));
  EXPECT_TRUE(controller_.buttons().saveEnabled);
  request = controller_.BeginSave();
  ASSERT_TRUE(request.has_value());
  EXPECT_EQ(request->defaultName, "photovkvk");
  // A name the writers do not claim is written as an 8-bit BMP file under that name.
  const std::string out = PathOf("out.txt");
  EXPECT_TRUE(controller_.FinishSave(out));
  EXPECT_EQ(controller_.savePath(), out);
  EXPECT_FALSE(controller_.buttons().saveEnabled) << "saving again needs a new reduction";
  const std::vector<uint8_t> file = ReadFile(out);
  ASSERT_EQ(file.size(), 1078u + 8 * 2);
  EXPECT_EQ(file[0], 'B');
  EXPECT_EQ(file[1], 'M');
  EXPECT_EQ(ReadLe32(file.data() + 2), 1094u);
  EXPECT_EQ(ReadLe32(file.data() + 10), 1078u);
  EXPECT_EQ(ReadLe16(file.data() + 28), 8);
}

TEST_F(WindowControllerTest, ASaveThatCannotBeWrittenAllowsAnotherTry) {
  ASSERT_EQ(controller_.Drop({Write24("photo.bmp", 3, 3)}), DropResult::Loaded);
  ASSERT_EQ(Reduce(), ReduceResult::Ok);
  ASSERT_TRUE(controller_.BeginSave().has_value());
  diagnostics_.Clear();
  EXPECT_FALSE(controller_.FinishSave(PathOf("no/such/folder/out.bmp")));
  EXPECT_TRUE(controller_.buttons().saveEnabled);
  EXPECT_EQ(diagnostics_.lines().size(), 1u);
  EXPECT_FALSE(fs::exists(PathOf("no")));
}

TEST_F(WindowControllerTest, EveryReductionContinuesTheOneRandomSequence) {
  // A picture of few colours leaves palette entries without pixels, which the k-means
  // refinement redraws at random.
  ASSERT_EQ(controller_.Drop({Write24("few.bmp", 4, 1)}), DropResult::Loaded);
  const uint32_t start = controller_.random().state();
  ASSERT_EQ(Reduce(), ReduceResult::Ok);
  const uint32_t afterFirst = controller_.random().state();
  EXPECT_NE(afterFirst, start);
  ASSERT_EQ(controller_.Drop({PathOf("few.bmp")}), DropResult::Loaded);
  ASSERT_EQ(Reduce(), ReduceResult::Ok);
  EXPECT_NE(controller_.random().state(), afterFirst);
}

TEST_F(WindowControllerTest, ClosingDuringAReductionWaitsForTheEngine) {
  ASSERT_EQ(controller_.Drop({Write24("photo.bmp", 3, 3)}), DropResult::Loaded);
  ReductionJob job;
  ASSERT_TRUE(controller_.BeginReduction(job));
  EXPECT_EQ(controller_.RequestClose(), CloseDecision::WaitForEngine);
  EXPECT_TRUE(controller_.closePending());
  ReductionOutput stopped;
  stopped.result = ReduceResult::Stopped;
  controller_.FinishReduction(std::move(stopped));
  EXPECT_EQ(controller_.RequestClose(), CloseDecision::CloseNow);
}

}  // namespace
}  // namespace genshoku
