#include "shell/reduction_entry.h"

#include <gtest/gtest.h>

#include "formats/bmp_layout.h"
#include "shell/bmp_file.h"
#include "support_files.h"

namespace genshoku {
namespace {

using testing::MakeBmp24;
using testing::Rgb;
using testing::ScratchFolder;
using testing::TestPattern;
using testing::WriteWholeFile;

void ExpectPlanesMatchPattern(const ColourPlanes& planes, int width, int height) {
  ASSERT_EQ(planes.width, width);
  ASSERT_EQ(planes.height, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const size_t i = static_cast<size_t>(y) * width + x;
      EXPECT_EQ((Rgb{planes.red[i], planes.green[i], planes.blue[i]}), TestPattern(x, y))
          << "width " << width << " pixel " << x << "," << y;
    }
  }
}

TEST(ReadBmpPlanes, SkipsRowPaddingAndFollowsTheRowOrderAndPixelOffset) {
  ScratchFolder folder;
  const std::string path = folder.Path("in.bmp");
  for (int width = 1; width <= 7; ++width) {
    for (bool topDown : {false, true}) {
      WriteWholeFile(path, MakeBmp24(width, 3, TestPattern, topDown, topDown ? 1078 : 54));
      ColourPlanes planes;
      ASSERT_TRUE(ReadBmpPlanes(path, planes, SilentDiagnostics()));
      ExpectPlanesMatchPattern(planes, width, 3);
    }
  }
}

// A file cut short, gone, or no longer of 24 bits since its drop: one line each, no planes.
TEST(ReadBmpPlanes, AShortVanishedOrChangedFileIsRefused) {
  ScratchFolder folder;
  std::vector<uint8_t> shortFile = MakeBmp24(5, 5, TestPattern);
  shortFile.resize(shortFile.size() - 3);
  WriteWholeFile(folder.Path("short.bmp"), shortFile);
  ColourPlanes planes;
  CapturedDiagnostics diagnostics;
  EXPECT_FALSE(ReadBmpPlanes(folder.Path("short.bmp"), planes, diagnostics));
  EXPECT_EQ(diagnostics.Text(DiagnosticStream::Err), "InputFileSizeError!!!\n");
  EXPECT_TRUE(planes.red.empty());
  EXPECT_FALSE(ReadBmpPlanes(folder.Path("gone.bmp"), planes, diagnostics));
  std::vector<uint8_t> eightBit = MakeBmp24(4, 4, TestPattern);
  WriteLe16(&eightBit[28], 8);
  WriteWholeFile(folder.Path("eight.bmp"), eightBit);
  EXPECT_FALSE(ReadBmpPlanes(folder.Path("eight.bmp"), planes, diagnostics));
  EXPECT_EQ(diagnostics.lines().size(), 3u);
}

TEST(SplitRowsIntoPlanes, ReadsTheImageBlockBottomRowFirst) {
  for (int width = 1; width <= 5; ++width) {
    const std::vector<uint8_t> bytes = MakeBmp24(width, 4, TestPattern);
    ColourPlanes planes;
    SplitRowsIntoPlanes(bytes.data() + 54, width, 4, planes);
    ExpectPlanesMatchPattern(planes, width, 4);
  }
}

// The engine's output becomes the 8-bit result: colour table from the palette, rows from
// the indices with the top-left pixel at the start of the last stored row.
TEST(ApplyReduction, BuildsTheResultBlockFromPaletteAndIndices) {
  PictureState state;
  MakeImageBlock24(state, 3, 2);
  ReductionOutput output;
  output.result = ReduceResult::Ok;
  output.picture.width = 3;
  output.picture.height = 2;
  output.picture.indices = {1, 2, 3, 4, 5, 6};  // top row 1 2 3, bottom row 4 5 6
  output.picture.palette.resize(256);
  output.picture.palette[7] = {10, 20, 30, 255};
  ApplyReduction(state, std::move(output));

  EXPECT_TRUE(state.resultReady);
  EXPECT_FALSE(state.imageBlockOwned());
  EXPECT_EQ(state.resultWidth, 3);
  EXPECT_EQ(state.resultHeight, 2);
  const std::vector<uint8_t>& block = state.resultBlock;
  ASSERT_EQ(block.size(), 1064u + 4 * 2);
  EXPECT_EQ(ReadLe16(&block[14]), 8);
  EXPECT_EQ(std::vector<uint8_t>(block.begin() + 40 + 28, block.begin() + 40 + 32),
            (std::vector<uint8_t>{30, 20, 10, 0}));
  EXPECT_EQ(std::vector<uint8_t>(block.begin() + 1064, block.end()),
            (std::vector<uint8_t>{4, 5, 6, 0, 1, 2, 3, 0}));
  EXPECT_EQ(state.View().info, block.data());
  EXPECT_EQ(state.View().bits, block.data() + 1064);
}

// A dropped top-down BMP file, read again from disk and reduced: the result is what the
// pipeline makes of the file's pixels (built here from the pattern, not from the file),
// laid out as an 8-bit picture whose colour table is the palette and whose rows, bottom
// row first, hold the indices.
TEST(RunReduction, ReducesADroppedBmpFileIntoTheResultOfItsPixels) {
  ScratchFolder folder;
  const std::string path = folder.Path("photo.bmp");
  const int width = 7, height = 5;
  WriteWholeFile(path, MakeBmp24(width, height, TestPattern, true));
  PictureState state;
  ASSERT_EQ(LoadBmpFile(state, path, SilentDiagnostics()), LoadResult::Loaded);
  state.sourceKind = SourceKind::BmpFile;
  EngineServices services;
  services.diagnostics = &SilentDiagnostics();
  ASSERT_EQ(RunReduction(state, path, services), ReduceResult::Ok);
  ASSERT_TRUE(state.resultReady);

  ReductionJob job;
  job.planes.width = width;
  job.planes.height = height;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const Rgb colour = TestPattern(x, y);
      job.planes.red.push_back(colour.r);
      job.planes.green.push_back(colour.g);
      job.planes.blue.push_back(colour.b);
    }
  }
  const ReductionOutput expected = ExecuteReduction(job, services);
  ASSERT_EQ(expected.result, ReduceResult::Ok);
  EXPECT_EQ(state.result.indices, expected.picture.indices);
  EXPECT_TRUE(state.result.palette == expected.picture.palette);

  const std::vector<uint8_t>& block = state.resultBlock;
  const size_t stride = 8;
  ASSERT_EQ(block.size(), 1064u + stride * height);
  EXPECT_EQ(static_cast<int32_t>(ReadLe32(&block[4])), width);
  EXPECT_EQ(static_cast<int32_t>(ReadLe32(&block[8])), height) << "stored bottom-up";
  EXPECT_EQ(ReadLe16(&block[14]), 8);
  for (int i = 0; i < 256; ++i) {
    const Rgba entry = expected.picture.palette[i];
    const uint8_t* stored = &block[40 + 4 * i];
    ASSERT_EQ((std::vector<uint8_t>(stored, stored + 4)),
              (std::vector<uint8_t>{entry.blue, entry.green, entry.red, 0}))
        << "entry " << i;
  }
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      EXPECT_EQ(block[1064 + stride * (height - 1 - y) + x],
                expected.picture.indices[y * width + x])
          << x << "," << y;
    }
  }
}

TEST(RunReduction, AFileShortAtReductionTimeLeavesThePictureAlone) {
  ScratchFolder folder;
  const std::string path = folder.Path("photo.bmp");
  std::vector<uint8_t> bytes = MakeBmp24(6, 6, TestPattern);
  WriteWholeFile(path, bytes);
  PictureState state;
  ASSERT_EQ(LoadBmpFile(state, path, SilentDiagnostics()), LoadResult::Loaded);
  bytes.resize(100);
  WriteWholeFile(path, bytes);
  CapturedDiagnostics diagnostics;
  EngineServices services;
  services.diagnostics = &diagnostics;
  EXPECT_NE(RunReduction(state, path, services), ReduceResult::Ok);
  EXPECT_FALSE(state.resultReady);
  EXPECT_TRUE(state.imageBlockOwned());
  EXPECT_EQ(diagnostics.Text(DiagnosticStream::Err), "InputFileSizeError!!!\n");
}

}  // namespace
}  // namespace genshoku
