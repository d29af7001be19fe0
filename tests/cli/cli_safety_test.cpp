// The command line loses nothing, leaves nothing behind and calls no damaged picture a
// success: outputs are checked before any work, a file that appears while a picture is
// written is kept, output names cannot leave their folder or replace the input, a damaged
// input is refused (or reduced with a warning when asked), a signal during the save leaves
// no temporary file, and every failure is one line that names its file.

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "cli/cli_app.h"
#include "cli/cli_options.h"
#include "codecs/gif/gif_writer.h"
#include "support_files.h"
#include "support_jpeg.h"
#include "support_png.h"

namespace genshoku::cli {
namespace {

namespace fs = std::filesystem;
using genshoku::testing::MakeBmp24;
using genshoku::testing::MakeJpeg;
using genshoku::testing::MakePng;
using genshoku::testing::ReadWholeFile;
using genshoku::testing::ScratchFolder;
using genshoku::testing::TestPattern;
using genshoku::testing::WriteWholeFile;
using Bytes = std::vector<uint8_t>;

std::string ParseError(std::vector<std::string> arguments) {
  Options options;
  std::string message;
  EXPECT_FALSE(ParseOptions(arguments, &options, &message));
  return message;
}

Bytes MakeGif(int width, int height) {
  std::vector<uint8_t> palette(768);
  for (size_t i = 0; i < palette.size(); ++i) palette[i] = static_cast<uint8_t>(i * 7);
  Bytes out;
  auto writer = GifWriter::Create(out, width, height, palette.data(), 8, 0, SilentDiagnostics());
  for (size_t i = 0; i < size_t(width) * height; ++i) {
    writer->currentFrame()[i] = static_cast<uint8_t>(i * 37 + i / 7);
  }
  writer->WriteFrame(10);
  writer->Finish();
  return out;
}

// Passes lines on and creates a file when the engine's first line comes: another program
// taking the output's name while the picture is being reduced.
class TakesTheNameMeanwhile final : public Diagnostics {
 public:
  explicit TakesTheNameMeanwhile(std::string path) : path_(std::move(path)) {}
  void Write(DiagnosticStream, std::string_view text) override {
    if (!done_ && text.find("EDGE gasosuu=") != std::string_view::npos) {
      WriteWholeFile(path_, {'p', 'r', 'e', 'c', 'i', 'o', 'u', 's'});
      done_ = true;
    }
  }

 private:
  std::string path_;
  bool done_ = false;
};

class CliSafety : public ::testing::Test {
 protected:
  int Run(std::vector<std::string> arguments, Diagnostics* lines = nullptr) {
    errors_.Clear();
    Options options;
    std::string message;
    if (!ParseOptions(arguments, &options, &message)) return kExitUsage;
    return RunCli(options, {&errors_, lines != nullptr ? lines : &lines_, false});
  }
  std::string Path(const std::string& name) { return folder_.Path(name); }
  void PutBmp(const std::string& name, int width = 9, int height = 7) {
    WriteWholeFile(Path(name), MakeBmp24(width, height, TestPattern));
  }
  std::set<std::string> Entries() {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder_.folder())) {
      names.insert(entry.path().filename().string());
    }
    return names;
  }
  // The one line of the last run, which must name `file`.
  std::string OnlyLine(const std::string& file) {
    EXPECT_EQ(errors_.lines().size(), 1u) << errors_.AllText();
    const std::string text = errors_.AllText();
    EXPECT_NE(text.find(file), std::string::npos) << text;
    return text;
  }

  ScratchFolder folder_;
  CapturedDiagnostics errors_;
  CapturedDiagnostics lines_;
};

TEST_F(CliSafety, OutputNamesStayInTheirFolderAndSayTheirFormat) {
  EXPECT_NE(ParseError({"a.png", "--suffix", "/../../escaped"}).find("--suffix"),
            std::string::npos);
  EXPECT_NE(ParseError({"a.png", "-d", "out", "--suffix", "x/y"}).find("'/'"), std::string::npos);
  EXPECT_NE(ParseError({"a.png", "--ext", ".xyz"}).find(".xyz"), std::string::npos);
  EXPECT_NE(ParseError({"a.png", "--ext", "/../x.png"}).find("--ext"), std::string::npos);
  EXPECT_NE(ParseError({"a.png", "-o", "x.jpeg"}).find("x.jpeg"), std::string::npos);
  EXPECT_NE(ParseError({"a.png", "-o", "x"}).find(".bmp, .png or .gif"), std::string::npos);
  EXPECT_NE(ParseError({"a.png", "-o", ""}).find("empty"), std::string::npos);
  EXPECT_NE(ParseError({"-"}).find("-o"), std::string::npos);

  // Any case of the three extensions writes that format.
  PutBmp("in.bmp");
  ASSERT_EQ(Run({Path("in.bmp"), "-o", Path("x.Png")}), kExitOk) << errors_.AllText();
  EXPECT_EQ(ReadWholeFile(Path("x.Png"))[1], 'P');
  ASSERT_EQ(Run({Path("in.bmp"), "-o", Path("x.GIF")}), kExitOk) << errors_.AllText();
  EXPECT_EQ(ReadWholeFile(Path("x.GIF"))[0], 'G');
  ASSERT_EQ(Run({Path("in.bmp"), "--ext", "BMP", "--suffix", "_1"}), kExitOk);
  EXPECT_EQ(ReadWholeFile(Path("in_1.BMP"))[0], 'B');
}

