#include "shell/bmp_file.h"

#include <gtest/gtest.h>

#include "formats/bmp_layout.h"
#include "support_files.h"

namespace genshoku {
namespace {

using testing::MakeBmp24;
using testing::ReadWholeFile;
using testing::ScratchFolder;
using testing::TestPattern;
using testing::WriteWholeFile;

TEST(ImageBlock24, HeadersAndRowPaddingFollowTheWidth) {
  for (const auto& [width, stride] : {std::pair{1, 4}, {2, 8}, {3, 12}, {4, 12}, {5, 16}}) {
    PictureState state;
    MakeImageBlock24(state, width, 3);
    const std::vector<uint8_t>& block = state.imageBlock;
    ASSERT_EQ(block.size(), 54u + stride * 3) << "width " << width;
    EXPECT_EQ(block[0], 'B');
    EXPECT_EQ(block[1], 'M');
    EXPECT_EQ(ReadLe32(&block[2]), block.size());
    EXPECT_EQ(ReadLe32(&block[6]), 0u);
    EXPECT_EQ(ReadLe32(&block[10]), 54u);
    EXPECT_EQ(ReadLe32(&block[14]), 40u);
    EXPECT_EQ(static_cast<int32_t>(ReadLe32(&block[18])), width);
    EXPECT_EQ(static_cast<int32_t>(ReadLe32(&block[22])), 3);
    EXPECT_EQ(ReadLe16(&block[26]), 1);
    EXPECT_EQ(ReadLe16(&block[28]), 24);
    for (size_t offset = 30; offset < 54; ++offset) EXPECT_EQ(block[offset], 0) << offset;
    const DisplayView view = state.View();
    EXPECT_EQ(view.info, block.data() + 14);
    EXPECT_EQ(view.bits, block.data() + 54);
  }
}

TEST(LoadBmpFile, KeepsTheFileAsStoredAndFollowsItsPixelOffset) {
  ScratchFolder folder;
  const std::vector<uint8_t> bytes = MakeBmp24(3, 2, TestPattern, false, 70);
  WriteWholeFile(folder.Path("a.bmp"), bytes);
  PictureState state;
  ASSERT_EQ(LoadBmpFile(state, folder.Path("a.bmp"), SilentDiagnostics()), LoadResult::Loaded);
  EXPECT_EQ(state.imageBlock, bytes);
  EXPECT_EQ(state.imageWidth, 3);
  EXPECT_EQ(state.imageHeight, 2);
  EXPECT_EQ(state.inputBitDepth, 24);
  EXPECT_TRUE(state.imageVisible);
  EXPECT_EQ(state.View().bits, state.imageBlock.data() + 70);
  EXPECT_EQ(state.View().info, state.imageBlock.data() + 14);
}

TEST(LoadBmpFile, OtherBitDepthsAreShownButCountAsEightBit) {
  ScratchFolder folder;
  for (int bits : {1, 4, 8, 16, 32}) {
    std::vector<uint8_t> bytes = MakeBmp24(4, 4, TestPattern);
    WriteLe16(&bytes[28], static_cast<uint16_t>(bits));
    bytes.resize(bytes.size() + 64, 0);  // room for the wider rows of 32 bits
    WriteWholeFile(folder.Path("a.bmp"), bytes);
    PictureState state;
    ASSERT_EQ(LoadBmpFile(state, folder.Path("a.bmp"), SilentDiagnostics()), LoadResult::Loaded)
        << bits;
    EXPECT_EQ(state.inputBitDepth, 8) << bits;
  }
}

// Files that are not BMP pictures leave the current picture alone and say which file.
TEST(LoadBmpFile, RefusesWhatIsNotABmpPicture) {
  ScratchFolder folder;
  const std::vector<uint8_t> good = MakeBmp24(4, 3, TestPattern);
  struct Case {
    const char* what;
    std::function<void(std::vector<uint8_t>&)> spoil;
  };
  const Case cases[] = {
      {"empty", [](auto& b) { b.clear(); }},
      {"signature", [](auto& b) { b[0] = 'P'; }},
      {"short info header", [](auto& b) { WriteLe32(&b[14], 12); }},
      {"zero width", [](auto& b) { WriteLe32(&b[18], 0); }},
      {"negative width", [](auto& b) { WriteLe32(&b[18], static_cast<uint32_t>(-4)); }},
      {"zero height", [](auto& b) { WriteLe32(&b[22], 0); }},
      {"truncated rows", [](auto& b) { b.resize(b.size() - 1); }},
      {"offset past the end", [](auto& b) { WriteLe32(&b[10], 5000); }},
      {"run-length compression", [](auto& b) { WriteLe32(&b[30], 1); }},
      {"odd bit depth", [](auto& b) { WriteLe16(&b[28], 7); }},
      {"too many pixels",
       [](auto& b) {
         WriteLe32(&b[18], 20000);
         WriteLe32(&b[22], 20000);
       }},
      {"header only", [](auto& b) { b.resize(30); }},
  };
  PictureState state;
  ASSERT_EQ(LoadBmpFile(state, folder.Path("none.bmp"), SilentDiagnostics()),
            LoadResult::CannotOpen);
  WriteWholeFile(folder.Path("good.bmp"), good);
  ASSERT_EQ(LoadBmpFile(state, folder.Path("good.bmp"), SilentDiagnostics()), LoadResult::Loaded);
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes = good;
    c.spoil(bytes);
    const std::string path = folder.Path("bad.bmp");
    WriteWholeFile(path, bytes);
    CapturedDiagnostics diagnostics;
    EXPECT_EQ(LoadBmpFile(state, path, diagnostics), LoadResult::Refused) << c.what;
    EXPECT_EQ(state.imageBlock, good) << c.what;
    ASSERT_EQ(diagnostics.lines().size(), 1u) << c.what;
    EXPECT_EQ(diagnostics.lines()[0].stream, DiagnosticStream::Err);
    EXPECT_EQ(diagnostics.lines()[0].text.rfind(path + ": ", 0), 0u) << diagnostics.AllText();
  }
}

}  // namespace
}  // namespace genshoku
