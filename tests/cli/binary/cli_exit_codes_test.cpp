// genshoku-cli's answers as a script sees them: usage and settings on standard output,
// mistakes on the command line with exit code 1 and a hint, and one exit code per kind of
// failure (the first failure of a batch decides), each failure one line naming its file,
// while the other inputs are still reduced.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/reduction_params.h"
#include "independent_decoders.h"
#include "support_files.h"
#include "support_png.h"
#include "support_process.h"

namespace genshoku::clitest {
namespace {

using testsupport::DecodedFile;
using testsupport::DecodeGifWithGiflib;

namespace fs = std::filesystem;
using genshoku::testing::MakeBmp24;
using genshoku::testing::ReadWholeFile;
using genshoku::testing::Rgb;
using genshoku::testing::ScratchFolder;
using genshoku::testing::TestPattern;
using genshoku::testing::WriteWholeFile;

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define GENSHOKU_TEST_UNDER_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define GENSHOKU_TEST_UNDER_ASAN 1
#endif

enum ExitCode { kOk = 0, kUsage = 1, kInput = 2, kReduction = 3, kOutput = 4, kExists = 5 };

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

int FilesIn(const fs::path& folder) {
  int count = 0;
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    count += entry.is_regular_file();
  return count;
}

class CliExitCodes : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return folder_.Path(name); }
  std::string PutBmp(const std::string& name, int width = 11, int height = 7) {
    WriteWholeFile(Path(name), MakeBmp24(width, height, TestPattern));
    return Path(name);
  }

  // Runs the program and checks the exit code, that standard output stays empty and that
  // every failure is one line on standard error that names its file.
  ProcessResult Expect(int code, const std::vector<std::string>& arguments,
                       const std::vector<std::string>& named = {}) {
    const ProcessResult run = RunCli(arguments);
    EXPECT_TRUE(run.exited && run.exitCode == code)
        << "wanted exit " << code << ", got " << run.Describe();
    EXPECT_EQ(run.out, "") << "standard output is for --help and --list-settings";
    size_t lines = 0;
    for (char c : run.err) lines += c == '\n';
    EXPECT_EQ(lines, named.size()) << run.err;
    for (const std::string& name : named)
      EXPECT_TRUE(Contains(run.err, name)) << name << " in " << run.err;
    return run;
  }

  ScratchFolder folder_;
};

TEST_F(CliExitCodes, HelpAndTheSettingsListGoToStandardOutput) {
  for (const char* help : {"--help", "-h"}) {
    const ProcessResult run = RunCli({help});
    EXPECT_TRUE(run.exited && run.exitCode == kOk) << run.Describe();
    EXPECT_EQ(run.out.rfind("usage: genshoku-cli", 0), 0u) << run.out;
    EXPECT_TRUE(Contains(run.out, "exit codes")) << run.out;
    EXPECT_EQ(run.err, "");
  }
  const ProcessResult list = RunCli({"--list-settings"});
  EXPECT_TRUE(list.exited && list.exitCode == kOk) << list.Describe();
  EXPECT_EQ(list.err, "");
  for (const ReductionParamInfo& info : kReductionParamTable) {
    EXPECT_TRUE(Contains(list.out, std::string(" ") + info.name + " ")) << info.name;
  }
}

TEST_F(CliExitCodes, AMistakeOnTheCommandLineIsExitOneWithAHint) {
  const std::string input = PutBmp("in.bmp");
  const std::vector<std::vector<std::string>> mistakes = {
      {},
      {input, "--bogus"},
      {input, "-o"},
      {input, "-j", "two"},
      {input, "--preset", "nope"},
      {input, "--set", "colourMode=99"},
      {input, "--set", "noSuchSetting=1"},
      {input, Path("other.bmp"), "-o", Path("out.bmp")},
  };
  for (const std::vector<std::string>& arguments : mistakes) {
    const ProcessResult run = RunCli(arguments);
    EXPECT_TRUE(run.exited && run.exitCode == kUsage) << run.Describe();
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(Contains(run.err, "Try")) << run.err;
  }
  EXPECT_EQ(FilesIn(folder_.folder()), 1) << "nothing is written";
}

TEST_F(CliExitCodes, EachKindOfFailureHasItsCode) {
  const std::string input = PutBmp("in.bmp");
  WriteWholeFile(Path("junk.bmp"),
                 {'n', 'o', 't', ' ', 'a', ' ', 'p', 'i', 'c', 't', 'u', 'r', 'e'});
  Expect(kInput, {Path("missing.bmp")}, {"missing.bmp"});
  Expect(kInput, {Path("junk.bmp")}, {"junk.bmp"});
  // Named by the folder the file cannot be made in.
  Expect(kOutput, {input, "-o", Path("no/such/folder/out.png")}, {"no/such/folder"});
  EXPECT_FALSE(fs::exists(Path("no")));

  WriteWholeFile(Path("taken.gif"), {1, 2, 3});
  Expect(kExists, {input, "-o", Path("taken.gif")}, {"taken.gif"});
  EXPECT_EQ(ReadWholeFile(Path("taken.gif")), (std::vector<uint8_t>{1, 2, 3})) << "kept";
  Expect(kOk, {input, "-o", Path("taken.gif"), "--force"});
  const DecodedFile replaced = DecodeGifWithGiflib(ReadWholeFile(Path("taken.gif")));
  EXPECT_TRUE(replaced.ok && replaced.width == 11 && replaced.height == 7)
      << "replaced by the reduced picture";
  EXPECT_EQ(FilesIn(folder_.folder()), 3) << "in.bmp, junk.bmp, taken.gif";
}

