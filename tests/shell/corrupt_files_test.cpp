// Damaged files dropped on the window: every valid sample file in data/samples, cut at
// every length and with many single bytes changed, goes through LoadDroppedFile. Each drop
// must end cleanly: either a picture that can be painted (and reduced, where the reader
// says so), or a refusal with one line naming the file on standard error and the previous
// picture left as it was. Run under the sanitizers this also proves that no byte outside a
// buffer is touched. A drop that takes far longer than its picture warrants counts as a
// hang; one that never ends is stopped by a watchdog that names it.
//
// The files that fuzzing found troublesome live in data/regressions and are dropped the
// same way.

#include <gtest/gtest.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "formats/bmp_layout.h"
#include "formats/dib_image.h"
#include "shell/decoded_picture.h"
#include "shell/input_decoding.h"
#include "shell/reduction_entry.h"
#include "support_files.h"

namespace genshoku {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using testing::ReadWholeFile;
using testing::ScratchFolder;
using testing::WriteWholeFile;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

// A drop of a small file finishes in milliseconds; a damaged header may legitimately ask
// for a large picture, which then costs time in proportion to its pixels. The time counted
// is the processor time of the dropping thread, so that a busy machine does not make a
// drop look slow; a drop that waits instead of working is left to the watchdog.
constexpr double kBudgetSeconds = kSanitized ? 1.0 : 0.5;
constexpr double kBudgetSecondsPerPixel = kSanitized ? 100e-9 : 20e-9;
// A drop still running after this long is taken for a hang.
constexpr auto kWatchdogLimit = std::chrono::seconds(60);
// Single-byte changes per sample file.
constexpr int kCorruptionsPerFile = 400;

// Seconds of processor time this thread has used.
double ThreadSeconds() {
  timespec now{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
    if (entry.is_regular_file()) names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string SamplesFolder() { return std::string(GENSHOKU_TEST_DATA_DIR) + "/samples"; }
std::string RegressionsFolder() { return std::string(GENSHOKU_TEST_DATA_DIR) + "/regressions"; }

// Ends the test program, naming the drop, when one drop runs past the limit: a hang would
// otherwise only show as the test runner's time-out, without saying which file.
class HangWatchdog {
 public:
  HangWatchdog() : thread_([this] { Watch(); }) {}
  ~HangWatchdog() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }
  void Begin(const std::string& what) {
    std::lock_guard<std::mutex> lock(mutex_);
    what_ = what;
    started_ = Clock::now();
    running_ = true;
  }
  void End() {
    std::lock_guard<std::mutex> lock(mutex_);
    running_ = false;
  }

 private:
  void Watch() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopping_) {
      wake_.wait_for(lock, std::chrono::seconds(1));
      if (running_ && Clock::now() - started_ > kWatchdogLimit) {
        std::fprintf(stderr, "hang: %s did not finish within %lld s\n", what_.c_str(),
                     static_cast<long long>(kWatchdogLimit.count()));
        std::abort();
      }
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::string what_;
  Clock::time_point started_;
  bool running_ = false;
  bool stopping_ = false;
  std::thread thread_;
};

// The picture on display before each drop: a refused file must leave it exactly so.
PictureState PreviousPicture() {
  PictureState state;
  RgbaPicture picture(3, 2);
  picture.At(1, 1) = {10, 20, 30, 255};
  InstallDecodedPicture(picture, state);
  return state;
}

int LinesNaming(const CapturedDiagnostics& diagnostics, const std::string& path) {
  int count = 0;
  for (const CapturedDiagnostics::Line& line : diagnostics.lines()) {
    if (line.stream == DiagnosticStream::Err && line.text.find(path) != std::string::npos) {
      ++count;
    }
  }
  return count;
}

class DropChecker {
 public:
  explicit DropChecker(const std::string& extension) : path_(folder_.Path("dropped" + extension)) {}

  // Drops `bytes` as a file and checks the outcome; `what` names the case in failures.
  // Returns whether a picture was loaded.
  bool Drop(const std::vector<uint8_t>& bytes, const std::string& what) {
    WriteWholeFile(path_, bytes);
    PictureState state = PreviousPicture();
    const std::vector<uint8_t> previousBlock = state.imageBlock;
    CapturedDiagnostics diagnostics;

    watchdog_.Begin(what);
    const double start = ThreadSeconds();
    const DropOutcome outcome = LoadDroppedFile(state, path_, diagnostics);
    const double seconds = ThreadSeconds() - start;
    watchdog_.End();

    const std::string report = what + "\n" + diagnostics.AllText();
    if (outcome.loaded) {
      CheckLoaded(state, outcome, diagnostics, report);
    } else {
      EXPECT_EQ(LinesNaming(diagnostics, path_), 1) << report;
      EXPECT_EQ(state.imageBlock, previousBlock) << report;
      EXPECT_EQ(state.imageWidth, 3) << report;
      EXPECT_EQ(state.sourceKind, SourceKind::ImageBlock) << report;
    }
    EXPECT_LE(diagnostics.lines().size(), 16u) << report;
    const double pixels = outcome.loaded ? double(state.imageWidth) * state.imageHeight : 0;
    EXPECT_LT(seconds, kBudgetSeconds + pixels * kBudgetSecondsPerPixel)
        << what << ": " << pixels << " pixels";
    return outcome.loaded;
  }

 private:
  void CheckLoaded(const PictureState& state, const DropOutcome& outcome,
                   const CapturedDiagnostics& diagnostics, const std::string& report) {
    // A damaged JPEG file may be shown with the library's first warning.
    EXPECT_LE(LinesNaming(diagnostics, path_), 1) << report;
    ASSERT_TRUE(PictureSizeAllowed(state.imageWidth, state.imageHeight)) << report;
    // Paint it: every header field, table entry and row the window would read.
    DibGeometry geometry;
    std::vector<uint32_t> pixels;
    ASSERT_TRUE(ConvertDib(DibSourceFromView(state.View()), &geometry, &pixels)) << report;
    EXPECT_EQ(geometry.width, state.imageWidth) << report;
    EXPECT_EQ(geometry.height, state.imageHeight) << report;
    if (!outcome.reduceEnabled) return;
    // A picture the reduce button accepts must give its planes, whether they come from
    // memory or, for BMP files, from the file read again.
    ReductionJob job;
    CapturedDiagnostics reduction;
    ASSERT_TRUE(PrepareReduction(state, path_, job, reduction)) << report << reduction.AllText();
    EXPECT_EQ(job.planes.width, state.imageWidth) << report;
    EXPECT_EQ(job.planes.height, state.imageHeight) << report;
    EXPECT_EQ(job.planes.red.size(), size_t(state.imageWidth) * state.imageHeight) << report;
  }

  ScratchFolder folder_;
  std::string path_;
  HangWatchdog watchdog_;
};

std::string ExtensionOf(const std::string& name) {
  const size_t dot = name.find_last_of('.');
  return dot == std::string::npos ? std::string() : name.substr(dot);
}

class CorruptFiles : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    original_ = ReadWholeFile(SamplesFolder() + "/" + GetParam());
    ASSERT_GT(original_.size(), 16u) << GetParam();
  }
  std::vector<uint8_t> original_;
};

