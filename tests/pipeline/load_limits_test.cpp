// Loading takes memory and reading in proportion to the picture a file can hold, not to
// what its header claims or what follows it: each case runs in a child process whose peak
// memory the system measures (ru_maxrss) and whose bytes read /proc/self/io counts.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "pipeline/load_picture.h"
#include "support_files.h"
#include "support_jpeg.h"
#include "support_png.h"
#include "tests/common/child_process.h"

namespace genshoku {
namespace {

using Bytes = std::vector<uint8_t>;
using testing::ChildOutcome;
using testing::ChildResult;
using testing::RunInChild;
using testing::TestPattern;

constexpr uint64_t kGigabyte = uint64_t{1} << 30;
constexpr long kCeilingKilobytes = 48 * 1024;

// `prefix` followed by `zeros` zero bytes that take no room on disk.
void WriteSparse(const std::string& path, const Bytes& prefix, uint64_t zeros) {
  const int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(descriptor, 0);
  ASSERT_EQ(::write(descriptor, prefix.data(), prefix.size()), ssize_t(prefix.size()));
  ASSERT_EQ(::ftruncate(descriptor, off_t(prefix.size() + zeros)), 0);
  ::close(descriptor);
}

// Bytes this process has read through system calls so far.
uint64_t BytesRead() {
  std::ifstream io("/proc/self/io");
  std::string key;
  uint64_t value = 0;
  while (io >> key >> value) {
    if (key == "rchar:") return value;
  }
  return 0;
}

struct Measured {
  ChildResult result;
  long extraKilobytes = 0;  // beyond what an idle child takes
};

// Loads `path` in a child; the child fails unless the load ends as `expected` and reads
// less than `mostBytes`.
Measured LoadInChild(const std::string& path, bool refuseDamaged, LoadStatus expected,
                     uint64_t mostBytes = uint64_t{256} << 20) {
  const ChildResult idle = RunInChild([] { return std::string(); });
  Measured measured;
  measured.result = RunInChild([&] {
    const uint64_t before = BytesRead();
    LoadedPicture loaded;
    ReadOptions options;
    options.refuseDamaged = refuseDamaged;
    const LoadStatus status =
        LoadPictureFile(path, std::nullopt, &loaded, SilentDiagnostics(), options);
    std::string problems;
    if (status != expected) problems += "the load ended otherwise; ";
    const uint64_t read = BytesRead() - before;
    if (read > mostBytes) problems += "read " + std::to_string(read) + " bytes; ";
    return problems;
  });
  measured.extraKilobytes = measured.result.peakKilobytes - idle.peakKilobytes;
  return measured;
}

class LoadLimits : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) { return folder_.Path(name); }
  testing::ScratchFolder folder_;
};

TEST_F(LoadLimits, AJpegHeaderClaimingFarMoreThanTheFileHoldsIsRefusedAtOnce) {
  // 10000 x 10000 pixels claimed by a file of a few kilobytes.
  Bytes jpeg = testing::MakeJpeg(64, 48, TestPattern, testing::JpegKind::Rgb420, 90);
  for (size_t i = 0; i + 8 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {
      jpeg[i + 5] = jpeg[i + 7] = 10000 >> 8;
      jpeg[i + 6] = jpeg[i + 8] = 10000 & 0xFF;
      break;
    }
  }
  testing::WriteWholeFile(Path("forged.jpg"), jpeg);
  const Measured measured = LoadInChild(Path("forged.jpg"), true, LoadStatus::NotReadable);
  EXPECT_EQ(measured.result.outcome, ChildOutcome::Passed) << measured.result.report;
  EXPECT_LT(measured.extraKilobytes, kCeilingKilobytes);
}

TEST_F(LoadLimits, GigabytesAfterAPictureAreNotRead) {
  // A JPEG without its end marker and a PNG without its end chunk, each followed by 20 GB of
  // zeros: the readers stop with the last row.
  Bytes jpeg = testing::MakeJpeg(64, 48, TestPattern, testing::JpegKind::Rgb444, 90);
  jpeg.resize(jpeg.size() - 2);
  WriteSparse(Path("trailing.jpg"), jpeg, 20 * kGigabyte);
  Bytes png = testing::MakePng(64, 48, TestPattern, 2);
  png.resize(png.size() - 12);
  WriteSparse(Path("trailing.png"), png, 20 * kGigabyte);
  for (const char* name : {"trailing.jpg", "trailing.png"}) {
    for (bool refuse : {true, false}) {
      const Measured measured = LoadInChild(Path(name), refuse, LoadStatus::Ok);
      EXPECT_EQ(measured.result.outcome, ChildOutcome::Passed) << name << measured.result.report;
      EXPECT_LT(measured.extraKilobytes, kCeilingKilobytes) << name;
    }
  }
}

TEST_F(LoadLimits, AGigabyteImageDataChunkOfATinyPngIsNotHeld) {
  Bytes png = testing::MakePng(16, 16, TestPattern, 2);
  // The image data chunk's length (after the signature and the 25-byte header chunk)
  // claims a gigabyte; the file is as long as that says.
  const size_t lengthAt = 8 + 25;
  const uint32_t claimed = 1u << 30;
  for (int i = 0; i < 4; ++i) png[lengthAt + i] = static_cast<uint8_t>(claimed >> (24 - 8 * i));
  WriteSparse(Path("huge-chunk.png"), png, claimed);
  for (bool refuse : {true, false}) {
    const Measured measured = LoadInChild(Path("huge-chunk.png"), refuse, LoadStatus::Ok);
    EXPECT_EQ(measured.result.outcome, ChildOutcome::Passed) << measured.result.report;
    EXPECT_LT(measured.extraKilobytes, kCeilingKilobytes);
  }
}

TEST_F(LoadLimits, AGifScreenOfAHundredMillionPixelsWithAFewBytesOfDataIsRefused) {
  // A 10000 x 10000 screen and image whose data are a few hundred bytes.
  Bytes gif = {'G', 'I', 'F', '8', '9', 'a', 0x10, 0x27, 0x10, 0x27, 0xF7, 0, 0};
  gif.resize(gif.size() + 768, 0x40);
  const Bytes image = {0x2C, 0, 0, 0, 0, 0x10, 0x27, 0x10, 0x27, 0, 8};
  gif.insert(gif.end(), image.begin(), image.end());
  for (int block = 0; block < 4; ++block) {
    gif.push_back(255);
    for (int i = 0; i < 255; ++i) gif.push_back(static_cast<uint8_t>(i * 13 + block));
  }
  gif.push_back(0);
  gif.push_back(0x3B);
  testing::WriteWholeFile(Path("forged.gif"), gif);
  const Measured measured = LoadInChild(Path("forged.gif"), true, LoadStatus::NotReadable);
  EXPECT_EQ(measured.result.outcome, ChildOutcome::Passed) << measured.result.report;
  EXPECT_LT(measured.extraKilobytes, kCeilingKilobytes);
}

}  // namespace
}  // namespace genshoku
