// The writer's bytes and its behaviour around files: exact sequences where the format
// leaves no freedom, the code stream traced code by code, and what a failed write leaves.

#include "codecs/gif/gif_writer.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "codecs/gif/gif_reader.h"
#include "common/diagnostics.h"
#include "gif_test_support.h"

namespace genshoku {
namespace {

namespace fs = std::filesystem;
using giftest::Bytes;

const Bytes kLooping = {0x21, 0xFF, 0x0B, 'N', 'E', 'T', 'S',  'C',
                        'A',  'P',  'E',  '2', '.', '0', 0x03, 0x01};

bool Contains(const Bytes& haystack, const Bytes& needle) {
  return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) !=
         haystack.end();
}

// Writes the given frames (width x height indices each) in memory.
Bytes WriteInMemory(int width, int height, const Bytes& palette, int depth, int loop,
                    const std::vector<Bytes>& frames, uint16_t delay = 10) {
  Bytes out;
  CapturedDiagnostics diagnostics;
  auto writer = GifWriter::Create(out, width, height, palette.data(), depth, loop, diagnostics);
  EXPECT_NE(writer, nullptr);
  if (!writer) return {};
  for (const Bytes& frame : frames) {
    std::copy(frame.begin(), frame.end(), writer->currentFrame());
    EXPECT_TRUE(writer->WriteFrame(delay));
  }
  EXPECT_TRUE(writer->Finish());
  EXPECT_EQ(diagnostics.AllText(), "");
  return out;
}

TEST(GifWriterBytes, TheOnePixelFileByteForByteAndBack) {
  Bytes palette(768);
  for (size_t i = 0; i < palette.size(); ++i) palette[i] = static_cast<uint8_t>(i * 7);
  const Bytes file = WriteInMemory(1, 1, palette, 8, 0, {{7}});
  Bytes expected = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0xF7, 0, 0};
  expected.insert(expected.end(), palette.begin(), palette.end());
  expected.insert(expected.end(), kLooping.begin(), kLooping.end());
  expected.insert(expected.end(), {0, 0, 0});                                // loop count 0
  expected.insert(expected.end(), {0x21, 0xF9, 4, 0x04, 10, 0, 0, 0});       // delay 10
  expected.insert(expected.end(), {0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0});        // whole screen
  expected.insert(expected.end(), {8, 4, 0x00, 0x0F, 0x04, 0x04, 0, 0x3B});  // 256, 7, 257
  EXPECT_EQ(file, expected);

  CapturedDiagnostics diagnostics;
  auto reader = GifReader::OpenMemory(file.data(), file.size(), diagnostics);
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(reader->NextImage(), GifReader::kImageRead);
  EXPECT_EQ(reader->screenIndices(), Bytes{7});
  Bytes rgb(3);
  reader->Render(rgb.data());
  EXPECT_EQ(rgb, (Bytes{147, 154, 161}));
  EXPECT_EQ(reader->NextImage(), GifReader::kTrailer);
  EXPECT_EQ(diagnostics.AllText(), "");
}

TEST(GifWriterBytes, LoopingAndControlExtensionsOnlyWhenAsked) {
  const Bytes palette(12, 1);
  const Bytes frame = {1, 2, 3, 0};
  EXPECT_TRUE(Contains(WriteInMemory(2, 2, palette, 2, 0, {frame}), kLooping));
  EXPECT_TRUE(Contains(WriteInMemory(2, 2, palette, 2, 65535, {frame}),
                       Bytes{'2', '.', '0', 3, 1, 0xFF, 0xFF, 0}));
  for (int loop : {-1, 65536}) {
    EXPECT_FALSE(Contains(WriteInMemory(2, 2, palette, 2, loop, {frame}), Bytes{'N', 'E', 'T'}));
  }
  // Without a delay no control extension: header, table of 4 entries, and the image.
  const Bytes still = WriteInMemory(2, 2, palette, 2, -1, {frame}, 0);
  EXPECT_FALSE(Contains(still, Bytes{0x21, 0xF9}));
  EXPECT_EQ(still[10], 0xF1);
  EXPECT_EQ(still[6 + 7 + 12], 0x2C);
}

TEST(GifWriterBytes, OneBitPicturesGetTwoBitCodes) {
  // A two-entry table, the image right after it, minimum code size 2, and the codes
  // clear (4), 1, 0, 1, stop (5) at 3 bits: 100 001 000 001 101.
  const Bytes file = WriteInMemory(3, 1, {0, 0, 0, 255, 255, 255}, 1, -1, {{1, 0, 1}}, 0);
  EXPECT_EQ(file[10], 0xF0);
  EXPECT_EQ(Bytes(file.begin() + 19, file.end()),
            (Bytes{0x2C, 0, 0, 0, 0, 3, 0, 1, 0, 0, 2, 2, 0x0C, 0x52, 0, 0x3B}));
}

