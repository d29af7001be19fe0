// genshoku-cli as users run it: the built program is started as a child process on BMP and
// truecolour PNG files, and what it writes as .bmp, .png and .gif is read back by libpng,
// giflib and a plain BMP parse.
//
// Pictures that already have no more colours than a palette holds come back exactly with
// the default preset. The window preset reduces them as the window does; its three files
// must hold one and the same picture. One thread and two write the same bytes, and
// relative names work from the current folder.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

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
using genshoku::testing::ReadWholeFile;
using genshoku::testing::Rgb;
using genshoku::testing::ScratchFolder;
using genshoku::testing::WriteWholeFile;

struct TestPicture {
  std::string name;
  int width = 0;
  int height = 0;
  std::vector<Colour> pixels;  // row-major, top row first

  Colour At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// width x height pixels, pixel (x, y) of colour colours[choose(x, y)].
TestPicture Paint(std::string name, int width, int height, const std::vector<Colour>& colours,
                  int (*choose)(int x, int y)) {
  TestPicture picture{std::move(name), width, height, {}};
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) picture.pixels.push_back(colours[choose(x, y)]);
  }
  return picture;
}

// `count` different colours (their red values differ).
std::vector<Colour> DistinctColours(int count) {
  std::vector<Colour> colours;
  for (int k = 0; k < count; ++k) {
    colours.push_back({static_cast<uint8_t>(k), static_cast<uint8_t>(k * 29 + 7),
                       static_cast<uint8_t>(k * 151 + 100)});
  }
  return colours;
}

// Pictures of at most 256 colours, of odd sizes.
std::vector<TestPicture> FewColourPictures() {
  return {
      Paint("single", 1, 1, {{17, 200, 99}}, [](int, int) { return 0; }),
      Paint("two", 3, 5, {{0, 0, 0}, {255, 255, 255}}, [](int x, int y) { return (x + y) % 2; }),
      Paint("ramp", 37, 23, DistinctColours(200),
            [](int x, int y) { return (x * 7 + y * 13) % 200; }),
      // Every one of the 256 colours is used (97 and 256 have no common factor).
      Paint("full", 129, 65, DistinctColours(256),
            [](int x, int y) { return ((x + y * 129) * 97) % 256; }),
  };
}

// Far more than 256 colours, for the engine's own work.
TestPicture PhotoLike() {
  TestPicture picture{"photolike", 161, 121, {}};
  for (int y = 0; y < picture.height; ++y) {
    for (int x = 0; x < picture.width; ++x) {
      picture.pixels.push_back({static_cast<uint8_t>(x + y),
                                static_cast<uint8_t>(2 * y + x * x / 9),
                                static_cast<uint8_t>(x * y / 5 + ((x * 7 + y * 3) % 11))});
    }
  }
  return picture;
}

genshoku::testing::PixelFunction PixelsOf(const TestPicture& picture) {
  return [&picture](int x, int y) {
    const Colour c = picture.At(x, y);
    return Rgb{c.r, c.g, c.b};
  };
}

// Each picture as "<name>_bmp.bmp" (24-bit) and "<name>_png.png" (truecolour) in `folder`;
// returns the paths.
std::vector<std::string> WriteInputs(const std::string& folder,
                                     const std::vector<TestPicture>& pictures) {
  std::vector<std::string> paths;
  for (const TestPicture& picture : pictures) {
    const std::string bmp = folder + "/" + picture.name + "_bmp.bmp";
    const std::string png = folder + "/" + picture.name + "_png.png";
    WriteWholeFile(bmp,
                   genshoku::testing::MakeBmp24(picture.width, picture.height, PixelsOf(picture)));
    WriteWholeFile(png,
                   genshoku::testing::MakePng(picture.width, picture.height, PixelsOf(picture), 2));
    paths.push_back(bmp);
    paths.push_back(png);
  }
  return paths;
}

const char* const kExtensions[] = {".bmp", ".png", ".gif"};