TEST_P(CorruptFiles, TheSampleItselfLoads) {
  DropChecker checker(ExtensionOf(GetParam()));
  EXPECT_TRUE(checker.Drop(original_, GetParam()));
}

TEST_P(CorruptFiles, EveryCutEndsCleanly) {
  DropChecker checker(ExtensionOf(GetParam()));
  for (size_t length = 0; length < original_.size(); ++length) {
    const std::vector<uint8_t> cut(original_.begin(), original_.begin() + length);
    checker.Drop(cut, GetParam() + " cut to " + std::to_string(length) + " bytes");
    if (HasFailure()) return;  // one broken case says enough; the rest would repeat it
  }
}

TEST_P(CorruptFiles, SingleChangedBytesEndCleanly) {
  DropChecker checker(ExtensionOf(GetParam()));
  std::mt19937 random(20240601u + static_cast<uint32_t>(original_.size()));
  const size_t size = original_.size();
  // Headers decide how everything after them is read, so half of the changes go there.
  const size_t headerSpan = std::min<size_t>(size, 96);
  for (int n = 0; n < kCorruptionsPerFile; ++n) {
    std::vector<uint8_t> changed = original_;
    const size_t at = n % 2 == 0 ? random() % headerSpan : random() % size;
    uint8_t& byte = changed[at];
    switch (random() % 4) {
      case 0: byte ^= uint8_t(1u << (random() % 8)); break;
      case 1: byte = 0x00; break;
      case 2: byte = 0xFF; break;
      default: byte = uint8_t(random()); break;
    }
    if (changed == original_) continue;
    checker.Drop(changed, GetParam() + " with byte " + std::to_string(at) + " set to " +
                              std::to_string(byte));
    if (HasFailure()) return;
  }
}

