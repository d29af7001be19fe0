// The window's rules without Qt: what a drop, a reduction and a save do to the buttons, the
// title and the shown picture. The same rules seen through the real widgets (including
// refused files, files changed since their drop and failed saves) are in qt/.

#include "shell/window_controller.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/bmp_layout.h"
#include "shell/window_texts.h"
#include "support_files.h"

namespace genshoku {
namespace {

using testing::MakeBmp24;
using testing::TestPattern;
using testing::WriteWholeFile;

class WindowControllerTest : public ::testing::Test {
 protected:
  void SetUp() override { controller_.Resize(400, 400); }

  std::string Write24(const std::string& name, int width, int height) {
    WriteWholeFile(folder_.Path(name), MakeBmp24(width, height, TestPattern));
    return folder_.Path(name);
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

  testing::ScratchFolder folder_;
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
  std::vector<uint8_t> eightBit = MakeBmp24(4, 4, TestPattern);
  WriteLe16(&eightBit[28], 8);
  WriteWholeFile(folder_.Path("other.bmp"), eightBit);
  const uint64_t before = controller_.pictureGeneration();
  EXPECT_EQ(controller_.Drop({photo, folder_.Path("other.bmp"), folder_.Path("missing.bmp")}),
            DropResult::Loaded);
  EXPECT_EQ(controller_.droppedPath(), photo);
  EXPECT_EQ(controller_.baseName(), "photo");
  EXPECT_EQ(controller_.picture().imageWidth, 7);
  EXPECT_TRUE(controller_.buttons().reduceEnabled);
  EXPECT_FALSE(controller_.buttons().saveEnabled);
  EXPECT_TRUE(controller_.View().imageVisible);
  EXPECT_NE(controller_.pictureGeneration(), before);
  EXPECT_TRUE(diagnostics_.AllText().empty()) << diagnostics_.AllText();
  // A file that cannot be read changes nothing: its name is not the shown picture's.
  const uint64_t shown = controller_.pictureGeneration();
  EXPECT_EQ(controller_.Drop({folder_.Path("missing.bmp")}), DropResult::Failed);
  EXPECT_EQ(diagnostics_.lines().size(), 1u);
  EXPECT_EQ(controller_.droppedPath(), photo);
  EXPECT_EQ(controller_.baseName(), "photo");
  EXPECT_EQ(controller_.pictureGeneration(), shown);
  EXPECT_TRUE(controller_.buttons().reduceEnabled);
  // The scroll bars take the picture's size; their arithmetic is window_scroll's.
  EXPECT_TRUE(controller_.scroll().configured);
  EXPECT_EQ(controller_.scroll().vertical.nMax, 1048);
  controller_.Scroll(ScrollBarKind::Vertical, ScrollRequest::ThumbTrack, 1000);
  EXPECT_EQ(controller_.scroll().vertical.nPos, 648);
  EXPECT_EQ(controller_.placement().y, 48 - 648);
  // An 8-bit picture is shown but cannot be reduced; the vertical position starts at 0.
  EXPECT_EQ(controller_.Drop({folder_.Path("other.bmp")}), DropResult::Loaded);
  EXPECT_FALSE(controller_.buttons().reduceEnabled);
  EXPECT_EQ(controller_.scroll().vertical.nPos, 0);
  EXPECT_EQ(controller_.scroll().vertical.nMax, 52);
  EXPECT_EQ(controller_.Drop({}), DropResult::NoFiles);
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
  // While busy: drops are ignored, the buttons do nothing.
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
  // One save dialog at a time; a cancelled one allows saving again.
  ASSERT_TRUE(controller_.BeginSave().has_value());
  EXPECT_FALSE(controller_.buttons().saveEnabled);
  EXPECT_FALSE(controller_.BeginSave().has_value());
  EXPECT_FALSE(controller_.FinishSave(std::nullopt));
  EXPECT_TRUE(controller_.buttons().saveEnabled);
  // The next accepted drop puts the normal title back.
  EXPECT_EQ(controller_.Drop({folder_.Path("second.bmp")}), DropResult::Loaded);
  EXPECT_EQ(controller_.title(), kWindowTitle);
  EXPECT_TRUE(controller_.buttons().reduceEnabled);
  EXPECT_FALSE(controller_.buttons().saveEnabled);
}

TEST_F(WindowControllerTest, AFailedOrStoppedReductionKeepsThePictureAndAllowsAnotherTry) {
  ASSERT_EQ(controller_.Drop({Write24("photo.bmp", 4, 4)}), DropResult::Loaded);
  const uint64_t generation = controller_.pictureGeneration();
  for (ReduceResult failure :
       {ReduceResult::JacobiNotConverged, ReduceResult::OutOfMemory, ReduceResult::Stopped}) {
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

TEST_F(WindowControllerTest, EveryReductionContinuesTheOneRandomSequence) {
  // A picture of few colours leaves palette entries without pixels, which the k-means
  // refinement redraws at random.
  ASSERT_EQ(controller_.Drop({Write24("few.bmp", 4, 1)}), DropResult::Loaded);
  const uint32_t start = controller_.random().state();
  ASSERT_EQ(Reduce(), ReduceResult::Ok);
  const uint32_t afterFirst = controller_.random().state();
  EXPECT_NE(afterFirst, start);
  ASSERT_EQ(controller_.Drop({folder_.Path("few.bmp")}), DropResult::Loaded);
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
