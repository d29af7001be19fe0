// Reading every picture with its transparency (the best preset's reading) beside the
// window's reading: GIF transparency and the image --frame chooses, BMP alpha masks, PNG
// formats the window does not read. The PNG pixels themselves are checked against libpng
// in the codec's tests.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../codecs/gif/gif_test_support.h"
#include "formats/bmp_layout.h"
#include "pipeline/load_picture.h"
#include "pipeline/presets.h"

namespace genshoku {
namespace {

using Bytes = std::vector<uint8_t>;

ReadOptions EveryFormat(int gifImage = 0) {
  ReadOptions options;
  options.refuseDamaged = true;
  SetPresetFileReading(Preset::Best, options);
  options.gifImage = gifImage;
  return options;
}

struct Loaded {
  LoadStatus status;
  RgbaPicture picture;
  std::string err;
};

Loaded Load(const Bytes& file, const ReadOptions& options) {
  CapturedDiagnostics diagnostics;
  LoadedPicture loaded;
  const LoadStatus status = LoadPictureBytes(file.data(), file.size(), "in.x", std::nullopt,
                                             &loaded, diagnostics, options);
  return {status, loaded.picture, diagnostics.Text(DiagnosticStream::Err)};
}

// A 4 x 2 screen: image 0 covers the left half with index 1 transparent, image 1 the
// right half, opaque; the screen's background is entry 2.
Bytes TwoImageGif() {
  giftest::OracleFile file;
  file.width = 4;
  file.height = 2;
  file.palette = {10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120};
  file.background = 2;
  giftest::OracleImage left = giftest::ImageAt(0, 0, 2, 2, {0, 1, 1, 0});
  left.disposal = 1;
  left.transparent = 1;
  giftest::OracleImage right = giftest::ImageAt(2, 0, 2, 2, {3, 3, 0, 3});
  right.disposal = 1;
  file.images = {left, right};
  return giftest::EncodeWithGiflib(file);
}

std::vector<uint8_t> Alphas(const RgbaPicture& picture) {
  std::vector<uint8_t> alphas;
  for (const Rgba& pixel : picture.pixels) alphas.push_back(pixel.alpha);
  return alphas;
}

TEST(EveryFormat, GifTransparencyAndTheChosenImage) {
  const Bytes gif = TwoImageGif();
  ASSERT_FALSE(gif.empty());
  // The first image: its transparent pixels and what it does not cover are transparent.
  const Loaded first = Load(gif, EveryFormat(0));
  ASSERT_EQ(first.status, LoadStatus::Ok) << first.err;
  EXPECT_EQ(Alphas(first.picture), (std::vector<uint8_t>{255, 0, 0, 0, 0, 255, 0, 0}));
  EXPECT_EQ(first.picture.pixels[0], (Rgba{10, 20, 30, 255}));
  // The second image is drawn over the first, as a viewer shows it.
  const Loaded second = Load(gif, EveryFormat(1));
  ASSERT_EQ(second.status, LoadStatus::Ok) << second.err;
  EXPECT_EQ(Alphas(second.picture), (std::vector<uint8_t>{255, 0, 255, 255, 0, 255, 255, 255}));
  EXPECT_EQ(second.picture.pixels[2], (Rgba{100, 110, 120, 255}));
  // There is no third image.
  const Loaded third = Load(gif, EveryFormat(2));
  EXPECT_EQ(third.status, LoadStatus::NotReadable);
  EXPECT_EQ(third.err, "in.x: the file has 2 images, not an image 2\n");
  // The window's reading: opaque, over the background colour.
  const Loaded window = Load(gif, {});
  ASSERT_EQ(window.status, LoadStatus::Ok);
  EXPECT_EQ(Alphas(window.picture), std::vector<uint8_t>(8, 255));
  EXPECT_EQ(window.picture.pixels[1], (Rgba{70, 80, 90, 255}));
}

TEST(EveryFormat, GifVersion87aIsReadButNotByTheWindow) {
  // The same file with the older version in its signature (it has no extension the older
  // version lacks but the graphic control blocks, which readers of 87a files skip).
  giftest::OracleFile file;
  file.width = 2;
  file.height = 1;
  file.palette = {1, 2, 3, 4, 5, 6};
  file.images = {giftest::ImageAt(0, 0, 2, 1, {1, 0})};
  Bytes gif = giftest::EncodeWithGiflib(file);
  ASSERT_GE(gif.size(), 6u);
  gif[4] = '7';
  const Loaded every = Load(gif, EveryFormat());
  ASSERT_EQ(every.status, LoadStatus::Ok) << every.err;
  EXPECT_EQ(every.picture.pixels[0], (Rgba{4, 5, 6, 255}));
  EXPECT_EQ(every.picture.pixels[1], (Rgba{1, 2, 3, 255}));
  const Loaded window = Load(gif, {});
  EXPECT_EQ(window.status, LoadStatus::NotReadable);
  EXPECT_EQ(window.err, "invalid version\nin.x: not a GIF89a file\n");
}

TEST(EveryFormat, OnlyGifFilesHaveASecondImage) {
  Bytes bmp(kBmp24PixelOffset + 4, 0);
  bmp[0] = 'B', bmp[1] = 'M';
  WriteLe32(&bmp[2], static_cast<uint32_t>(bmp.size()));
  WriteLe32(&bmp[10], kBmp24PixelOffset);
  WriteBmpInfoHeader(&bmp[kBmpFileHeaderSize], 1, 1, 24);
  EXPECT_EQ(Load(bmp, EveryFormat(0)).status, LoadStatus::Ok);
  const Loaded second = Load(bmp, EveryFormat(1));
  EXPECT_EQ(second.status, LoadStatus::NotReadable);
  EXPECT_EQ(second.err, "in.x: a BMP file holds a single image, not an image 1\n");
}

// A 32-bit BMP with a version 5 header and bit fields: two pixels, blue-green-red-alpha.
Bytes AlphaBmp(uint32_t alphaMask, const Bytes& pixels) {
  constexpr size_t kV5 = 124;
  Bytes bmp(kBmpFileHeaderSize + kV5, 0);
  bmp[0] = 'B', bmp[1] = 'M';
  WriteLe32(&bmp[10], static_cast<uint32_t>(bmp.size()));
  uint8_t* info = &bmp[kBmpFileHeaderSize];
  WriteLe32(info, kV5);
  WriteLe32(info + 4, 2);   // width
  WriteLe32(info + 8, 1);   // height
  info[12] = 1;             // planes
  info[14] = 32;            // bits per pixel
  WriteLe32(info + 16, 3);  // bit fields
  WriteLe32(info + 40, 0x00FF0000);
  WriteLe32(info + 44, 0x0000FF00);
  WriteLe32(info + 48, 0x000000FF);
  WriteLe32(info + 52, alphaMask);
  bmp.insert(bmp.end(), pixels.begin(), pixels.end());
  WriteLe32(&bmp[2], static_cast<uint32_t>(bmp.size()));
  return bmp;
}

TEST(EveryFormat, BmpAlphaMasksKeepTheirAlpha) {
  const Bytes pixels = {1, 2, 3, 128, 4, 5, 6, 0};
  const Loaded masked = Load(AlphaBmp(0xFF000000, pixels), EveryFormat());
  ASSERT_EQ(masked.status, LoadStatus::Ok) << masked.err;
  EXPECT_EQ(masked.picture.pixels[0], (Rgba{3, 2, 1, 128}));
  EXPECT_EQ(masked.picture.pixels[1], (Rgba{6, 5, 4, 0}));
  // The window shows the same file opaque.
  const Loaded window = Load(AlphaBmp(0xFF000000, pixels), {});
  EXPECT_EQ(Alphas(window.picture), (std::vector<uint8_t>{255, 255}));
  // An alpha mask whose alpha is 0 everywhere was never filled: opaque.
  const Loaded unfilled = Load(AlphaBmp(0xFF000000, {1, 2, 3, 0, 4, 5, 6, 0}), EveryFormat());
  EXPECT_EQ(Alphas(unfilled.picture), (std::vector<uint8_t>{255, 255}));
  // Without an alpha mask the fourth byte does not show.
  const Loaded unmasked = Load(AlphaBmp(0, pixels), EveryFormat());
  EXPECT_EQ(Alphas(unmasked.picture), (std::vector<uint8_t>{255, 255}));
}

}  // namespace
}  // namespace genshoku