TEST_F(CliExitCodes, InABatchTheFirstFailureDecidesAndTheOthersAreStillReduced) {
  PutBmp("good.bmp");
  PutBmp("later.bmp");
  PutBmp("exists.bmp");
  WriteWholeFile(Path("existsvk.bmp"), {9, 9});
  Expect(kInput, {Path("missing.bmp"), Path("good.bmp"), Path("exists.bmp")},
         {"missing.bmp", "existsvk.bmp"});
  EXPECT_TRUE(fs::exists(Path("goodvk.bmp")));
  EXPECT_EQ(ReadWholeFile(Path("existsvk.bmp")), (std::vector<uint8_t>{9, 9}));

  Expect(kExists, {Path("exists.bmp"), Path("missing.bmp"), Path("later.bmp")},
         {"existsvk.bmp", "missing.bmp"});
  EXPECT_TRUE(fs::exists(Path("latervk.bmp")));
  // A success first does not hide a failure after it.
  Expect(kInput, {Path("good.bmp"), Path("missing.bmp"), "--force"}, {"missing.bmp"});
}

// The hidden timing switch prints one line per input on standard error and changes nothing
// else.
TEST_F(CliExitCodes, PhaseTimesAreOneLinePerInput) {
  const std::string input = PutBmp("in.bmp", 40, 30);
  ProcessOptions options;
  options.environment = {{"GENSHOKU_PHASE_TIMES", "1"}};
  const ProcessResult run = RunCli({input, "-o", Path("out.png")}, options);
  ASSERT_TRUE(run.exited && run.exitCode == kOk) << run.Describe();
  EXPECT_EQ(run.out, "");
  ASSERT_EQ(run.err.rfind(input + ": decode ", 0), 0u) << run.err;
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  for (const char* step : {"colour space", "k-means", "final mapping", "encode", "total"}) {
    EXPECT_TRUE(Contains(run.err, std::string(step) + " ")) << step << " in " << run.err;
  }
}

// Memory that runs out: the address space of the program is limited to ever larger sizes,
// from too little to start it up to enough to reduce the picture. On the way, decoding
// fails (exit 2), then the reduction itself (exit 3, not enough memory), whether one
// thread works or two, and the program never crashes and never writes a file it did not
// finish. The limits are found, not fixed, so that the test does not depend on how much
// memory the program needs.
TEST_F(CliExitCodes, RunningOutOfMemoryIsAFailureWithItsCodeNeverACrash) {
#ifdef GENSHOKU_TEST_UNDER_ASAN
  GTEST_SKIP() << "AddressSanitizer reserves more address space than any limit allows";
#else
  const int width = 1500, height = 1000;
  WriteWholeFile(Path("big.png"), genshoku::testing::MakePng(
                                      width, height,
                                      [](int x, int y) {
                                        return Rgb{static_cast<uint8_t>(x), static_cast<uint8_t>(y),
                                                   static_cast<uint8_t>((x * y) >> 4)};
                                      },
                                      2));
  for (const char* threads : {"1", "2"}) {
    SCOPED_TRACE(std::string(threads) + " thread(s)");
    ProcessOptions options;
    std::string history;
    bool reductionFailed = false;
    bool reduced = false;
    for (uint64_t limit = uint64_t{8} << 20; !reduced && limit < (uint64_t{16} << 30);
         limit += limit / 10) {
      options.addressSpaceLimit = limit;
      const ProcessResult run =
          RunCli({Path("big.png"), "-o", Path("out.bmp"), "--threads", threads}, options);
      history += std::to_string(limit >> 20) + " MiB: " +
                 (run.exited ? "exit " + std::to_string(run.exitCode)
                             : "signal " + std::to_string(run.signal)) +
                 " " + run.err.substr(0, run.err.find('\n')) + "\n";
      ASSERT_TRUE(run.exited) << "a crash:\n" << history;
      EXPECT_EQ(run.out, "");
      if (run.exitCode == 127 && !reductionFailed) continue;  // the program could not start
      if (run.exitCode == kOk) {
        reduced = true;
        continue;
      }
      ASSERT_TRUE(run.exitCode == kInput || run.exitCode == kReduction) << history;
      EXPECT_FALSE(fs::exists(Path("out.bmp"))) << "nothing is written\n" << history;
      EXPECT_TRUE(Contains(run.err, Path("big.png") + ": ")) << history;
      if (run.exitCode == kReduction) {
        reductionFailed = true;
        EXPECT_TRUE(Contains(run.err, "not enough memory")) << history;
      } else {
        EXPECT_FALSE(reductionFailed) << "reading needs less than reducing\n" << history;
      }
    }
    EXPECT_TRUE(reduced) << history;
    EXPECT_TRUE(reductionFailed) << "no limit made the reduction itself fail:\n" << history;
    fs::remove(Path("out.bmp"));
  }
#endif
}

}  // namespace
}  // namespace genshoku::clitest
