// The pipeline end to end: pictures saved in each format and loaded back, every format
// recognised by its signature, and a reduction of a picture of few colours.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "pipeline/load_picture.h"
#include "pipeline/presets.h"
#include "pipeline/reduce_picture.h"
#include "pipeline/save_picture.h"
#include "support_files.h"

namespace genshoku {
namespace {

using testing::ReadWholeFile;
using testing::ScratchFolder;

// Indices that run through the whole palette in a pattern no row repeats.
IndexedPicture Indexed(int width, int height, size_t entries) {
  IndexedPicture picture;
  picture.width = width;
  picture.height = height;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      picture.indices.push_back(static_cast<uint8_t>((x * 7 + y * 13 + x * y) % entries));
    }
  }
  for (size_t i = 0; i < entries; ++i) {
    picture.palette.push_back({static_cast<uint8_t>(i * 37), static_cast<uint8_t>(255 - i),
                               static_cast<uint8_t>(i * 11 + 3), 255});
  }
  return picture;
}

void ExpectShows(const RgbaPicture& loaded, const IndexedPicture& saved, const std::string& what) {
  ASSERT_EQ(loaded.width, saved.width) << what;
  ASSERT_EQ(loaded.height, saved.height) << what;
  for (size_t i = 0; i < saved.PixelCount(); ++i) {
    ASSERT_EQ(loaded.pixels[i], saved.palette[saved.indices[i]]) << what << ", pixel " << i;
  }
}

TEST(Pipeline, EverySaveFormatLoadsBackToThePaletteColours) {
  ScratchFolder folder;
  for (const auto& [width, height] : {std::pair{1, 1}, {7, 5}, {33, 2}}) {
    for (size_t entries : {size_t{2}, size_t{3}, size_t{16}, size_t{17}, size_t{256}}) {
      const IndexedPicture picture = Indexed(width, height, entries);
      for (const auto& [format, smallest] : {std::pair{PictureFormat::Bmp, false},
                                             {PictureFormat::Png, false},
                                             {PictureFormat::Png, true},
                                             {PictureFormat::Gif, false},
                                             {PictureFormat::Gif, true}}) {
        SaveSettings settings;
        settings.format = format;
        settings.compactPng = smallest;
        settings.stillGif = smallest;
        const std::string what = std::string(PictureFormatName(format)) +
                                 (smallest ? " (smallest) " : " ") + std::to_string(width) + "x" +
                                 std::to_string(height) + " with " + std::to_string(entries) +
                                 " entries";
        const std::string path = folder.Path("out");
        ASSERT_TRUE(SavePicture(picture, path, settings, SilentDiagnostics())) << what;
        LoadedPicture fromFile;
        ASSERT_EQ(LoadPictureFile(path, std::nullopt, &fromFile, SilentDiagnostics()),
                  LoadStatus::Ok)
            << what;
        EXPECT_EQ(fromFile.source.format, format) << what;
        ExpectShows(fromFile.picture, picture, what + " (file)");

        const std::optional<std::vector<uint8_t>> bytes =
            EncodePicture(picture, settings, "memory", SilentDiagnostics());
        ASSERT_TRUE(bytes.has_value()) << what;
        EXPECT_EQ(*bytes, ReadWholeFile(path)) << what << ": memory and file differ";
        LoadedPicture fromMemory;
        ASSERT_EQ(LoadPictureBytes(bytes->data(), bytes->size(), "memory", std::nullopt,
                                   &fromMemory, SilentDiagnostics()),
                  LoadStatus::Ok)
            << what;
        ExpectShows(fromMemory.picture, picture, what + " (memory)");
      }
    }
  }
}

TEST(Pipeline, TheSmallestPngIsTheSameForOneAndTwoThreads) {
  // Large enough (1.2 MB of rows) for the writer to use its second thread.
  const IndexedPicture picture = Indexed(1100, 1100, 256);
  SaveSettings settings;
  settings.format = PictureFormat::Png;
  settings.compactPng = true;
  settings.threads = 1;
  const std::optional<std::vector<uint8_t>> one =
      EncodePicture(picture, settings, "memory", SilentDiagnostics());
  settings.threads = 2;
  const std::optional<std::vector<uint8_t>> two =
      EncodePicture(picture, settings, "memory", SilentDiagnostics());
  ASSERT_TRUE(one.has_value() && two.has_value());
  EXPECT_TRUE(*one == *two);
}

TEST(Pipeline, FilesOfNoKnownFormatAreRefusedByName) {
  ScratchFolder folder;
  const std::string path = folder.Path("notes.png");
  testing::WriteWholeFile(path, {'h', 'e', 'l', 'l', 'o', '\n'});
  CapturedDiagnostics diagnostics;
  LoadedPicture loaded;
  EXPECT_EQ(LoadPictureFile(path, std::nullopt, &loaded, diagnostics), LoadStatus::NotReadable);
  ASSERT_EQ(diagnostics.lines().size(), 1u);
  EXPECT_NE(diagnostics.lines()[0].text.find(path), std::string::npos);
  EXPECT_EQ(LoadPictureFile(folder.Path("missing.png"), std::nullopt, &loaded, SilentDiagnostics()),
            LoadStatus::CannotOpen);
}