INSTANTIATE_TEST_SUITE_P(Samples, CorruptFiles, ::testing::ValuesIn(FilesIn(SamplesFolder())),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           std::string name = info.param;
                           for (char& c : name) {
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           }
                           return name;
                         });

TEST(CorruptFileSamples, CoverEveryInputFormat) {
  std::vector<std::string> extensions;
  for (const std::string& name : FilesIn(SamplesFolder())) extensions.push_back(ExtensionOf(name));
  for (const char* extension : {".bmp", ".jpg", ".png", ".gif"}) {
    EXPECT_GE(std::count(extensions.begin(), extensions.end(), extension), 3) << extension;
  }
}

// The sample progressive file with `copies` more copies of its last scan's header (and no
// data) before its end marker. Each copy is a scan the reader must pass over the picture
// for.
std::vector<uint8_t> WithRepeatedScans(const std::vector<uint8_t>& jpeg, int copies) {
  size_t lastScan = 0;
  for (size_t i = 0; i + 3 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA) lastScan = i;
  }
  const size_t headerSize = 2 + (size_t(jpeg[lastScan + 2]) << 8 | jpeg[lastScan + 3]);
  const std::vector<uint8_t> header(jpeg.begin() + lastScan, jpeg.begin() + lastScan + headerSize);
  std::vector<uint8_t> result(jpeg.begin(), jpeg.end() - 2);  // without the end marker
  for (int n = 0; n < copies; ++n) result.insert(result.end(), header.begin(), header.end());
  result.push_back(0xFF);
  result.push_back(0xD9);
  return result;
}

TEST(CorruptFileLimits, AProgressiveJpegMayHaveAHundredScansButNoMore) {
  const std::vector<uint8_t> progressive = ReadWholeFile(SamplesFolder() + "/progressive.jpg");
  int scans = 0;
  for (size_t i = 0; i + 1 < progressive.size(); ++i) {
    scans += progressive[i] == 0xFF && progressive[i + 1] == 0xDA;
  }
  ASSERT_GT(scans, 1);
  DropChecker checker(".jpg");
  EXPECT_TRUE(checker.Drop(WithRepeatedScans(progressive, 100 - scans), "100 scans"));
  EXPECT_FALSE(checker.Drop(WithRepeatedScans(progressive, 101 - scans), "101 scans"));
}

TEST(CorruptFileLimits, ABmpFileIsHeldOnlyUpToItsLastRow) {
  std::vector<uint8_t> file = testing::MakeBmp24(4, 3, testing::TestPattern);
  const size_t rowsEnd = file.size();
  file.resize(rowsEnd + (1 << 20), 0xA5);  // a megabyte of something else after the rows
  ScratchFolder folder;
  WriteWholeFile(folder.Path("tail.bmp"), file);
  PictureState state;
  ASSERT_TRUE(LoadDroppedFile(state, folder.Path("tail.bmp"), SilentDiagnostics()).loaded);
  EXPECT_EQ(state.imageBlock.size(), rowsEnd);
  EXPECT_EQ(state.View().bitsSize, rowsEnd - 54);
}

TEST(CorruptFileLimits, ABmpFileWhoseRowsStartGigabytesInIsRefusedAtOnce) {
  // A sparse file: two gigabytes that take no room on disk, the rows at their end.
  std::vector<uint8_t> header = testing::MakeBmp24(4, 3, testing::TestPattern);
  const uint32_t farOffset = 2'000'000'000;
  WriteLe32(&header[10], farOffset);
  header.resize(54);
  ScratchFolder folder;
  const std::string path = folder.Path("far.bmp");
  WriteWholeFile(path, header);
  fs::resize_file(path, farOffset + 36);
  PictureState state = PreviousPicture();
  CapturedDiagnostics diagnostics;
  const double start = ThreadSeconds();
  EXPECT_FALSE(LoadDroppedFile(state, path, diagnostics).loaded);
  EXPECT_LT(ThreadSeconds() - start, kBudgetSeconds);
  EXPECT_EQ(LinesNaming(diagnostics, path), 1) << diagnostics.AllText();
  EXPECT_EQ(state.imageWidth, 3);
}

// Files that once crashed, hung or misbehaved, each named after what it did.
TEST(CorruptFileRegressions, EachEndsCleanly) {
  for (const std::string& name : FilesIn(RegressionsFolder())) {
    DropChecker checker(ExtensionOf(name));
    checker.Drop(ReadWholeFile(RegressionsFolder() + "/" + name), name);
  }
}

}  // namespace
}  // namespace genshoku