class CliRoundTrip : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return folder_.Path(name); }

  // Reduces every input into a new folder `out` with the given extension and options;
  // false (with the failure reported) unless the program succeeded quietly.
  bool ReduceInto(const std::string& out, const std::string& extension,
                  std::vector<std::string> options, const std::vector<std::string>& inputs) {
    fs::create_directories(Path(out));
    options.insert(options.end(), {"--out-dir", Path(out), "--ext", extension});
    options.insert(options.end(), inputs.begin(), inputs.end());
    const ProcessResult run = RunCli(options);
    EXPECT_TRUE(run.exited && run.exitCode == 0) << run.Describe();
    EXPECT_EQ(run.err, "") << "quiet on success";
    EXPECT_EQ(run.out, "");
    return run.exited && run.exitCode == 0;
  }

  // The output of `picture` from the given input kind ("bmp", "png").
  std::string OutputOf(const std::string& out, const TestPicture& picture, const std::string& kind,
                       const std::string& extension) const {
    return Path(out + "/" + picture.name + "_" + kind + "vk" + extension);
  }

  DecodedFile Decode(const std::string& path) const {
    const DecodedFile file = DecodeAny(ReadWholeFile(path));
    EXPECT_TRUE(file.ok) << path << ": " << file.problem;
    return file;
  }

  ScratchFolder folder_;
};

void ExpectSamePixels(const DecodedFile& file, const TestPicture& picture,
                      const std::string& what) {
  ASSERT_EQ(file.width, picture.width) << what;
  ASSERT_EQ(file.height, picture.height) << what;
  for (int y = 0; y < picture.height; ++y) {
    for (int x = 0; x < picture.width; ++x) {
      const Colour got = file.pixels[static_cast<size_t>(y) * picture.width + x];
      const Colour want = picture.At(x, y);
      ASSERT_TRUE(got == want) << what << ": pixel " << x << "," << y << " is " << int(got.r) << ","
                               << int(got.g) << "," << int(got.b) << ", not " << int(want.r) << ","
                               << int(want.g) << "," << int(want.b);
    }
  }
}

TEST_F(CliRoundTrip, PicturesOfFewColoursComeBackExactWithTheDefaultPreset) {
  const std::vector<TestPicture> pictures = FewColourPictures();
  const std::vector<std::string> inputs = WriteInputs(folder_.Path(""), pictures);
  for (const char* extension : kExtensions) {
    SCOPED_TRACE(extension);
    const std::string out = std::string("best") + extension;
    ASSERT_TRUE(ReduceInto(out, extension, {}, inputs));
    for (const TestPicture& picture : pictures) {
      for (const char* kind : {"bmp", "png"}) {
        const std::string path = OutputOf(out, picture, kind, extension);
        const DecodedFile file = Decode(path);
        EXPECT_TRUE(file.indexed) << path << " is a palette file";
        ExpectSamePixels(file, picture, path);
      }
      EXPECT_EQ(ReadWholeFile(OutputOf(out, picture, "bmp", extension)),
                ReadWholeFile(OutputOf(out, picture, "png", extension)))
          << picture.name << ": the same picture read from BMP and PNG gives the same file";
    }
  }
}

TEST_F(CliRoundTrip, TheWindowPresetsThreeFormatsHoldOneAndTheSamePicture) {
  std::vector<TestPicture> pictures = FewColourPictures();
  pictures.push_back(PhotoLike());
  const std::vector<std::string> inputs = WriteInputs(folder_.Path(""), pictures);
  for (const char* extension : kExtensions) {
    ASSERT_TRUE(
        ReduceInto(std::string("window") + extension, extension, {"--preset", "window"}, inputs));
  }
  for (const TestPicture& picture : pictures) {
    SCOPED_TRACE(picture.name);
    std::map<std::string, DecodedFile> files;
    for (const char* extension : kExtensions) {
      const std::string path =
          OutputOf(std::string("window") + extension, picture, "bmp", extension);
      files[extension] = Decode(path);
      const DecodedFile& file = files[extension];
      ASSERT_TRUE(file.ok);
      // Every pixel is a palette index that has an entry; the window's palette is full.
      ASSERT_TRUE(file.indexed) << path;
      EXPECT_EQ(file.palette.size(), 256u) << path;
      ASSERT_EQ(file.width, picture.width);
      ASSERT_EQ(file.height, picture.height);
      EXPECT_EQ(ReadWholeFile(path), ReadWholeFile(OutputOf(std::string("window") + extension,
                                                            picture, "png", extension)))
          << "from BMP and from PNG";
    }
    const DecodedFile& bmp = files[".bmp"];
    for (const char* extension : {".png", ".gif"}) {
      EXPECT_EQ(files[extension].indices, bmp.indices) << extension << " against .bmp";
      EXPECT_TRUE(files[extension].palette == bmp.palette) << extension << " against .bmp";
      EXPECT_TRUE(files[extension].pixels == bmp.pixels) << extension << " against .bmp";
    }
  }
}