TEST(GifWriterBytes, LaterFramesAreTheRectangleThatChanged) {
  const int width = 6, height = 5;
  const Bytes first = giftest::MakeIndices(width * height, 16, 3);
  Bytes second = first;
  second[1 * width + 4] ^= 1;
  second[3 * width + 2] ^= 2;
  const Bytes file =
      WriteInMemory(width, height, giftest::MakePalette(16, 1), 4, -1, {first, second, second}, 0);
  // Whole screen, then columns 2..4 of rows 1..3, then the single pixel at (0, 0).
  EXPECT_TRUE(Contains(file, Bytes{0x2C, 0, 0, 0, 0, width, 0, height, 0, 0}));
  EXPECT_TRUE(Contains(file, Bytes{0x2C, 2, 0, 1, 0, 3, 0, 3, 0, 0}));
  EXPECT_TRUE(Contains(file, Bytes{0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0, 4}));
  const giftest::OracleFile decoded = giftest::DecodeWithGiflib(file);
  ASSERT_EQ(decoded.images.size(), 3u);
  EXPECT_EQ(decoded.images[2].raster, Bytes{second[0]});
}

TEST(GifWriterBytes, FullSubBlocksAndAClearOnceAllCodesAreTaken) {
  // Noise over 256 colours runs through 4096 codes many times over.
  const Bytes frame = giftest::MakeIndices(256 * 200, 256, 11);
  const Bytes file = WriteInMemory(256, 200, giftest::MakePalette(256, 2), 8, -1, {frame}, 0);
  const size_t dataStart = 13 + 768 + 10;
  ASSERT_EQ(file[dataStart], 8);
  const Bytes framed(file.begin() + static_cast<ptrdiff_t>(dataStart) + 1, file.end());
  size_t at = 0, blocks = 0;
  for (; framed[at] != 0; at += framed[at] + 1u, ++blocks) {
    if (framed[at + framed[at] + 1] != 0) {
      EXPECT_EQ(framed[at], 255) << "sub-block " << blocks;
    }
  }
  EXPECT_GT(blocks, 10u);
  EXPECT_EQ(Bytes(framed.begin() + static_cast<ptrdiff_t>(at), framed.end()), (Bytes{0, 0x3B}));

  // 3839 codes after a clear fill entries 258..4095; the next code goes at 12 bits and the
  // clear right after it, then codes are 9 bits again.
  const std::vector<giftest::TracedCode> codes = giftest::TraceCodes(framed, 8);
  int clears = 0, sinceClear = 0;
  for (size_t i = 1; i < codes.size(); ++i, ++sinceClear) {
    if (codes[i].code != 256) continue;
    EXPECT_EQ(sinceClear, 3839);
    EXPECT_EQ(codes[i].width, 12);
    EXPECT_EQ(codes[i - 1].width, 12);
    ASSERT_LT(i + 1, codes.size());
    EXPECT_EQ(codes[i + 1].width, 9);
    ++clears, sinceClear = -1;
  }
  EXPECT_GE(clears, 2);
  EXPECT_EQ(codes.back().code, 257);
  EXPECT_EQ(giftest::DecodeWithGiflib(file).images.at(0).raster, frame);
}

TEST(GifWriterBytes, RefusesSizesAndDepthsAGifCannotHold) {
  const Bytes palette(768, 0);
  const int cases[][3] = {{65536, 1, 8}, {1, 70000, 8}, {0, 5, 8},
                          {5, -1, 8},    {4, 4, 0},     {4, 4, 9}};
  for (const auto& [width, height, depth] : cases) {
    Bytes out;
    CapturedDiagnostics diagnostics;
    EXPECT_EQ(GifWriter::Create(out, width, height, palette.data(), depth, 0, diagnostics),
              nullptr);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(diagnostics.lines().size(), 1u);
    EXPECT_EQ(diagnostics.Text(DiagnosticStream::Out), "");
  }
  Bytes out;
  EXPECT_NE(GifWriter::Create(out, 65535, 1, palette.data(), 8, 0, SilentDiagnostics()), nullptr);
}

class GifWriterFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "gifwriter-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
  }
  void TearDown() override { fs::remove_all(folder_); }

  std::string Path(const std::string& name) const { return (folder_ / name).string(); }
  static Bytes Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
  }
  static void Put(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }
  size_t EntryCount() const {
    return static_cast<size_t>(std::distance(fs::directory_iterator(folder_), {}));
  }

  fs::path folder_;
};