TEST(Pipeline, NamesAndSignaturesPickTheSameFormats) {
  EXPECT_EQ(FormatFromExtension("a/b.c/photo.JPEG"), PictureFormat::Jpeg);
  EXPECT_EQ(FormatFromExtension("photo.Png"), PictureFormat::Png);
  EXPECT_EQ(FormatFromExtension("photo.gif"), PictureFormat::Gif);
  EXPECT_EQ(FormatFromExtension("photo.bmp"), PictureFormat::Bmp);
  EXPECT_EQ(FormatFromExtension("photo.tiff"), std::nullopt);
  EXPECT_EQ(FormatFromExtension("pics.png/photo"), std::nullopt);
  const uint8_t jpeg[] = {0xFF, 0xD8, 0xFF, 0xE0};
  EXPECT_EQ(FormatFromSignature(jpeg, sizeof jpeg), PictureFormat::Jpeg);
  EXPECT_EQ(FormatFromSignature(jpeg, 2), std::nullopt);
  const uint8_t gif[] = {'G', 'I', 'F', '8', '7', 'a'};
  EXPECT_EQ(FormatFromSignature(gif, sizeof gif), PictureFormat::Gif);
}

TEST(Pipeline, APictureOfFewColoursKeepsThemThroughTheWindowReduction) {
  RgbaPicture picture(40, 30);
  const Rgba colours[] = {{200, 10, 10, 255}, {10, 200, 10, 255}, {10, 10, 200, 255}};
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 40; ++x) picture.At(x, y) = colours[(x / 8 + y / 10) % 3];
  }
  ReductionJob job;
  job.planes = PlanesFromPicture(picture);
  job.settings = PresetSettings(Preset::Window);
  const ReductionOutput output = ExecuteReduction(job, {nullptr, &SilentDiagnostics()});
  ASSERT_EQ(output.result, ReduceResult::Ok);
  ASSERT_EQ(output.picture.palette.size(), 256u);
  for (size_t i = 0; i < picture.PixelCount(); ++i) {
    ASSERT_EQ(output.picture.palette[output.picture.indices[i]], picture.pixels[i]) << i;
  }
}

TEST(Pipeline, TheBestPresetKeepsAPictureOfFewColoursExactly) {
  RgbaPicture picture(9, 7);
  for (int y = 0; y < 7; ++y) {
    for (int x = 0; x < 9; ++x) {
      picture.At(x, y) = {static_cast<uint8_t>(x * 30), static_cast<uint8_t>(y * 40), 77, 255};
    }
  }
  ReductionJob job;
  job.planes = PlanesFromPicture(picture);
  job.settings = PresetSettings(Preset::Best);
  const ReductionOutput output = ExecuteReduction(job, {nullptr, &SilentDiagnostics()});
  ASSERT_EQ(output.result, ReduceResult::Ok);
  EXPECT_EQ(output.picture.palette.size(), 63u) << "one entry per colour, no more";
  for (size_t i = 0; i < picture.PixelCount(); ++i) {
    ASSERT_EQ(output.picture.palette[output.picture.indices[i]], picture.pixels[i]) << i;
  }
}

TEST(Pipeline, TheBestPresetGivesTheSameBytesForOneAndTwoThreads) {
  // Smooth shading with grain and a hard-edged square: many colours.
  RgbaPicture picture(160, 120);
  uint32_t state = 12345;
  for (int y = 0; y < 120; ++y) {
    for (int x = 0; x < 160; ++x) {
      state = state * 1103515245u + 12345u;
      const int grain = static_cast<int>((state >> 16) % 7) - 3;
      const bool inside = x > 50 && x < 100 && y > 30 && y < 80;
      const int r = std::clamp((inside ? 220 : x * 255 / 159) + grain, 0, 255);
      const int g = std::clamp((inside ? 40 : y * 2) + grain, 0, 255);
      const int b = std::clamp((x + y) % 256 / 2 + 60 + grain, 0, 255);
      picture.At(x, y) = {static_cast<uint8_t>(r), static_cast<uint8_t>(g), static_cast<uint8_t>(b),
                          255};
    }
  }
  ReductionOutput outputs[2];
  for (int threads : {1, 2}) {
    ReductionJob job;
    job.planes = PlanesFromPicture(picture);
    job.settings = PresetSettings(Preset::Best);
    EngineServices services{nullptr, &SilentDiagnostics()};
    services.threads = threads;
    outputs[threads - 1] = ExecuteReduction(job, services);
    ASSERT_EQ(outputs[threads - 1].result, ReduceResult::Ok);
  }
  EXPECT_EQ(outputs[0].picture.indices, outputs[1].picture.indices);
  EXPECT_EQ(outputs[0].picture.palette, outputs[1].picture.palette);
  EXPECT_TRUE(PresetSettings(Preset::Best).options.adaptiveDiffusion == 1);
  EXPECT_TRUE(PresetSettings(Preset::Window).options.adaptiveDiffusion == 0);
}

}  // namespace
}  // namespace genshoku
