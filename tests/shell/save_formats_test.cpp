#include "shell/save_formats.h"

#include <gif_lib.h>
#include <gtest/gtest.h>
#include <png.h>

#include "formats/bmp_layout.h"
#include "support_files.h"

namespace genshoku {
namespace {

using testing::ReadWholeFile;
using testing::ScratchFolder;

PictureState ReducedPicture(int width = 7, int height = 5) {
  return testing::ReducedPicture(width, height);
}

// Decodes with libpng, an independent decoder: palette and indices.
void ExpectPngHolds(const std::string& path, const PictureState& state) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_file(&image, path.c_str())) << image.message;
  EXPECT_EQ(image.width, static_cast<png_uint_32>(state.resultWidth));
  EXPECT_EQ(image.height, static_cast<png_uint_32>(state.resultHeight));
  EXPECT_EQ(image.colormap_entries, 256u);
  image.format = PNG_FORMAT_RGB_COLORMAP;
  std::vector<uint8_t> indices(PNG_IMAGE_SIZE(image));
  std::vector<uint8_t> colormap(PNG_IMAGE_COLORMAP_SIZE(image));
  ASSERT_TRUE(png_image_finish_read(&image, nullptr, indices.data(), 0, colormap.data()));
  EXPECT_EQ(indices, state.result.indices);
  for (int i = 0; i < 256; ++i) {
    EXPECT_EQ(colormap[3 * i], state.result.palette[i].red);
    EXPECT_EQ(colormap[3 * i + 1], state.result.palette[i].green);
    EXPECT_EQ(colormap[3 * i + 2], state.result.palette[i].blue);
  }
}

bool IsBmp8(const std::vector<uint8_t>& file) {
  return file.size() > 1078 && file[0] == 'B' && file[1] == 'M' && ReadLe16(&file[28]) == 8;
}

TEST(SaveResult, TheNamesExtensionChoosesTheWriter) {
  ScratchFolder folder;
  const PictureState state = ReducedPicture();
  for (const char* name : {"out.png", "out.PNG"}) {
    ASSERT_TRUE(SaveResult(state, folder.Path(name), name, SilentDiagnostics())) << name;
    ExpectPngHolds(folder.Path(name), state);
  }
  for (const char* name : {"out.Png", "out.txt", "noextension", "out.bmp", "out.BMP", "out.Gif"}) {
    ASSERT_TRUE(SaveResult(state, folder.Path(name), name, SilentDiagnostics())) << name;
    EXPECT_TRUE(IsBmp8(ReadWholeFile(folder.Path(name)))) << name;
  }
  // Only the name counts, not the folder.
  std::filesystem::create_directory(folder.Path("pics.png"));
  ASSERT_TRUE(SaveResult(state, folder.Path("pics.png/plain"), "plain", SilentDiagnostics()));
  EXPECT_TRUE(IsBmp8(ReadWholeFile(folder.Path("pics.png/plain"))));
}

TEST(SaveResult, GifFilesHoldOneLoopingImageWithTheWholePalette) {
  ScratchFolder folder;
  const PictureState state = ReducedPicture();
  const std::string path = folder.Path("out.gif");
  ASSERT_TRUE(SaveResult(state, path, "out.gif", SilentDiagnostics()));

  int error = 0;
  GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
  ASSERT_NE(gif, nullptr);
  ASSERT_EQ(DGifSlurp(gif), GIF_OK);
  EXPECT_EQ(gif->SWidth, 7);
  EXPECT_EQ(gif->SHeight, 5);
  ASSERT_EQ(gif->ImageCount, 1);
  ASSERT_NE(gif->SColorMap, nullptr);
  EXPECT_EQ(gif->SColorMap->ColorCount, 256);
  for (int i = 0; i < 256; ++i) {
    EXPECT_EQ(gif->SColorMap->Colors[i].Red, state.result.palette[i].red);
    EXPECT_EQ(gif->SColorMap->Colors[i].Green, state.result.palette[i].green);
    EXPECT_EQ(gif->SColorMap->Colors[i].Blue, state.result.palette[i].blue);
  }
  const SavedImage& image = gif->SavedImages[0];
  EXPECT_EQ(std::vector<uint8_t>(image.RasterBits, image.RasterBits + 35), state.result.indices);
  // giflib keeps the extensions that come before an image with that image.
  bool looping = false;
  int delay = -1;
  for (int i = 0; i < image.ExtensionBlockCount; ++i) {
    const ExtensionBlock& block = image.ExtensionBlocks[i];
    if (block.Function == APPLICATION_EXT_FUNC_CODE && block.ByteCount == 11 &&
        std::string(reinterpret_cast<char*>(block.Bytes), 11) == "NETSCAPE2.0" &&
        i + 1 < image.ExtensionBlockCount) {
      const ExtensionBlock& loop = image.ExtensionBlocks[i + 1];
      looping =
          loop.ByteCount == 3 && loop.Bytes[0] == 1 && loop.Bytes[1] == 0 && loop.Bytes[2] == 0;
    }
    GraphicsControlBlock control;
    if (block.Function == GRAPHICS_EXT_FUNC_CODE &&
        DGifExtensionToGCB(block.ByteCount, block.Bytes, &control) == GIF_OK) {
      delay = control.DelayTime;
    }
  }
  EXPECT_TRUE(looping) << "looping extension with loop count 0";
  EXPECT_EQ(delay, 10);
  DGifCloseFile(gif, &error);
}

TEST(SaveResult, GifRefusesPicturesItsHeaderCannotDescribe) {
  ScratchFolder folder;
  const PictureState state = ReducedPicture(65536, 1);
  CapturedDiagnostics diagnostics;
  EXPECT_FALSE(SaveResult(state, folder.Path("wide.gif"), "wide.gif", diagnostics));
  EXPECT_FALSE(std::filesystem::exists(folder.Path("wide.gif")));
  EXPECT_EQ(diagnostics.Text(DiagnosticStream::Err).rfind(folder.Path("wide.gif"), 0), 0u);
}

TEST(SaveResult, FailedWritesKeepThePreviousFile) {
  ScratchFolder folder;
  const PictureState state = ReducedPicture();
  for (const char* name : {"dir.png", "dir.gif", "dir.bmp"}) {
    std::filesystem::create_directory(folder.Path(name));
    CapturedDiagnostics diagnostics;
    EXPECT_FALSE(SaveResult(state, folder.Path(name), name, diagnostics)) << name;
    EXPECT_TRUE(std::filesystem::is_directory(folder.Path(name)));
    EXPECT_NE(diagnostics.Text(DiagnosticStream::Err).find(name), std::string::npos)
        << diagnostics.AllText();
  }
  PictureState nothing;  // no result yet
  for (const char* name : {"x.png", "x.gif", "x.bmp"}) {
    EXPECT_FALSE(SaveResult(nothing, folder.Path(name), name, SilentDiagnostics())) << name;
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.folder()), {}), 3);
}

}  // namespace
}  // namespace genshoku