TEST_F(GifWriterFiles, WritesTheSameBytesToAFileAsToMemoryAndOnlyWhenFinished) {
  // Large enough for the reader to go through the file in several windows.
  const int width = 400, height = 300;
  const Bytes palette = giftest::MakePalette(256, 9);
  Bytes frame(size_t(width) * height);
  giftest::Random random(4);
  for (uint8_t& index : frame) index = static_cast<uint8_t>(random.Next());
  const Bytes memory = WriteInMemory(width, height, palette, 8, 0, {frame});
  ASSERT_GT(memory.size(), 2u << 16);
  auto writer = GifWriter::Create(Path("out.gif"), width, height, palette.data(), 8, 0);
  ASSERT_NE(writer, nullptr);
  std::copy(frame.begin(), frame.end(), writer->currentFrame());
  ASSERT_TRUE(writer->WriteFrame(10));
  EXPECT_FALSE(fs::exists(Path("out.gif")));  // nothing under the name before Finish
  ASSERT_TRUE(writer->Finish());
  EXPECT_EQ(Contents(Path("out.gif")), memory);
  EXPECT_EQ(EntryCount(), 1u);

  CapturedDiagnostics diagnostics;
  auto reader = GifReader::Open(Path("out.gif"), diagnostics);
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(reader->NextImage(), GifReader::kImageRead);
  EXPECT_EQ(reader->screenIndices(), frame);
  EXPECT_EQ(reader->NextImage(), GifReader::kTrailer);
  reader->Close();
  EXPECT_EQ(reader->NextImage(), GifReader::kError);
  EXPECT_EQ(GifReader::Open(Path("missing.gif"), diagnostics), nullptr);
  EXPECT_EQ(diagnostics.AllText(), "");

  // A writer left unfinished writes nothing, to a file or to memory.
  Put(Path("keep.gif"), "old");
  Bytes kept = {1, 2, 3};
  for (bool toFile : {true, false}) {
    auto unfinished = toFile ? GifWriter::Create(Path("keep.gif"), 8, 8, palette.data(), 8, 0)
                             : GifWriter::Create(kept, 8, 8, palette.data(), 8, 0);
    ASSERT_TRUE(unfinished->WriteFrame(0));
  }
  EXPECT_EQ(Contents(Path("keep.gif")), (Bytes{'o', 'l', 'd'}));
  EXPECT_EQ(kept, (Bytes{1, 2, 3}));
  EXPECT_EQ(EntryCount(), 2u);
}

TEST_F(GifWriterFiles, AFailedWriteLeavesThePreviousFileAndOneLine) {
  // A picture large enough to fail while the frame is written, and one small enough to
  // fail only when the file is completed; then names that cannot be written at all.
  const Bytes palette = giftest::MakePalette(256, 5);
  for (int side : {400, 60}) {
    const std::string target = Path("picture.gif");
    Put(target, "previous");
    CapturedDiagnostics diagnostics;
    struct rlimit saved;
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limited = saved;
    limited.rlim_cur = 2048;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    bool good = false;
    if (auto writer = GifWriter::Create(target, side, side, palette.data(), 8, 0, diagnostics)) {
      const Bytes frame = giftest::MakeIndices(size_t(side) * side, 256, 8);
      std::copy(frame.begin(), frame.end(), writer->currentFrame());
      const bool framed = writer->WriteFrame(10);
      good = writer->Finish() && framed;
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, previousHandler);
    EXPECT_FALSE(good) << side;
    EXPECT_EQ(diagnostics.lines().size(), 1u) << diagnostics.AllText();
    EXPECT_NE(diagnostics.Text(DiagnosticStream::Err).find("picture.gif"), std::string::npos);
    EXPECT_EQ(Contents(target), (Bytes{'p', 'r', 'e', 'v', 'i', 'o', 'u', 's'}));
    EXPECT_EQ(EntryCount(), 1u);
  }
  for (const std::string& name : {Path("missing/out.gif"), folder_.string()}) {
    CapturedDiagnostics diagnostics;
    EXPECT_EQ(GifWriter::Create(name, 2, 2, palette.data(), 8, 0, diagnostics), nullptr);
    EXPECT_EQ(diagnostics.lines().size(), 1u) << name;
  }
  EXPECT_EQ(
      GifWriter::Create(Path("wide.gif"), 70000, 2, palette.data(), 8, 0, SilentDiagnostics()),
      nullptr);
  EXPECT_EQ(EntryCount(), 1u);
}

}  // namespace
}  // namespace genshoku