TEST_F(CliSafety, TheInputIsNeverItsOwnOutput) {
  const Bytes png = MakePng(8, 6, TestPattern, 2);
  WriteWholeFile(Path("in.png"), png);
  fs::create_symlink(Path("in.png"), Path("link.png"));
  EXPECT_EQ(Run({Path("in.png"), "-o", Path("in.png"), "-f"}), kExitOutput);
  OnlyLine("in.png");
  EXPECT_EQ(Run({Path("in.png"), "-o", Path("link.png"), "-f"}), kExitOutput);
  OnlyLine("link.png");
  fs::current_path(folder_.folder());
  EXPECT_EQ(Run({"in.png", "-o", "./in.png", "--force"}), kExitOutput);
  fs::current_path("/");
  EXPECT_EQ(ReadWholeFile(Path("in.png")), png);
  EXPECT_EQ(Entries(), (std::set<std::string>{"in.png", "link.png"}));
}

TEST_F(CliSafety, OutputsAreCheckedBeforeTheInputIsRead) {
  // The input is junk: a check after reading would report the input instead.
  WriteWholeFile(Path("junk.png"), {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 1, 2});
  EXPECT_EQ(Run({Path("junk.png"), "-o", Path("missing/out.png")}), kExitOutput);
  EXPECT_NE(OnlyLine("missing/out.png").find("does not exist"), std::string::npos);
  EXPECT_EQ(Run({Path("junk.png"), "-d", Path("missing")}), kExitOutput);
  OnlyLine("missing/junkvk.bmp");
  // A GIF holds at most 65535 pixels a side: refused from the input's header alone.
  PutBmp("wide.bmp", 70000, 1);
  EXPECT_EQ(Run({Path("wide.bmp"), "-o", Path("wide.gif")}), kExitOutput);
  EXPECT_NE(OnlyLine("wide.gif").find("65535"), std::string::npos);
  EXPECT_FALSE(fs::exists(Path("wide.gif")));
}

TEST_F(CliSafety, AFileThatAppearsWhileReducingIsKept) {
  PutBmp("in.bmp", 40, 30);
  const std::string output = Path("out.png");
  TakesTheNameMeanwhile other(output);
  EXPECT_EQ(Run({Path("in.bmp"), "-o", output, "-v"}, &other), kExitExists);
  EXPECT_NE(OnlyLine("out.png").find("--force"), std::string::npos);
  EXPECT_EQ(ReadWholeFile(output), (Bytes{'p', 'r', 'e', 'c', 'i', 'o', 'u', 's'}));
  EXPECT_EQ(Entries(), (std::set<std::string>{"in.bmp", "out.png"}));
  // With --force the late file is replaced, as asked.
  TakesTheNameMeanwhile again(Path("forced.png"));
  EXPECT_EQ(Run({Path("in.bmp"), "-o", Path("forced.png"), "-v", "-f"}, &again), kExitOk);
  EXPECT_EQ(ReadWholeFile(Path("forced.png"))[1], 'P');
}

TEST_F(CliSafety, OfTwoProcessesWritingOneOutputOneWinsAndTheOtherSaysSo) {
  PutBmp("in.bmp", 60, 40);
  for (const char* name : {"race.bmp", "race.png", "race.gif"}) {
    const std::string output = Path(name);
    pid_t children[2];
    std::fflush(nullptr);
    for (pid_t& child : children) {
      child = ::fork();
      ASSERT_GE(child, 0);
      if (child == 0) ::_exit(Run({Path("in.bmp"), "-o", output}));
    }
    std::multiset<int> codes;
    for (pid_t child : children) {
      int status = 0;
      ::waitpid(child, &status, 0);
      ASSERT_TRUE(WIFEXITED(status));
      codes.insert(WEXITSTATUS(status));
    }
    EXPECT_EQ(codes, (std::multiset<int>{kExitOk, kExitExists})) << name;
    EXPECT_GT(ReadWholeFile(output).size(), 100u) << name;
  }
  EXPECT_EQ(Entries(), (std::set<std::string>{"in.bmp", "race.bmp", "race.png", "race.gif"}));
}

