// The window's flows that end in a file or a failure, without Qt (so that the sanitizer
// build runs them too): saving the result under a chosen name, a save that fails, a
// dropped BMP file that changed on disk before the reduce button was pressed, and closing
// the window while the engine is held in the middle of a run on its own thread.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/file_paths.h"
#include "formats/bmp_layout.h"
#include "pipeline/load_picture.h"
#include "shell/input_decoding.h"
#include "shell/window_controller.h"
#include "shell/window_engine_host.h"
#include "support_files.h"
#include "tests/support/held_engine_host.h"

namespace genshoku {
namespace {

using testing::MakeBmp24;
using testing::ReadWholeFile;
using testing::Rgb;
using testing::TestPattern;
using testing::WriteWholeFile;

Rgb PatternB(int x, int y) {
  return {static_cast<uint8_t>(250 - 9 * x), static_cast<uint8_t>(3 * y + x),
          static_cast<uint8_t>(77 + 5 * x * y)};
}

class WindowControllerFlows : public ::testing::Test {
 protected:
  void SetUp() override { controller_.Resize(400, 400); }

  std::string Write24(const std::string& name, int width, int height,
                      const testing::PixelFunction& pixel = TestPattern) {
    WriteWholeFile(folder_.Path(name), MakeBmp24(width, height, pixel));
    return folder_.Path(name);
  }

  // Drops `name` (width x height), presses reduce and runs the engine here, as the worker
  // would.
  void DropAndReduce(const std::string& name, int width, int height) {
    ASSERT_EQ(controller_.Drop({Write24(name, width, height)}), DropResult::Loaded);
    ReductionJob job;
    ASSERT_TRUE(controller_.BeginReduction(job));
    EngineServices services;
    services.diagnostics = &SilentDiagnostics();
    services.random = &controller_.random();
    controller_.FinishReduction(ExecuteReduction(job, services));
    ASSERT_TRUE(controller_.buttons().saveEnabled);
  }

  // The result's colour at (x, y), from its indices and palette.
  Rgb ResultPixel(int x, int y) const {
    const IndexedPicture& result = controller_.picture().result;
    const Rgba entry = result.palette[result.indices[static_cast<size_t>(y) * result.width + x]];
    return {entry.red, entry.green, entry.blue};
  }

  // Reads a saved file back (by its first bytes, as the command line reads its inputs) and
  // compares it with the result.
  void ExpectFileHoldsTheResult(const std::string& path) {
    LoadedPicture saved;
    ASSERT_EQ(LoadPictureFile(path, std::nullopt, &saved, SilentDiagnostics()), LoadStatus::Ok)
        << path;
    const IndexedPicture& result = controller_.picture().result;
    ASSERT_EQ(saved.picture.width, result.width);
    ASSERT_EQ(saved.picture.height, result.height);
    for (int y = 0; y < result.height; ++y) {
      for (int x = 0; x < result.width; ++x) {
        const Rgba pixel = saved.picture.At(x, y);
        ASSERT_EQ((Rgb{pixel.red, pixel.green, pixel.blue}), ResultPixel(x, y))
            << path << " " << x << "," << y;
      }
    }
  }

