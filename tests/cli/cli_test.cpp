#include <gtest/gtest.h>

#include <filesystem>

#include "cli/cli_app.h"
#include "cli/cli_options.h"
#include "formats/bmp_layout.h"
#include "shell/input_decoding.h"
#include "support_files.h"
#include "support_jpeg.h"

namespace genshoku::cli {
namespace {

using genshoku::testing::MakeBmp24;
using genshoku::testing::MakeJpeg;
using genshoku::testing::ReadWholeFile;
using genshoku::testing::ScratchFolder;
using genshoku::testing::TestPattern;
using genshoku::testing::WriteWholeFile;

Options Parse(std::vector<std::string> arguments) {
  Options options;
  std::string message;
  EXPECT_TRUE(ParseOptions(arguments, &options, &message)) << message;
  return options;
}

std::string ParseError(std::vector<std::string> arguments) {
  Options options;
  std::string message;
  EXPECT_FALSE(ParseOptions(arguments, &options, &message));
  return message;
}

TEST(CliOptions, SettingsAreNamedAndRangeChecked) {
  const Options options = Parse(
      {"in.bmp", "-o", "out.png", "--set", "colourMode=5", "--set=diffusionStrength=0.5", "-v"});
  EXPECT_EQ(options.settings.params.colourMode, 5);
  EXPECT_EQ(options.settings.params.diffusionStrength, 0.5);
  EXPECT_EQ(options.settings.params.edgeOperator, 6)
      << "other settings keep the reduce command's values";
  EXPECT_TRUE(options.verbose);

  EXPECT_NE(ParseError({"a.bmp", "--set", "colourMode=10"}).find("colourMode"), std::string::npos);
  EXPECT_NE(ParseError({"a.bmp", "--set", "edgeThreshold=2.5"}).find("whole number"),
            std::string::npos);
  EXPECT_NE(ParseError({"a.bmp", "--set", "gammaR=abc"}).find("gammaR"), std::string::npos);
  EXPECT_NE(ParseError({"a.bmp", "--set", "noSuchThing=1"}).find("unknown setting"),
            std::string::npos);
  EXPECT_NE(ParseError({"a.bmp", "--set", "colourMode"}).find("NAME=VALUE"), std::string::npos);
  // Options that exclude each other are refused by name; a weight set on top of the best
  // preset is not refused for the preset's own large-picture values.
  EXPECT_EQ(Parse({"a.bmp", "--set", "chromaWeight=2"}).settings.options.chromaWeight, 2.0);
  EXPECT_EQ(ParseError({"a.bmp", "--set", "diffusionVisibleMix=0.3", "--set", "chromaWeight=2"}),
            "diffusionVisibleMix needs chromaWeight 1");
}

TEST(CliOptions, ColorsTakesAWholeNumberFromTwoTo256InEitherPreset) {
  EXPECT_EQ(Parse({"a.bmp"}).settings.options.paletteSize, 256);
  EXPECT_EQ(Parse({"a.bmp", "--colors", "16"}).settings.options.paletteSize, 16);
  EXPECT_EQ(Parse({"a.bmp", "-c", "2", "--preset", "window"}).settings.options.paletteSize, 2);
  EXPECT_EQ(Parse({"a.bmp", "--colors=256"}).settings.options.paletteSize, 256);
  for (const char* wrong : {"1", "257", "0", "-4", "16x", "", "many"}) {
    EXPECT_NE(ParseError({"a.bmp", "--colors", wrong}).find("--colors takes a whole number"),
              std::string::npos)
        << wrong;
  }
}

TEST(CliOptions, CommandLineMistakesAreExplained) {
  EXPECT_EQ(ParseError({}), "no input file");
  EXPECT_NE(ParseError({"a.bmp", "b.bmp", "-o", "x.bmp"}).find("--out-dir"), std::string::npos);
  EXPECT_NE(ParseError({"a.bmp", "--bogus"}).find("--bogus"), std::string::npos);
  EXPECT_NE(ParseError({"a.bmp", "-o"}).find("needs a value"), std::string::npos);
  EXPECT_TRUE(Parse({"--help"}).help);
  EXPECT_EQ(Parse({"a.bmp", "-j", "2"}).threads, 2);
  EXPECT_NE(ParseError({"a.bmp", "--threads", "two"}).find("--threads"), std::string::npos);
  EXPECT_EQ(Parse({"--", "-odd.bmp"}).inputs, std::vector<std::string>{"-odd.bmp"});
}

TEST(CliOptions, ShortOptionsTakeTheirValueJoinedToo) {
  const Options options = Parse({"-j1", "-c16", "-oout.png", "in.png"});
  EXPECT_EQ(options.threads, 1);
  EXPECT_EQ(options.settings.options.paletteSize, 16);
  EXPECT_EQ(options.output, "out.png");
  EXPECT_EQ(options.inputs, std::vector<std::string>{"in.png"});
  EXPECT_EQ(Parse({"a.png", "b.png", "-dout"}).outDir, "out");
  EXPECT_EQ(Parse({"-", "-o-"}).output, "-");
  EXPECT_NE(ParseError({"a.png", "-jx"}).find("--threads"), std::string::npos);
  EXPECT_NE(ParseError({"a.png", "-fv"}).find("-fv"), std::string::npos) << "flags are not bundled";
}

TEST(CliOptions, BatchOutputsTakeTheBaseNameSuffixAndExtension) {
  Options options = Parse({"pics/photo.jpg", "other.png"});
  EXPECT_EQ(OutputPathFor(options, "pics/photo.jpg"), "pics/photovk.bmp");
  EXPECT_EQ(OutputPathFor(options, "other.png"), "othervk.bmp");
  options = Parse({"pics/photo.jpg", "--out-dir", "out", "--suffix", "_256", "--ext", "png"});
  EXPECT_EQ(OutputPathFor(options, "pics/photo.jpg"), "out/photo_256.png");
  options = Parse({"pics/photo.jpg", "-o", "exact.PNG"});
  EXPECT_EQ(OutputPathFor(options, "pics/photo.jpg"), "exact.PNG");
}

class CliRun : public ::testing::Test {
 protected:
  int Run(std::vector<std::string> arguments) {
    errors_.Clear();
    lines_.Clear();
    Options options;
    std::string message;
    if (!ParseOptions(arguments, &options, &message)) return kExitUsage;
    return RunCli(options, {&errors_, &lines_, false});
  }
  std::string Path(const std::string& name) { return folder_.Path(name); }
  void PutBmp(const std::string& name, int width, int height) {
    WriteWholeFile(Path(name), MakeBmp24(width, height, TestPattern));
  }