TEST_F(CliSafety, ASignalDuringTheSaveLeavesNoTemporaryFile) {
  // A file-size limit ends the writing process with SIGXFSZ, as a full quota would.
  PutBmp("in.bmp", 200, 150);
  for (const char* force : {"--force", "--verbose"}) {
    std::fflush(nullptr);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      const rlimit noCore = {0, 0};
      ::setrlimit(RLIMIT_CORE, &noCore);
      const rlimit small = {20000, RLIM_INFINITY};
      ::setrlimit(RLIMIT_FSIZE, &small);
      ::_exit(Run({Path("in.bmp"), "-o", Path("out.bmp"), force}));
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ) << status;
    EXPECT_EQ(Entries(), std::set<std::string>{"in.bmp"}) << force;
  }
}

// Every format, whole and damaged: refused by default with one line naming the file and the
// damage; reduced with a warning under --allow-damaged.
TEST_F(CliSafety, ADamagedInputIsRefusedUnlessAllowed) {
  const Bytes jpeg = MakeJpeg(64, 48, TestPattern, genshoku::testing::JpegKind::Rgb420, 90);
  const Bytes png = MakePng(64, 48, TestPattern, 2);
  const Bytes gif = MakeGif(64, 48);
  struct Case {
    const char* name;
    Bytes whole;
  } cases[] = {{"photo.jpg", jpeg}, {"picture.png", png}, {"anim.gif", gif}};
  for (const Case& file : cases) {
    WriteWholeFile(Path(file.name), file.whole);
    EXPECT_EQ(Run({Path(file.name), "-o", Path("whole.bmp"), "-f"}), kExitOk)
        << file.name << errors_.AllText();
    EXPECT_TRUE(errors_.lines().empty()) << errors_.AllText();
    const std::string cut = std::string("cut-") + file.name;
    WriteWholeFile(Path(cut),
                   Bytes(file.whole.begin(), file.whole.begin() + file.whole.size() / 2));
    EXPECT_EQ(Run({Path(cut), "-o", Path("cut.bmp")}), kExitInput) << cut;
    EXPECT_NE(OnlyLine(cut).find("the data end before the last row"), std::string::npos);
    EXPECT_FALSE(fs::exists(Path("cut.bmp")));
    EXPECT_EQ(Run({Path(cut), "-o", Path("cut.bmp"), "--allow-damaged"}), kExitOk) << cut;
    EXPECT_NE(OnlyLine(cut).find("warning"), std::string::npos);
    fs::remove(Path("cut.bmp"));
  }
  // A PNG whose compressed data are damaged, one without image data, one interlaced in a
  // way no reader knows.
  Bytes corrupt = png;
  for (size_t i = 60; i < 90; ++i) corrupt[i] ^= 0x5A;
  WriteWholeFile(Path("corrupt.png"), corrupt);
  EXPECT_EQ(Run({Path("corrupt.png"), "-o", Path("c.bmp")}), kExitInput);
  OnlyLine("corrupt.png");
  Bytes interlace = png;
  interlace[28] = 7;  // the interlace method of the header chunk (its checksum is not read)
  WriteWholeFile(Path("interlace.png"), interlace);
  EXPECT_EQ(Run({Path("interlace.png"), "-o", Path("i.bmp")}), kExitInput);
  EXPECT_NE(OnlyLine("interlace.png").find("interlace"), std::string::npos);
  // A BMP too short for its rows is refused with or without the option.
  const Bytes bmp = MakeBmp24(20, 10, TestPattern);
  WriteWholeFile(Path("cut.bmp"), Bytes(bmp.begin(), bmp.begin() + bmp.size() / 2));
  EXPECT_EQ(Run({Path("cut.bmp"), "-o", Path("b.png"), "--allow-damaged"}), kExitInput);
  OnlyLine("cut.bmp");
}

TEST_F(CliSafety, EveryFailureIsOneLineNamingItsFile) {
  Bytes gif87 = MakeGif(4, 4);
  gif87[4] = '7';
  WriteWholeFile(Path("old.gif"), gif87);
  // The window's reading takes GIF89a files alone (the default preset reads the older ones).
  EXPECT_EQ(Run({Path("old.gif"), "-o", Path("o.bmp"), "--preset", "window"}), kExitInput);
  EXPECT_NE(OnlyLine("old.gif").find("GIF89a"), std::string::npos);
  fs::create_directory(Path("folder.png"));
  EXPECT_EQ(Run({Path("folder.png"), "-o", Path("o.bmp")}), kExitInput);
  EXPECT_NE(OnlyLine("folder.png").find("folder"), std::string::npos);
  EXPECT_EQ(Run({Path("missing.png"), "-o", Path("o.bmp")}), kExitInput);
  EXPECT_NE(OnlyLine("missing.png").find("No such file"), std::string::npos);
  // With --verbose the system's own lines come as well, and the failure still names the file.
  CapturedDiagnostics verbose;
  EXPECT_EQ(Run({Path("old.gif"), "-o", Path("o.bmp"), "-v", "--preset", "window"}, &verbose),
            kExitInput);
  EXPECT_NE(verbose.AllText().find("invalid version"), std::string::npos);
  EXPECT_NE(verbose.AllText().find("old.gif"), std::string::npos);
}

}  // namespace
}  // namespace genshoku::cli