  testing::ScratchFolder folder_;
  CapturedDiagnostics diagnostics_;
  WindowController controller_{diagnostics_};
};

TEST_F(WindowControllerFlows, SavingWritesTheChosenNameInItsFormatOnce) {
  DropAndReduce("photo.bmp", 13, 7);
  for (const char* name : {"out.gif", "out.png", "out.bmp"}) {
    SCOPED_TRACE(name);
    if (std::string(name) != "out.gif") DropAndReduce("photo.bmp", 13, 7);
    const std::optional<SaveDialogRequest> request = controller_.BeginSave();
    ASSERT_TRUE(request.has_value());
    EXPECT_EQ(request->startFolder, folder_.Path(""));
    EXPECT_FALSE(controller_.buttons().saveEnabled) << "one dialog at a time";
    EXPECT_TRUE(controller_.FinishSave(folder_.Path(name))) << diagnostics_.AllText();
    EXPECT_EQ(controller_.savePath(), folder_.Path(name));
    ExpectFileHoldsTheResult(folder_.Path(name));
    // Saving again needs a new reduction.
    EXPECT_FALSE(controller_.buttons().saveEnabled);
    EXPECT_FALSE(controller_.BeginSave().has_value());
  }
  EXPECT_EQ(diagnostics_.Text(DiagnosticStream::Err), "");
}

TEST_F(WindowControllerFlows, AFailedSaveKeepsTheResultAndAllowsAnotherTry) {
  DropAndReduce("photo.bmp", 9, 4);
  std::filesystem::create_directory(folder_.Path("taken.bmp"));
  for (const std::string& target :
       {folder_.Path("missing/folder/out.bmp"), folder_.Path("taken.bmp")}) {
    SCOPED_TRACE(target);
    diagnostics_.Clear();
    ASSERT_TRUE(controller_.BeginSave().has_value());
    EXPECT_FALSE(controller_.FinishSave(target));
    EXPECT_TRUE(controller_.buttons().saveEnabled);
    EXPECT_TRUE(controller_.picture().resultReady);
    EXPECT_FALSE(diagnostics_.lines().empty()) << "a failed save says so";
    // The message names the file, or the folder it could not be made in.
    const std::string err = diagnostics_.Text(DiagnosticStream::Err);
    std::string folder = SplitFilePath(target).folder;
    folder.pop_back();  // the last '/'
    EXPECT_TRUE(err.find(target) != std::string::npos || err.find(folder) != std::string::npos)
        << err;
  }
  EXPECT_FALSE(std::filesystem::exists(folder_.Path("missing")));
  EXPECT_TRUE(std::filesystem::is_directory(folder_.Path("taken.bmp")));
  // The next try with a good name writes the result.
  ASSERT_TRUE(controller_.BeginSave().has_value());
  EXPECT_TRUE(controller_.FinishSave(folder_.Path("good.png")));
  ExpectFileHoldsTheResult(folder_.Path("good.png"));
}

// A dropped BMP picture is reduced from its file, read again when reduce is pressed.
TEST_F(WindowControllerFlows, ABmpFileChangedOnDiskSinceTheDropIsNotReduced) {
  const std::string path = Write24("photo.bmp", 6, 5);
  ASSERT_EQ(controller_.Drop({path}), DropResult::Loaded);
  const uint64_t generation = controller_.pictureGeneration();
  const std::vector<uint8_t> original = ReadWholeFile(path);

  std::vector<uint8_t> cut = original;
  cut.resize(cut.size() - 7);
  std::vector<uint8_t> eightBit = original;
  WriteLe16(&eightBit[28], 8);
  struct Change {
    const char* what;
    std::vector<uint8_t> bytes;  // empty: the file is removed
    std::string message;
  };
  const Change changes[] = {{"cut short", cut, "InputFileSizeError!!!\n"},
                            {"no longer 24-bit", eightBit, path},
                            {"removed", {}, path}};
  for (const Change& change : changes) {
    SCOPED_TRACE(change.what);
    diagnostics_.Clear();
    if (change.bytes.empty()) {
      std::filesystem::remove(path);
    } else {
      WriteWholeFile(path, change.bytes);
    }
    ReductionJob job;
    EXPECT_FALSE(controller_.BeginReduction(job));
    EXPECT_FALSE(controller_.busy());
    EXPECT_TRUE(controller_.buttons().reduceEnabled) << "another try is possible";
    EXPECT_FALSE(controller_.buttons().saveEnabled);
    EXPECT_EQ(controller_.pictureGeneration(), generation) << "the shown picture stays";
    EXPECT_FALSE(controller_.picture().resultReady);
    EXPECT_NE(diagnostics_.Text(DiagnosticStream::Err).find(change.message), std::string::npos)
        << diagnostics_.AllText();
  }

  // The file back, with other pixels of the same size: those are what is reduced.
  WriteWholeFile(path, MakeBmp24(6, 5, PatternB));
  ReductionJob job;
  ASSERT_TRUE(controller_.BeginReduction(job));
  ASSERT_EQ(job.planes.width, 6);
  EXPECT_EQ((Rgb{job.planes.red[0], job.planes.green[0], job.planes.blue[0]}), PatternB(0, 0));
  EXPECT_EQ((Rgb{job.planes.red[29], job.planes.green[29], job.planes.blue[29]}), PatternB(5, 4));
}

// Closing while the engine works: the controller waits, the window's host stops the engine
// at its next progress point, and the picture stays as it was.
TEST_F(WindowControllerFlows, ClosingWhileTheEngineIsHeldStopsItAndKeepsThePicture) {
  ASSERT_EQ(controller_.Drop({Write24("photo.bmp", 90, 70)}), DropResult::Loaded);
  const uint64_t generation = controller_.pictureGeneration();
  ReductionJob job;
  ASSERT_TRUE(controller_.BeginReduction(job));

  std::vector<int> passes;  // written on the engine's thread, read after the join
  WindowEngineHost windowHost([&](int pass) { passes.push_back(pass); });
  test_support::HeldEngineHost held(EnginePhase::KMeans, &windowHost);
  EngineServices services;
  services.host = &held;
  services.diagnostics = &SilentDiagnostics();
  services.random = &controller_.random();
  services.threads = 2;
  test_support::EngineThread<ReductionOutput> engine(
      held, [&] { return ExecuteReduction(job, services); });
  ASSERT_TRUE(held.WaitUntilHeld());

  // While the engine works nothing else starts.
  EXPECT_EQ(controller_.Drop({Write24("other.bmp", 3, 3)}), DropResult::Ignored);
  ReductionJob second;
  EXPECT_FALSE(controller_.BeginReduction(second));
  EXPECT_FALSE(controller_.BeginSave().has_value());

  EXPECT_EQ(controller_.RequestClose(), CloseDecision::WaitForEngine);
  windowHost.RequestStop();
  held.Release();
  ReductionOutput output = engine.Join();
  EXPECT_EQ(output.result, ReduceResult::Stopped);
  EXPECT_LE(passes.size(), 1u) << "stopped at the first progress point of the refinement";

  controller_.FinishReduction(std::move(output));
  EXPECT_TRUE(controller_.closePending());
  EXPECT_EQ(controller_.RequestClose(), CloseDecision::CloseNow);
  EXPECT_FALSE(controller_.busy());
  EXPECT_FALSE(controller_.picture().resultReady);
  EXPECT_EQ(controller_.pictureGeneration(), generation);
  EXPECT_TRUE(diagnostics_.lines().empty()) << "a stop asked for is no failure to report";
}

}  // namespace
}  // namespace genshoku
