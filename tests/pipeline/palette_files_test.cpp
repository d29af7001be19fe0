// Palettes of any size and with transparency as files: what libpng and giflib (independent
// decoders) find in them, and that the window preset still ignores alpha.

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "common/diagnostics.h"
#include "independent_decoders.h"
#include "pipeline/format_transparency.h"
#include "pipeline/presets.h"
#include "pipeline/reduce_picture.h"
#include "pipeline/save_picture.h"

namespace genshoku {
namespace {

using testsupport::DecodeBmp;
using testsupport::DecodedFile;
using testsupport::DecodeGifWithGiflib;
using testsupport::DecodePngWithLibpng;

// The entry a palette PNG shows for a pixel, alpha included.
Rgba Shown(const DecodedFile& png, size_t pixel) {
  const testsupport::Colour colour = png.palette[png.indices[pixel]];
  return {colour.r, colour.g, colour.b, png.AlphaOf(pixel)};
}

// ---- pictures and reductions ----

// Smooth colour everywhere; with alpha, a transparent left quarter, a ramp of partial alpha
// and an opaque right half.
RgbaPicture TestPicture(int width, int height, bool withAlpha) {
  RgbaPicture picture(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      Rgba& p = picture.At(x, y);
      p.red = static_cast<uint8_t>(x * 255 / width);
      p.green = static_cast<uint8_t>(y * 255 / height);
      p.blue = static_cast<uint8_t>((x * y) & 0xFF);
      if (!withAlpha) continue;
      const int quarter = width / 4;
      p.alpha = x < quarter       ? 0
                : x < 2 * quarter ? static_cast<uint8_t>(1 + (x - quarter) * 253 / quarter)
                                  : 255;
    }
  }
  return picture;
}

IndexedPicture Reduce(const RgbaPicture& picture, Preset preset, int colours) {
  ReductionJob job;
  job.planes = PlanesFromPicture(picture);
  job.settings = PresetSettings(preset);
  job.settings.options.paletteSize = colours;
  EngineServices services;
  services.diagnostics = &SilentDiagnostics();
  ReductionOutput output = ExecuteReduction(job, services);
  EXPECT_EQ(output.result, ReduceResult::Ok);
  return output.picture;
}

std::vector<uint8_t> Encode(const IndexedPicture& picture, PictureFormat format, Preset preset,
                            Diagnostics& diagnostics = SilentDiagnostics()) {
  SaveSettings save;
  save.format = format;
  SetPresetFileWriting(preset, save);
  return EncodePicture(picture, save, "picture", diagnostics).value_or(std::vector<uint8_t>{});
}

int SmallestDepth(int entries) {
  for (int depth : {1, 2, 4}) {
    if (entries <= (1 << depth)) return depth;
  }
  return 8;
}

int NextPowerOfTwo(int entries) {
  int table = 2;
  while (table < entries) table *= 2;
  return table;
}

size_t DistinctEntriesUsed(const IndexedPicture& picture) {
  std::set<uint32_t> used;
  for (uint8_t index : picture.indices) {
    const Rgba c = picture.palette[index];
    used.insert((uint32_t{c.alpha} << 24) | (c.red << 16) | (c.green << 8) | c.blue);
  }
  return used.size();
}

// ---- the tests ----

TEST(PaletteFiles, EachSizeIsWrittenWithJustItsEntries) {
  const RgbaPicture picture = TestPicture(96, 64, false);
  for (const Preset preset : {Preset::Best, Preset::Window}) {
    for (int colours : {2, 3, 16, 17, 255, 256}) {
      const std::string what = std::string(PresetName(preset)) + " " + std::to_string(colours);
      const IndexedPicture reduced = Reduce(picture, preset, colours);
      ASSERT_EQ(reduced.palette.size(), static_cast<size_t>(colours)) << what;

      const DecodedFile png = DecodePngWithLibpng(Encode(reduced, PictureFormat::Png, preset));
      ASSERT_TRUE(png.ok) << what;
      EXPECT_EQ(png.colourType, 3) << what;
      if (preset == Preset::Window && colours == 256) {
        // The window's own stream: the full table at 8 bits.
        EXPECT_EQ(static_cast<int>(png.palette.size()), 256) << what;
        EXPECT_EQ(png.bitDepth, 8) << what;
      } else {
        EXPECT_EQ(png.palette.size(), DistinctEntriesUsed(reduced)) << what;
        EXPECT_LE(static_cast<int>(png.palette.size()), colours) << what;
        EXPECT_EQ(png.bitDepth, SmallestDepth(static_cast<int>(png.palette.size()))) << what;
      }
      EXPECT_TRUE(png.paletteAlphas.empty()) << what;
      ASSERT_EQ(png.indices.size(), reduced.PixelCount()) << what;
      for (size_t i = 0; i < png.indices.size(); ++i) {
        ASSERT_EQ(Shown(png, i), reduced.palette[reduced.indices[i]]) << what << ", " << i;
      }

      const DecodedFile gif = DecodeGifWithGiflib(Encode(reduced, PictureFormat::Gif, preset));
      ASSERT_TRUE(gif.ok) << what;
      EXPECT_EQ(static_cast<int>(gif.palette.size()), NextPowerOfTwo(colours)) << what;
      EXPECT_EQ(gif.transparentIndex, -1) << what;
      EXPECT_EQ(gif.indices, reduced.indices) << what;

      // The best preset packs 2 or 16 entries into 1 or 4 bits per pixel.
      const DecodedFile bmp = DecodeBmp(Encode(reduced, PictureFormat::Bmp, preset));
      ASSERT_TRUE(bmp.ok) << what << ": " << bmp.problem;
      const int depth = preset == Preset::Window ? 8 : colours <= 2 ? 1 : colours <= 16 ? 4 : 8;
      EXPECT_EQ(bmp.bitDepth, depth) << what;
      EXPECT_EQ(bmp.palette.size(), static_cast<size_t>(colours)) << what;
      EXPECT_EQ(bmp.indices, reduced.indices) << what;
    }
  }
}

TEST(PaletteFiles, APngShowsEveryPixelsEntryAlphaIncludedAndKeepsItsTransparencyClass) {
  const RgbaPicture picture = TestPicture(128, 48, true);
  for (int colours : {3, 16, 256}) {
    const IndexedPicture reduced = Reduce(picture, Preset::Best, colours);
    ASSERT_TRUE(reduced.HasTransparency());
    const DecodedFile png = DecodePngWithLibpng(Encode(reduced, PictureFormat::Png, Preset::Best));
    ASSERT_TRUE(png.ok) << colours;
    EXPECT_FALSE(png.paletteAlphas.empty()) << colours;
    // tRNS ends at the last entry that is not opaque: the opaque ones follow it. One entry
    // is fully transparent.
    EXPECT_LT(png.paletteAlphas.size(), png.palette.size()) << colours;
    ASSERT_FALSE(png.paletteAlphas.empty()) << colours;
    EXPECT_NE(png.paletteAlphas.back(), 255) << colours;
    EXPECT_EQ(std::count(png.paletteAlphas.begin(), png.paletteAlphas.end(), 0), 1) << colours;
    // The file shows every pixel as its entry, alpha included (how close that alpha is to
    // the picture's is the reduction's business: tests/engine/alpha_reduction_test.cpp).
    for (size_t i = 0; i < picture.PixelCount(); ++i) {
      const int was = picture.pixels[i].alpha;
      const int shown = png.AlphaOf(i);
      ASSERT_EQ(Shown(png, i), reduced.palette[reduced.indices[i]]) << colours << ", pixel " << i;
      ASSERT_EQ(was == 0, shown == 0) << colours << ", pixel " << i;
      ASSERT_EQ(was == 255, shown == 255) << colours << ", pixel " << i;
    }
  }
}

TEST(PaletteFiles, AGifShowsPixelsLessThanHalfOpaqueAsTransparent) {
  const RgbaPicture picture = TestPicture(128, 48, true);
  const IndexedPicture reduced = Reduce(picture, Preset::Best, 64);
  const DecodedFile gif = DecodeGifWithGiflib(Encode(reduced, PictureFormat::Gif, Preset::Best));
  ASSERT_TRUE(gif.ok);
  ASSERT_GE(gif.transparentIndex, 0);
  EXPECT_EQ(static_cast<int>(gif.palette.size()), 64);
  for (size_t i = 0; i < picture.PixelCount(); ++i) {
    const int entryAlpha = reduced.palette[reduced.indices[i]].alpha;
    ASSERT_EQ(gif.indices[i] == gif.transparentIndex, entryAlpha < 128) << i;
    if (picture.pixels[i].alpha == 0) {
      ASSERT_EQ(gif.indices[i], gif.transparentIndex) << i;
    }
    if (picture.pixels[i].alpha == 255) {
      ASSERT_NE(gif.indices[i], gif.transparentIndex) << i;
    }
  }
}

// Fitted to the output format before the reduction: a PNG keeps every level, a GIF's
// palette has one transparent entry and opaque ones only, a BMP's colours are reduced alone
// after one warning line.
TEST(PaletteFiles, TransparencyIsFittedToWhatTheFormatShowsBeforeTheReduction) {
  const RgbaPicture picture = TestPicture(128, 48, true);
  for (PictureFormat format : {PictureFormat::Png, PictureFormat::Gif, PictureFormat::Bmp}) {
    const std::string what = PictureFormatName(format);
    ReductionJob job;
    job.planes = PlanesFromPicture(picture);
    job.settings = PresetSettings(Preset::Best);
    job.settings.options.paletteSize = 64;
    const std::vector<uint8_t> alphaBefore = job.planes.alpha;
    CapturedDiagnostics lines;
    FitTransparencyToFormat(job, format, "out.file", lines);
    EngineServices services;
    services.diagnostics = &SilentDiagnostics();
    const IndexedPicture reduced = ExecuteReduction(job, services).picture;
    ASSERT_EQ(reduced.PixelCount(), picture.PixelCount()) << what;
    if (format == PictureFormat::Png) {
      EXPECT_TRUE(lines.lines().empty()) << what;
      EXPECT_EQ(job.planes.alpha, alphaBefore) << what;
      continue;
    }
    if (format == PictureFormat::Bmp) {
      ASSERT_EQ(lines.lines().size(), 1u) << what;
      EXPECT_NE(lines.AllText().find("out.file: warning: BMP files cannot hold transparency"),
                std::string::npos);
      EXPECT_FALSE(reduced.HasTransparency()) << what;
      EXPECT_TRUE(Encode(reduced, format, Preset::Best).size() > 0) << what;
      continue;
    }
    EXPECT_TRUE(lines.lines().empty()) << what;
    int transparentEntries = 0;
    for (const Rgba& entry : reduced.palette) {
      ASSERT_TRUE(entry.alpha == 0 || entry.alpha == 255) << what;
      transparentEntries += entry.alpha == 0;
    }
    EXPECT_EQ(transparentEntries, 1) << what;
    const DecodedFile gif = DecodeGifWithGiflib(Encode(reduced, format, Preset::Best));
    ASSERT_TRUE(gif.ok) << what;
    ASSERT_GE(gif.transparentIndex, 0) << what;
    for (size_t i = 0; i < picture.PixelCount(); ++i) {
      ASSERT_EQ(gif.indices[i] == gif.transparentIndex, picture.pixels[i].alpha < 128) << i;
    }
  }
}

TEST(PaletteFiles, ABmpOfAPaletteWithAlphaSaysInOneLineThatItIsLost) {
  const IndexedPicture reduced = Reduce(TestPicture(64, 16, true), Preset::Best, 16);
  CapturedDiagnostics lines;
  EXPECT_FALSE(Encode(reduced, PictureFormat::Bmp, Preset::Best, lines).empty());
  ASSERT_EQ(lines.lines().size(), 1u);
  EXPECT_NE(lines.AllText().find("BMP files cannot hold transparency"), std::string::npos);
}

// The window preset drops alpha as the window does: the reduction of the colours alone, an
// opaque palette, and the window's own streams.
TEST(PaletteFiles, TheWindowPresetReducesAPictureWithAlphaByItsColoursAlone) {
  const RgbaPicture withAlpha = TestPicture(80, 40, true);
  const RgbaPicture opaque = TestPicture(80, 40, false);
  const IndexedPicture fromAlpha = Reduce(withAlpha, Preset::Window, 256);
  const IndexedPicture fromOpaque = Reduce(opaque, Preset::Window, 256);
  EXPECT_FALSE(fromAlpha.HasTransparency());
  EXPECT_EQ(fromAlpha.indices, fromOpaque.indices);
  EXPECT_EQ(fromAlpha.palette, fromOpaque.palette);
  for (PictureFormat format : {PictureFormat::Png, PictureFormat::Gif, PictureFormat::Bmp}) {
    EXPECT_EQ(Encode(fromAlpha, format, Preset::Window),
              Encode(fromOpaque, format, Preset::Window));
  }
}

}  // namespace
}  // namespace genshoku
