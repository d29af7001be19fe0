// genshoku-cli on every picture the readers decode (PNG of every colour type and bit depth
// written by libpng, GIF images written by giflib, 8-bit and 32-bit BMP files), through
// pipes (standard input and output) and with --skip-if-larger and --frame.

#include <gtest/gtest.h>
#include <png.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "../../codecs/gif/gif_test_support.h"
#include "independent_decoders.h"
#include "support_files.h"
#include "support_png.h"
#include "support_process.h"

namespace genshoku::clitest {
namespace {

using testsupport::Colour;
using testsupport::DecodeAny;
using testsupport::DecodedFile;

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using genshoku::testing::ReadWholeFile;
using genshoku::testing::ScratchFolder;
using genshoku::testing::WriteWholeFile;

// A PNG file written by libpng from packed rows (width x height, as the format stores them).
Bytes LibpngFile(int width, int height, int colorType, int bitDepth, const Bytes& rows,
                 const Bytes& palette = {}, const Bytes& alphas = {}) {
  Bytes file;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return {};
  }
  png_set_write_fn(
      png, &file,
      [](png_structp p, png_bytep data, png_size_t count) {
        auto* out = static_cast<Bytes*>(png_get_io_ptr(p));
        out->insert(out->end(), data, data + count);
      },
      nullptr);
  png_set_IHDR(png, info, width, height, bitDepth, colorType, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  std::vector<png_color> colours;
  for (size_t i = 0; i + 2 < palette.size(); i += 3)
    colours.push_back({palette[i], palette[i + 1], palette[i + 2]});
  if (!colours.empty()) png_set_PLTE(png, info, colours.data(), static_cast<int>(colours.size()));
  if (!alphas.empty())
    png_set_tRNS(png, info, alphas.data(), static_cast<int>(alphas.size()), nullptr);
  png_write_info(png, info);
  const size_t rowBytes = rows.size() / static_cast<size_t>(height);
  for (int y = 0; y < height; ++y) png_write_row(png, rows.data() + y * rowBytes);
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return file;
}

std::set<uint32_t> ColoursOf(const DecodedFile& file) {
  std::set<uint32_t> colours;
  for (const Colour& c : file.pixels) colours.insert(uint32_t{c.r} << 16 | c.g << 8 | c.b);
  return colours;
}

struct Input {
  std::string name;
  Bytes file;
  std::set<uint32_t> colours;  // the picture's colours (opaque inputs)
};

constexpr size_t kBmp8Offset = 14 + 40 + 1024;  // headers and a table of 256 entries

uint32_t Grey(uint32_t value) { return value << 16 | value << 8 | value; }

std::vector<Input> InputsOfEveryKind() {
  std::vector<Input> inputs;
  // 2-bit grey: four greys, 8 x 4 pixels (two bytes per row).
  inputs.push_back(
      {"grey2.png",
       LibpngFile(8, 4, PNG_COLOR_TYPE_GRAY, 2, {0x1B, 0xE4, 0x1B, 0xE4, 0x00, 0xFF, 0x55, 0xAA}),
       {Grey(0), Grey(85), Grey(170), Grey(255)}});
  // 4-bit grey: 0x0 and 0xF.
  inputs.push_back({"grey4.png",
                    LibpngFile(4, 2, PNG_COLOR_TYPE_GRAY, 4, {0x0F, 0xF0, 0xFF, 0x00}),
                    {Grey(0), Grey(255)}});
  // 16-bit grey and 16-bit RGB with opaque alpha.
  inputs.push_back({"grey16.png",
                    LibpngFile(2, 1, PNG_COLOR_TYPE_GRAY, 16, {0x12, 0xFF, 0xFF, 0x00}),
                    {Grey(0x13), Grey(0xFE)}});
  inputs.push_back(
      {"rgba16.png",
       LibpngFile(2, 1, PNG_COLOR_TYPE_RGB_ALPHA, 16,
                  {0xFF, 0xFF, 0, 0, 0, 0, 0xFF, 0xFF, 0, 0, 0xFF, 0xFF, 0, 0, 0xFF, 0xFF}),
       {0xFF0000, 0x00FF00}});
  // 4-bit palette with an alpha chunk that keeps every used entry opaque.
  inputs.push_back({"palette4.png",
                    LibpngFile(3, 1, PNG_COLOR_TYPE_PALETTE, 4, {0x01, 0x20},
                               {9, 9, 9, 1, 2, 3, 200, 100, 50}, {255, 255, 255}),
                    {0x090909, 0x010203, 0xC86432}});
  // An 8-bit BMP with three colours in its table.
  Bytes bmp8(kBmp8Offset + 4, 0);
  bmp8[0] = 'B', bmp8[1] = 'M';
  auto le32 = [](uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
  };
  le32(&bmp8[2], static_cast<uint32_t>(bmp8.size()));
  le32(&bmp8[10], kBmp8Offset);
  le32(&bmp8[14], 40);
  le32(&bmp8[18], 3);
  le32(&bmp8[22], 1);
  bmp8[26] = 1;
  bmp8[28] = 8;
  const uint8_t table[] = {30, 20, 10, 0, 60, 50, 40, 0, 90, 80, 70, 0};
  std::copy(std::begin(table), std::end(table), bmp8.begin() + 54);
  bmp8[kBmp8Offset] = 0, bmp8[kBmp8Offset + 1] = 1, bmp8[kBmp8Offset + 2] = 2;
  inputs.push_back({"eight.bmp", bmp8, {0x0A141E, 0x28323C, 0x46505A}});
  return inputs;
}

TEST(CliEveryInput, EveryKindOfPictureIsReducedAndFewColoursComeBackExactly) {
  ScratchFolder folder;
  for (const Input& input : InputsOfEveryKind()) {
    SCOPED_TRACE(input.name);
    ASSERT_FALSE(input.file.empty());
    const std::string in = folder.Path(input.name);
    WriteWholeFile(in, input.file);
    for (const char* extension : {".png", ".gif", ".bmp"}) {
      const std::string out = in + extension;
      const ProcessResult run = RunCli({in, "-o", out});
      ASSERT_TRUE(run.exited && run.exitCode == 0) << run.Describe();
      const DecodedFile decoded = DecodeAny(ReadWholeFile(out));
      ASSERT_TRUE(decoded.ok) << decoded.problem;
      EXPECT_EQ(ColoursOf(decoded), input.colours) << extension;
    }
  }
}

// Two images on a 4 x 1 screen: red on the left half, then blue on the right half.
Bytes TwoImageGif() {
  giftest::OracleFile file;
  file.width = 4;
  file.height = 1;
  file.palette = {255, 0, 0, 0, 0, 255};
  giftest::OracleImage left = giftest::ImageAt(0, 0, 2, 1, {0, 0});
  left.disposal = 1;
  giftest::OracleImage right = giftest::ImageAt(2, 0, 2, 1, {1, 1});
  right.disposal = 1;
  file.images = {left, right};
  return giftest::EncodeWithGiflib(file);
}

TEST(CliEveryInput, FrameChoosesTheImageOfAGif) {
  ScratchFolder folder;
  const std::string in = folder.Path("two.gif");
  WriteWholeFile(in, TwoImageGif());
  const ProcessResult second = RunCli({in, "--frame", "1", "-o", folder.Path("second.png")});
  ASSERT_EQ(second.exitCode, 0) << second.Describe();
  const DecodedFile decoded = DecodeAny(ReadWholeFile(folder.Path("second.png")));
  ASSERT_TRUE(decoded.ok);
  EXPECT_EQ(decoded.pixels[0], (Colour{255, 0, 0}));
  EXPECT_EQ(decoded.pixels[3], (Colour{0, 0, 255}));
  const ProcessResult missing = RunCli({in, "--frame", "2", "-o", folder.Path("third.png")});
  EXPECT_EQ(missing.exitCode, 2);
  EXPECT_EQ(missing.err, in + ": the file has 2 images, not an image 2\n");
  EXPECT_FALSE(fs::exists(folder.Path("third.png")));
  EXPECT_EQ(RunCli({in, "--frame", "x", "-o", folder.Path("x.png")}).exitCode, 1);
}

TEST(CliPipes, StandardInputAndOutputCarryThePictureAndNothingElse) {
  ScratchFolder folder;
  const std::string in = folder.Path("in.png");
  WriteWholeFile(in, InputsOfEveryKind()[0].file);
  const std::string file = folder.Path("file.png");
  ASSERT_EQ(RunCli({in, "-o", file}).exitCode, 0);
  ProcessOptions piped;
  piped.standardInput = in;
  // "-" in, "-o -" out: the same bytes as the file, and nothing on standard error.
  const ProcessResult both = RunCli({"-", "-o", "-"}, piped);
  ASSERT_EQ(both.exitCode, 0) << both.Describe();
  EXPECT_EQ(both.err, "");
  EXPECT_EQ(Bytes(both.out.begin(), both.out.end()), ReadWholeFile(file));
  // --verbose lines go to standard error while standard output carries the picture.
  const std::string many = folder.Path("many.bmp");
  WriteWholeFile(many, genshoku::testing::MakeBmp24(40, 30, genshoku::testing::TestPattern));
  const ProcessResult verbose = RunCli({many, "-o", "-", "--verbose", "--preset", "window"});
  ASSERT_EQ(verbose.exitCode, 0) << verbose.Describe();
  EXPECT_NE(verbose.err, "");
  EXPECT_EQ(DecodeAny(Bytes(verbose.out.begin(), verbose.out.end())).ok, true);
  // --ext names the format of standard output.
  const ProcessResult gif = RunCli({"-", "-o", "-", "--ext", ".gif"}, piped);
  EXPECT_EQ(gif.out.substr(0, 6), "GIF89a");
  const ProcessResult bmp = RunCli({"-", "-o", "-", "--ext", "bmp"}, piped);
  EXPECT_EQ(bmp.out.substr(0, 2), "BM");
  // Standard input to a file.
  const ProcessResult toFile = RunCli({"-", "-o", folder.Path("from-pipe.png")}, piped);
  ASSERT_EQ(toFile.exitCode, 0) << toFile.Describe();
  EXPECT_EQ(ReadWholeFile(folder.Path("from-pipe.png")), ReadWholeFile(file));
}

TEST(CliPipes, RealPipesWork) {
  ScratchFolder folder;
  const std::string in = folder.Path("in.png");
  WriteWholeFile(in, InputsOfEveryKind()[3].file);
  const std::string file = folder.Path("file.png");
  ASSERT_EQ(RunCli({in, "-o", file}).exitCode, 0);
  const std::string out = folder.Path("piped.png");
  const std::string command = "cat '" + in + "' | '" + CliPath() + "' - -o - | cat > '" + out + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);
  EXPECT_EQ(ReadWholeFile(out), ReadWholeFile(file));
}

TEST(CliPipes, MistakesAndBadInputsAreExplained) {
  ScratchFolder folder;
  const std::string junk = folder.Path("junk");
  WriteWholeFile(junk, Bytes(100, 'x'));
  ProcessOptions piped;
  piped.standardInput = junk;
  const ProcessResult notAPicture = RunCli({"-", "-o", "-"}, piped);
  EXPECT_EQ(notAPicture.exitCode, 2);
  EXPECT_EQ(notAPicture.out, "");
  EXPECT_EQ(notAPicture.err, "standard input: not a JPEG, PNG, GIF or BMP file\n");
  // Standard input has no name to make an output name of, and is one input alone.
  const ProcessResult noOutput = RunCli({"-"}, piped);
  EXPECT_EQ(noOutput.exitCode, 1);
  EXPECT_NE(noOutput.err.find("-o"), std::string::npos) << noOutput.err;
  EXPECT_EQ(RunCli({"-", junk, "--out-dir", folder.folder().string()}, piped).exitCode, 1);
}

TEST(CliSkipIfLarger, KeepsNoOutputThatWouldNotBeSmaller) {
  ScratchFolder folder;
  // A 24-bit BMP of two colours: any palette file of it is far smaller.
  const std::string big = folder.Path("big.bmp");
  WriteWholeFile(big, genshoku::testing::MakeBmp24(64, 64, [](int x, int) {
                   return genshoku::testing::Rgb{static_cast<uint8_t>(x < 32 ? 255 : 0), 0, 0};
                 }));
  const ProcessResult smaller = RunCli({big, "-o", folder.Path("small.png"), "--skip-if-larger"});
  EXPECT_EQ(smaller.exitCode, 0) << smaller.Describe();
  EXPECT_TRUE(fs::exists(folder.Path("small.png")));
  // A PNG of one colour becomes a BMP of a byte per pixel: skipped, with code 98.
  const std::string tiny = folder.Path("tiny.png");
  WriteWholeFile(tiny, genshoku::testing::MakePng(
                           64, 64,
                           [](int, int) {
                             return genshoku::testing::Rgb{1, 2, 3};
                           },
                           2));
  const std::string out = folder.Path("tiny.bmp");
  const ProcessResult skipped = RunCli({tiny, "-o", out, "--skip-if-larger"});
  EXPECT_EQ(skipped.exitCode, 98) << skipped.Describe();
  EXPECT_FALSE(fs::exists(out));
  EXPECT_NE(skipped.err.find("skipped"), std::string::npos) << skipped.err;
  // On standard output too: nothing is written.
  ProcessOptions piped;
  piped.standardInput = tiny;
  const ProcessResult skippedPipe =
      RunCli({"-", "-o", "-", "--ext", ".bmp", "--skip-if-larger"}, piped);
  EXPECT_EQ(skippedPipe.exitCode, 98);
  EXPECT_EQ(skippedPipe.out, "");
  // A failure's code comes before a skip.
  const ProcessResult both =
      RunCli({tiny, folder.Path("none.png"), "--out-dir", folder.folder().string(), "--ext", ".bmp",
              "--skip-if-larger"});
  EXPECT_EQ(both.exitCode, 2) << both.Describe();
}

}  // namespace
}  // namespace genshoku::clitest
