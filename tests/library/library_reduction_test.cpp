// Reductions through the C API against the pipeline: the same indices and palette for the
// same settings, presets and settings by name included; the encoded files byte for byte the
// pipeline's, read back by the project's readers, libpng and giflib as the same picture; the
// engine's lines on the log callback and nowhere else.

#include <gtest/gtest.h>
#include <png.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/reduction_params.h"
#include "library_test_support.h"
#include "pipeline/load_picture.h"
#include "pipeline/save_picture.h"
#include "tests/codecs/gif/gif_test_support.h"

namespace genshoku {
namespace {

using testing::CallerPicture;
using testing::Context;
using testing::Encode;
using testing::PhotoLike;
using testing::PipelineReduction;
using testing::Reduce;
using testing::Result;

void ExpectSameReduction(const genshoku_result* result, const IndexedPicture& expected,
                         const std::string& what) {
  ASSERT_NE(result, nullptr) << what;
  ASSERT_EQ(genshoku_result_width(result), static_cast<uint32_t>(expected.width)) << what;
  ASSERT_EQ(genshoku_result_height(result), static_cast<uint32_t>(expected.height)) << what;
  ASSERT_EQ(genshoku_result_palette_size(result), expected.palette.size()) << what;
  const genshoku_color* palette = genshoku_result_palette(result);
  for (size_t i = 0; i < expected.palette.size(); ++i) {
    const Rgba& entry = expected.palette[i];
    ASSERT_EQ((Rgba{palette[i].r, palette[i].g, palette[i].b, palette[i].a}), entry)
        << what << ", entry " << i;
  }
  const std::vector<uint8_t> indices(genshoku_result_indices(result),
                                     genshoku_result_indices(result) + expected.PixelCount());
  EXPECT_EQ(indices, expected.indices) << what;
}

TEST(LibraryReduction, IndicesAndPaletteAreThePipelinesForTheSameSettings) {
  const CallerPicture picture = PhotoLike(97, 61, 13);  // rows padded by 13 bytes
  struct Case {
    const char* preset;
    const char* setting;
    double value;
  };
  const Case cases[] = {
      {nullptr, nullptr, 0},  // a new context: the best preset
      {"window", nullptr, 0},        {"best", "diffusionKernel", 2}, {"window", "kmeansOn", 0},
      {"window", "finalMapMode", 0}, {"window", "colourMode", 5},
  };
  for (const Case& c : cases) {
    Context context(genshoku_context_new());
    ReductionSettings settings = PresetSettings(Preset::Best);
    std::string what = "new context";
    if (c.preset) {
      ASSERT_EQ(genshoku_set_preset(context.get(), c.preset), GENSHOKU_OK);
      settings = PresetSettings(*PresetFromName(c.preset));
      what = c.preset;
    }
    if (c.setting) {
      ASSERT_EQ(genshoku_set_setting(context.get(), c.setting, c.value), GENSHOKU_OK);
      ASSERT_TRUE(SetReductionParam(settings.params, c.setting, std::to_string(c.value), nullptr));
      what += std::string(" with ") + c.setting + "=" + std::to_string(c.value);
    }
    const ReductionOutput expected = PipelineReduction(picture, settings);
    ASSERT_EQ(expected.result, ReduceResult::Ok) << what;
    const Result result = Reduce(context.get(), picture);
    ExpectSameReduction(result.get(), expected.picture, what);
  }
}

TEST(LibraryReduction, APictureOfFewColoursKeepsThemExactlyInTheBestPreset) {
  CallerPicture picture = PhotoLike(30, 20, 4);
  const uint8_t colours[3][4] = {{200, 10, 10, 255}, {10, 200, 10, 255}, {10, 10, 200, 255}};
  for (uint32_t y = 0; y < picture.height; ++y) {
    for (uint32_t x = 0; x < picture.width; ++x) {
      std::memcpy(&picture.bytes[y * picture.stride + 4 * x], colours[(x / 7 + y / 5) % 3], 4);
    }
  }
  Context context(genshoku_context_new());
  double exact = 0;
  ASSERT_EQ(genshoku_get_setting(context.get(), "exactFewColours", &exact), GENSHOKU_OK);
  EXPECT_EQ(exact, PresetSettings(Preset::Best).options.exactFewColours ? 1 : 0);
  for (double value : {0.0, 1.0}) {
    ASSERT_EQ(genshoku_set_setting(context.get(), "exactFewColours", value), GENSHOKU_OK);
    ReductionSettings settings = PresetSettings(Preset::Best);
    settings.options.exactFewColours = value == 1.0;
    const ReductionOutput expected = PipelineReduction(picture, settings);
    ASSERT_EQ(expected.result, ReduceResult::Ok);
    const Result result = Reduce(context.get(), picture);
    ExpectSameReduction(result.get(), expected.picture, "exactFewColours " + std::to_string(value));
    // Every pixel keeps its colour either way; with the option the palette holds just them.
    const RgbaPicture original = picture.AsPicture();
    const genshoku_color* palette = genshoku_result_palette(result.get());
    for (size_t i = 0; i < original.PixelCount(); ++i) {
      const genshoku_color& c = palette[genshoku_result_indices(result.get())[i]];
      ASSERT_EQ((Rgba{c.r, c.g, c.b, c.a}), original.pixels[i]) << i;
    }
    if (value == 1.0) {
      EXPECT_EQ(genshoku_result_palette_size(result.get()), 3u);
    }
  }
  EXPECT_EQ(genshoku_set_setting(context.get(), "exactFewColours", 2), GENSHOKU_ERROR_OUT_OF_RANGE);
}

TEST(LibraryReduction, SettingsByNameReadBackAndPresetsResetThem) {
  Context context(genshoku_context_new());
  ASSERT_EQ(genshoku_set_preset(context.get(), "window"), GENSHOKU_OK);
  const ReductionParams& window = WindowSettings().params;
  for (const ReductionParamInfo& info : kReductionParamTable) {
    double value = -1;
    ASSERT_EQ(genshoku_get_setting(context.get(), info.name, &value), GENSHOKU_OK) << info.name;
    EXPECT_EQ(value, info.isInteger ? window.*(info.intField) : window.*(info.doubleField))
        << info.name;
    // Both ends of every range are accepted.
    EXPECT_EQ(genshoku_set_setting(context.get(), info.name, info.minimum), GENSHOKU_OK);
    EXPECT_EQ(genshoku_set_setting(context.get(), info.name, info.maximum), GENSHOKU_OK);
    ASSERT_EQ(genshoku_get_setting(context.get(), info.name, &value), GENSHOKU_OK);
    EXPECT_EQ(value, info.maximum) << info.name;
  }
  ASSERT_EQ(genshoku_set_preset(context.get(), "window"), GENSHOKU_OK);
  double gamma = 0;
  ASSERT_EQ(genshoku_get_setting(context.get(), "gammaG", &gamma), GENSHOKU_OK);
  EXPECT_EQ(gamma, window.gammaG);
}

// The picture a file shows: its palette colour at every pixel.
RgbaPicture Shown(const genshoku_result* result) {
  RgbaPicture picture(static_cast<int32_t>(genshoku_result_width(result)),
                      static_cast<int32_t>(genshoku_result_height(result)));
  const genshoku_color* palette = genshoku_result_palette(result);
  const uint8_t* indices = genshoku_result_indices(result);
  for (size_t i = 0; i < picture.PixelCount(); ++i) {
    const genshoku_color& c = palette[indices[i]];
    picture.pixels[i] = {c.r, c.g, c.b, c.a};
  }
  return picture;
}

RgbaPicture DecodeWithLibpng(const std::vector<uint8_t>& bytes) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return {};
  image.format = PNG_FORMAT_RGBA;
  RgbaPicture picture(static_cast<int32_t>(image.width), static_cast<int32_t>(image.height));
  if (!png_image_finish_read(&image, nullptr, picture.pixels.data(), 0, nullptr)) return {};
  return picture;
}

RgbaPicture DecodeWithGiflib(const std::vector<uint8_t>& bytes) {
  const giftest::OracleFile file = giftest::DecodeWithGiflib(bytes);
  if (!file.ok || file.images.size() != 1) return {};
  RgbaPicture picture(file.width, file.height);
  for (size_t i = 0; i < picture.PixelCount(); ++i) {
    const uint8_t index = file.images[0].raster[i];
    picture.pixels[i] = {file.palette[3 * index], file.palette[3 * index + 1],
                         file.palette[3 * index + 2], 255};
  }
  return picture;
}

void ExpectSamePicture(const RgbaPicture& decoded, const RgbaPicture& shown,
                       const std::string& what) {
  ASSERT_EQ(decoded.width, shown.width) << what;
  ASSERT_EQ(decoded.height, shown.height) << what;
  EXPECT_TRUE(decoded.pixels == shown.pixels) << what << ": the pixels differ";
}

TEST(LibraryReduction, EncodedFilesAreThePipelinesAndDecodeToTheReducedPicture) {
  // Opaque, so that every format shows all of it (transparency in files is tested in
  // tests/pipeline/palette_files_test.cpp).
  CallerPicture picture = PhotoLike(83, 47, 4, 3);
  for (uint32_t y = 0; y < picture.height; ++y) {
    for (uint32_t x = 0; x < picture.width; ++x)
      picture.bytes[y * picture.stride + 4 * x + 3] = 255;
  }
  Context context(genshoku_context_new());
  const Result result = Reduce(context.get(), picture);
  ASSERT_NE(result, nullptr);
  const ReductionOutput expected = PipelineReduction(picture, PresetSettings(Preset::Best));
  const RgbaPicture shown = Shown(result.get());

  struct Case {
    genshoku_format format;
    PictureFormat pipelineFormat;
  };
  for (const Case& c : {Case{GENSHOKU_FORMAT_PNG, PictureFormat::Png},
                        Case{GENSHOKU_FORMAT_GIF, PictureFormat::Gif},
                        Case{GENSHOKU_FORMAT_BMP, PictureFormat::Bmp}}) {
    const std::string what = PictureFormatName(c.pipelineFormat);
    const std::vector<uint8_t> bytes = Encode(context.get(), result.get(), c.format);
    ASSERT_FALSE(bytes.empty()) << what;
    const std::optional<std::vector<uint8_t>> pipelineBytes =
        EncodePicture(expected.picture, {c.pipelineFormat}, "picture", SilentDiagnostics());
    ASSERT_TRUE(pipelineBytes.has_value()) << what;
    EXPECT_EQ(bytes, *pipelineBytes) << what << ": not the pipeline's file";

    LoadedPicture loaded;
    ASSERT_EQ(LoadPictureBytes(bytes.data(), bytes.size(), "encoded", std::nullopt, &loaded,
                               SilentDiagnostics()),
              LoadStatus::Ok)
        << what;
    EXPECT_EQ(loaded.source.format, c.pipelineFormat);
    ExpectSamePicture(loaded.picture, shown, what + " read by the project's reader");
    if (c.format == GENSHOKU_FORMAT_PNG) {
      ExpectSamePicture(DecodeWithLibpng(bytes), shown, "PNG read by libpng");
    } else if (c.format == GENSHOKU_FORMAT_GIF) {
      ExpectSamePicture(DecodeWithGiflib(bytes), shown, "GIF read by giflib");
    }
  }
}

TEST(LibraryReduction, TheEnginesLinesGoToTheLogCallbackAndNowhereElse) {
  const CallerPicture picture = PhotoLike(50, 40, 0);
  CapturedDiagnostics expected;
  ReductionJob job;
  job.planes = PlanesFromPicture(picture.AsPicture());
  job.settings = WindowSettings();
  ASSERT_EQ(ExecuteReduction(job, {nullptr, &expected}).result, ReduceResult::Ok);
  ASSERT_FALSE(expected.AllText().empty());

  Context context(genshoku_context_new());
  ASSERT_EQ(genshoku_set_preset(context.get(), "window"), GENSHOKU_OK);
  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  Result silent = Reduce(context.get(), picture);
  EXPECT_FALSE(Encode(context.get(), silent.get(), GENSHOKU_FORMAT_PNG).empty());
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");

  std::string logged;
  genshoku_set_log_callback(
      context.get(),
      [](genshoku_log_level level, const char* text, void* out) {
        *static_cast<std::string*>(out) += level == GENSHOKU_LOG_INFO ? text : "(error)";
      },
      &logged);
  const Result result = Reduce(context.get(), picture);
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(logged, expected.AllText());
}

}  // namespace
}  // namespace genshoku
