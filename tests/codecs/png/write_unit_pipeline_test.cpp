// Units of rows prepared on a second thread: the same stream and the same lines as when
// the writing thread makes every unit itself, and a pipeline that can be left at any point.
#include <gtest/gtest.h>

#include <string>

#include "codecs/png/png_encoder_stream.h"
#include "codecs/png/png_unit_pipeline.h"
#include "support_write_png.h"

namespace genshoku::png {
namespace {

using namespace pngtest;

struct Stream {
  Bytes bytes;
  std::string lines;
};

Stream BuildStream(const Bytes& rows, int64_t height, int64_t bytesPerRow, int threads,
                   int storeOnly = 0) {
  CapturedDiagnostics captured;
  PngStreamOptions options;
  options.threads = threads;
  options.storeOnly = storeOnly;
  Stream stream;
  stream.bytes = BuildPngZlibStream(rows.data(), height, bytesPerRow, options, captured);
  stream.lines = captured.AllText();
  return stream;
}

Bytes FilteredRows(const Bytes& rows, int64_t height, int64_t bytesPerRow) {
  Bytes filtered;
  FillUnitBytes(rows.data(), 0, height, bytesPerRow, filtered);
  return filtered;
}

// Gradient rows, ending in a row of noise: a short last unit that falls back to a
// stored block.
Bytes MixedRows(int width, int height) {
  Bytes rows = GradientIndexPicture(width, height, 17);
  const Bytes noise = RandomBytes(static_cast<size_t>(width), 18);
  std::copy(noise.begin(), noise.end(), rows.end() - static_cast<ptrdiff_t>(noise.size()));
  return rows;
}

TEST(WriteUnitPipeline, TokensMadeAheadGiveTheSameStreamAndLines) {
  const int width = 500;
  const int height = 256 * 3 + 1;
  const Bytes rows = MixedRows(width, height);
  const Stream alone = BuildStream(rows, height, width, 1);
  const Stream ahead = BuildStream(rows, height, width, 2);
  EXPECT_EQ(ahead.bytes, alone.bytes);
  EXPECT_EQ(ahead.lines, alone.lines);
  // The noise unit really went out stored, and the stream holds the rows.
  EXPECT_NE(alone.lines.find("zLib Block nByte=501 bFinal=1"), std::string::npos);
  Bytes inflated;
  ASSERT_TRUE(ZlibInflate(alone.bytes, inflated));
  EXPECT_EQ(inflated, FilteredRows(rows, height, width));

  // Storing only never starts the second thread, and gives the same either way.
  EXPECT_EQ(BuildStream(rows, height, width, 2, 1).bytes,
            BuildStream(rows, height, width, 1, 1).bytes);
}

TEST(WriteUnitPipeline, LargePicturesTakeTheSecondThreadByDefaultWithTheSameResult) {
  const int width = 1100;
  const int height = 1000;  // above the size from which tokens are made ahead
  ASSERT_GE(static_cast<int64_t>(height) * (width + 1), kTokenizeAheadBytes);
  const Bytes rows = GradientIndexPicture(width, height, 23);
  const Stream automatic = BuildStream(rows, height, width, 0);
  const Stream alone = BuildStream(rows, height, width, 1);
  EXPECT_EQ(automatic.bytes, alone.bytes);
  EXPECT_EQ(automatic.lines, alone.lines);
}

TEST(WriteUnitPipeline, UnitsComeInOrderAndThePipelineCanBeLeftEarly) {
  const int width = 300;
  const int height = 256 * 4 + 2;
  const Bytes rows = MixedRows(width, height);
  {
    PngUnitPipeline pipeline(rows.data(), height, width, 256);
    ASSERT_TRUE(pipeline.Start());
    for (int64_t first = 0; first < height; first += 256) {
      const PreparedUnit& unit = pipeline.Take();
      Bytes expected;
      FillUnitBytes(rows.data(), first, std::min<int64_t>(256, height - first), width, expected);
      ASSERT_EQ(unit.bytes, expected);
      Lz77Tokens tokens;
      Lz77Tokenize(expected.data(), expected.size(), tokens);
      ASSERT_EQ(unit.tokens.count, tokens.count);
      EXPECT_TRUE(std::equal(tokens.symbol.begin(), tokens.symbol.begin() + tokens.count,
                             unit.tokens.symbol.begin()));
      EXPECT_TRUE(std::equal(tokens.copy.begin(), tokens.copy.begin() + tokens.count,
                             unit.tokens.copy.begin()));
      pipeline.Release();
    }
  }
  // Left after one unit, left before any, and never started: each ends without waiting for
  // units nobody takes.
  for (int taken : {1, 0}) {
    PngUnitPipeline pipeline(rows.data(), height, width, 256);
    ASSERT_TRUE(pipeline.Start());
    for (int i = 0; i < taken; ++i) {
      pipeline.Take();
      pipeline.Release();
    }
  }
  PngUnitPipeline idle(rows.data(), height, width, 256);
}

}  // namespace
}  // namespace genshoku::png