TEST_F(CliRoundTrip, OneAndTwoThreadsWriteTheSameBytes) {
  std::vector<TestPicture> pictures = FewColourPictures();
  pictures.push_back(PhotoLike());
  const std::vector<std::string> inputs = WriteInputs(folder_.Path(""), pictures);
  for (const char* preset : {"best", "window"}) {
    for (const char* extension : kExtensions) {
      SCOPED_TRACE(std::string(preset) + " " + extension);
      const std::string one = std::string(preset) + "-j1" + extension;
      const std::string two = std::string(preset) + "-j2" + extension;
      ASSERT_TRUE(ReduceInto(one, extension, {"--preset", preset, "-j", "1"}, inputs));
      ASSERT_TRUE(ReduceInto(two, extension, {"--preset", preset, "--threads", "2"}, inputs));
      for (const TestPicture& picture : pictures) {
        for (const char* kind : {"bmp", "png"}) {
          const std::vector<uint8_t> bytes = ReadWholeFile(OutputOf(one, picture, kind, extension));
          EXPECT_FALSE(bytes.empty());
          EXPECT_EQ(bytes, ReadWholeFile(OutputOf(two, picture, kind, extension)))
              << picture.name << " from " << kind;
        }
      }
    }
  }
}

// Names without a folder are taken from the current folder, as in the README's examples:
// a batch output lands beside its input, -o and --out-dir are relative too.
TEST_F(CliRoundTrip, RelativeNamesWorkFromTheCurrentFolder) {
  const std::vector<TestPicture> pictures = {FewColourPictures()[2]};
  fs::create_directories(Path("pics"));
  fs::create_directories(Path("reduced"));
  WriteInputs(Path("pics"), pictures);
  fs::copy_file(Path("pics/ramp_bmp.bmp"), Path("here.bmp"));
  ProcessOptions inFolder;
  inFolder.workingFolder = folder_.Path("");
  struct Case {
    std::vector<std::string> arguments;
    std::string written;
  };
  const Case cases[] = {
      {{"here.bmp"}, "herevk.bmp"},
      {{"pics/ramp_png.png", "--ext", ".gif"}, "pics/ramp_pngvk.gif"},
      {{"pics/ramp_bmp.bmp", "pics/ramp_png.png", "-d", "reduced", "--ext", "png"},
       "reduced/ramp_pngvk.png"},
      {{"here.bmp", "-o", "named.png"}, "named.png"},
      {{"here.bmp", "--suffix", "_256", "--out-dir", "reduced/"}, "reduced/here_256.bmp"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.written);
    const ProcessResult run = RunCli(c.arguments, inFolder);
    ASSERT_TRUE(run.exited && run.exitCode == 0) << run.Describe();
    const DecodedFile file = Decode(Path(c.written));
    EXPECT_EQ(file.width, pictures[0].width);
    EXPECT_EQ(file.height, pictures[0].height);
  }
  EXPECT_TRUE(fs::exists(Path("reduced/ramp_bmpvk.png")));
  // Nothing was written anywhere else: the inputs, the copy and the five outputs.
  int files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(folder_.folder())) {
    files += entry.is_regular_file() ? 1 : 0;
  }
  EXPECT_EQ(files, 2 + 1 + 6);
}

}  // namespace
}  // namespace genshoku::clitest