  ScratchFolder folder_;
  CapturedDiagnostics errors_;
  CapturedDiagnostics lines_;
};

TEST_F(CliRun, ReducesABmpFileQuietly) {
  PutBmp("in.bmp", 9, 7);
  ASSERT_EQ(Run({Path("in.bmp"), "-o", Path("out.bmp"), "--preset", "window"}), kExitOk)
      << errors_.AllText();
  EXPECT_TRUE(errors_.lines().empty());
  EXPECT_TRUE(lines_.lines().empty());
  const std::vector<uint8_t> file = ReadWholeFile(Path("out.bmp"));
  ASSERT_EQ(file.size(), 1078u + 12 * 7);
  EXPECT_EQ(ReadLe16(&file[28]), 8);
}

TEST_F(CliRun, VerboseShowsTheSystemsLines) {
  PutBmp("in.bmp", 6, 6);
  ASSERT_EQ(Run({Path("in.bmp"), "-o", Path("out.bmp"), "--verbose", "--preset", "window"}),
            kExitOk);
  EXPECT_NE(lines_.Text(DiagnosticStream::Out).find("EDGE gasosuu="), std::string::npos);
  EXPECT_TRUE(errors_.lines().empty());
}

TEST_F(CliRun, SettingsReachTheEngine) {
  PutBmp("in.bmp", 6, 6);
  ASSERT_EQ(Run({Path("in.bmp"), "-o", Path("a.bmp"), "-v", "--preset=window"}), kExitOk);
  EXPECT_NE(lines_.Text(DiagnosticStream::Err).find(" iter\n"), std::string::npos);
  ASSERT_EQ(
      Run({Path("in.bmp"), "-o", Path("b.bmp"), "-v", "--set", "kmeansOn=0", "--preset", "window"}),
      kExitOk);
  EXPECT_EQ(lines_.Text(DiagnosticStream::Err).find(" iter\n"), std::string::npos)
      << "no k-means pass runs when it is switched off";
}

TEST_F(CliRun, PngAndGifOutputsHoldTheSamePicture) {
  PutBmp("in.bmp", 13, 9);
  ASSERT_EQ(Run({Path("in.bmp"), "--ext", ".png"}), kExitOk) << errors_.AllText();
  ASSERT_EQ(Run({Path("in.bmp"), "--ext", ".gif"}), kExitOk) << errors_.AllText();
  PictureState png, gif;
  ASSERT_TRUE(LoadDroppedFile(png, Path("invk.png"), SilentDiagnostics()).loaded);
  ASSERT_TRUE(LoadDroppedFile(gif, Path("invk.gif"), SilentDiagnostics()).loaded);
  EXPECT_EQ(png.imageWidth, 13);
  EXPECT_EQ(png.imageBlock, gif.imageBlock) << "both decode to the same 24-bit picture";
}

// Five entries: a BMP table of five, a GIF table of eight, a PNG of at most five entries at
// four bits per pixel, in both presets.
TEST_F(CliRun, ColorsGiveFilesOfThatManyEntries) {
  PutBmp("in.bmp", 40, 30);
  for (const char* preset : {"best", "window"}) {
    ASSERT_EQ(Run({Path("in.bmp"), "-o", Path(std::string(preset) + ".bmp"), "--colors", "5",
                   "--preset", preset}),
              kExitOk)
        << errors_.AllText();
    const std::vector<uint8_t> bmp = ReadWholeFile(Path(std::string(preset) + ".bmp"));
    ASSERT_GT(bmp.size(), 54u) << preset;
    EXPECT_EQ(ReadLe32(&bmp[46]), 5u) << preset << ": entries used";
    EXPECT_EQ(ReadLe32(&bmp[10]), 54u + 4 * 5) << preset << ": the table holds five";

    ASSERT_EQ(Run({Path("in.bmp"), "-o", Path(std::string(preset) + ".gif"), "--colors", "5",
                   "--preset", preset}),
              kExitOk);
    const std::vector<uint8_t> gif = ReadWholeFile(Path(std::string(preset) + ".gif"));
    ASSERT_GT(gif.size(), 13u) << preset;
    EXPECT_EQ(2 << (gif[10] & 7), 8) << preset << ": a global table of eight";

    ASSERT_EQ(Run({Path("in.bmp"), "-o", Path(std::string(preset) + ".png"), "--colors", "5",
                   "--preset", preset}),
              kExitOk);
    const std::vector<uint8_t> png = ReadWholeFile(Path(std::string(preset) + ".png"));
    ASSERT_GT(png.size(), 41u) << preset;
    EXPECT_EQ(png[24], 4) << preset << ": bit depth";
    EXPECT_EQ(png[25], 3) << preset << ": palette colour type";
    const std::string bytes(png.begin(), png.end());
    const size_t plte = bytes.find("PLTE");
    ASSERT_NE(plte, std::string::npos) << preset;
    const uint32_t length = (uint32_t{png[plte - 4]} << 24) | (uint32_t{png[plte - 3]} << 16) |
                            (uint32_t{png[plte - 2]} << 8) | png[plte - 1];
    EXPECT_LE(length, 15u) << preset;
    EXPECT_EQ(length % 3, 0u) << preset;
  }
}

TEST_F(CliRun, ReducesAJpegFileInBatchBesideItsInput) {
  WriteWholeFile(Path("photo.jpg"),
                 MakeJpeg(10, 8, TestPattern, genshoku::testing::JpegKind::Rgb444));
  PutBmp("scan.bmp", 5, 5);
  ASSERT_EQ(Run({Path("photo.jpg"), Path("scan.bmp")}), kExitOk) << errors_.AllText();
  EXPECT_TRUE(std::filesystem::exists(Path("photovk.bmp")));
  EXPECT_TRUE(std::filesystem::exists(Path("scanvk.bmp")));
}

TEST_F(CliRun, ExistingOutputsAreKeptUnlessForced) {
  PutBmp("in.bmp", 4, 4);
  WriteWholeFile(Path("out.bmp"), {1, 2, 3});
  EXPECT_EQ(Run({Path("in.bmp"), "-o", Path("out.bmp")}), kExitExists);
  EXPECT_EQ(ReadWholeFile(Path("out.bmp")), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_NE(errors_.AllText().find("--force"), std::string::npos);
  EXPECT_EQ(Run({Path("in.bmp"), "-o", Path("out.bmp"), "--force"}), kExitOk);
  EXPECT_GT(ReadWholeFile(Path("out.bmp")).size(), 54u + 16 * 4);
}

TEST_F(CliRun, EachFailureIsOneLineAndTheOthersStillRun) {
  PutBmp("good.bmp", 4, 4);
  std::vector<uint8_t> compressed = MakeBmp24(4, 4, TestPattern);
  WriteLe32(&compressed[30], 1);
  WriteWholeFile(Path("compressed.bmp"), compressed);
  WriteWholeFile(Path("junk.bmp"), {'n', 'o', 'p', 'e'});

  EXPECT_EQ(Run({Path("missing.bmp"), Path("compressed.bmp"), Path("junk.bmp"), Path("good.bmp")}),
            kExitInput);
  ASSERT_EQ(errors_.lines().size(), 3u) << errors_.AllText();
  EXPECT_NE(errors_.lines()[0].text.find("missing.bmp"), std::string::npos);
  EXPECT_NE(errors_.lines()[1].text.find("compressed.bmp"), std::string::npos);
  EXPECT_NE(errors_.lines()[2].text.find("junk.bmp"), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(Path("goodvk.bmp")));
}

TEST_F(CliRun, AnUnwritableOutputIsReported) {
  PutBmp("in.bmp", 4, 4);
  EXPECT_EQ(Run({Path("in.bmp"), "-o", Path("no/such/folder/out.bmp")}), kExitOutput);
  ASSERT_EQ(errors_.lines().size(), 1u) << errors_.AllText();
}

}  // namespace
}  // namespace genshoku::cli
