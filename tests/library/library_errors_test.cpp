// The C API's refusals: null handles and pointers, bad picture sizes and strides, settings
// by name out of range, palette sizes, presets and formats; each with its error code, the
// context's settings kept, and the reason on the log callback.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "engine/engine_options.h"
#include "engine/reduction_params.h"
#include "library_test_support.h"

namespace genshoku {
namespace {

using testing::Context;
using testing::PhotoLike;
using testing::Reduce;
using testing::Result;

struct LogLines {
  std::vector<std::pair<genshoku_log_level, std::string>> lines;
  static void Take(genshoku_log_level level, const char* text, void* self) {
    static_cast<LogLines*>(self)->lines.emplace_back(level, text);
  }
};

TEST(LibraryErrors, NullHandlesAndPointersAreRefusedWithoutHarm) {
  const uint8_t pixel[4] = {1, 2, 3, 255};
  genshoku_result* result = reinterpret_cast<genshoku_result*>(&result);  // must become NULL
  EXPECT_EQ(genshoku_reduce(nullptr, pixel, 1, 1, 4, &result), GENSHOKU_ERROR_NULL_ARGUMENT);
  EXPECT_EQ(result, nullptr);
  Context context(genshoku_context_new());
  ASSERT_NE(context, nullptr);
  EXPECT_EQ(genshoku_reduce(context.get(), nullptr, 1, 1, 4, &result),
            GENSHOKU_ERROR_NULL_ARGUMENT);
  EXPECT_EQ(genshoku_reduce(context.get(), pixel, 1, 1, 4, nullptr), GENSHOKU_ERROR_NULL_ARGUMENT);

  EXPECT_EQ(genshoku_set_preset(nullptr, "best"), GENSHOKU_ERROR_NULL_ARGUMENT);
  EXPECT_EQ(genshoku_set_preset(context.get(), nullptr), GENSHOKU_ERROR_NULL_ARGUMENT);
  EXPECT_EQ(genshoku_set_setting(nullptr, "gammaG", 1.0), GENSHOKU_ERROR_NULL_ARGUMENT);
  EXPECT_EQ(genshoku_set_setting(context.get(), nullptr, 1.0), GENSHOKU_ERROR_NULL_ARGUMENT);
  double value = 0;
  EXPECT_EQ(genshoku_get_setting(nullptr, "gammaG", &value), GENSHOKU_ERROR_NULL_ARGUMENT);
  EXPECT_EQ(genshoku_get_setting(context.get(), "gammaG", nullptr), GENSHOKU_ERROR_NULL_ARGUMENT);
  EXPECT_EQ(genshoku_set_palette_size(nullptr, 256), GENSHOKU_ERROR_NULL_ARGUMENT);
  EXPECT_EQ(genshoku_set_threads(nullptr, 1), GENSHOKU_ERROR_NULL_ARGUMENT);
  EXPECT_EQ(genshoku_set_progress_callback(nullptr, nullptr, nullptr),
            GENSHOKU_ERROR_NULL_ARGUMENT);
  EXPECT_EQ(genshoku_set_log_callback(nullptr, nullptr, nullptr), GENSHOKU_ERROR_NULL_ARGUMENT);

  void* bytes = &value;
  size_t size = 99;
  EXPECT_EQ(genshoku_encode(context.get(), nullptr, GENSHOKU_FORMAT_PNG, &bytes, &size),
            GENSHOKU_ERROR_NULL_ARGUMENT);
  EXPECT_EQ(bytes, nullptr);
  EXPECT_EQ(size, 0u);
  Result made(nullptr);
  ASSERT_EQ(genshoku_reduce(context.get(), pixel, 1, 1, 4, &result), GENSHOKU_OK);
  made.reset(result);
  EXPECT_EQ(genshoku_encode(nullptr, result, GENSHOKU_FORMAT_PNG, &bytes, &size),
            GENSHOKU_ERROR_NULL_ARGUMENT);
  EXPECT_EQ(genshoku_encode(context.get(), result, GENSHOKU_FORMAT_PNG, nullptr, &size),
            GENSHOKU_ERROR_NULL_ARGUMENT);
  EXPECT_EQ(genshoku_encode(context.get(), result, GENSHOKU_FORMAT_PNG, &bytes, nullptr),
            GENSHOKU_ERROR_NULL_ARGUMENT);

  // Readers of a missing result answer nothing; freeing nothing is allowed.
  EXPECT_EQ(genshoku_result_width(nullptr), 0u);
  EXPECT_EQ(genshoku_result_height(nullptr), 0u);
  EXPECT_EQ(genshoku_result_palette(nullptr), nullptr);
  EXPECT_EQ(genshoku_result_palette_size(nullptr), 0u);
  EXPECT_EQ(genshoku_result_indices(nullptr), nullptr);
  genshoku_result_free(nullptr);
  genshoku_context_free(nullptr);
  genshoku_free(nullptr);
}

TEST(LibraryErrors, PictureSizesAndStridesOutsideTheLimitsAreRefused) {
  Context context(genshoku_context_new());
  const std::vector<uint8_t> pixels(64 * 4, 0x80);
  genshoku_result* result = nullptr;
  struct Case {
    uint32_t width, height;
    size_t stride;
    genshoku_error expected;
  };
  const Case cases[] = {
      {0, 1, 4, GENSHOKU_ERROR_BAD_SIZE},
      {1, 0, 4, GENSHOKU_ERROR_BAD_SIZE},
      {10001, 10000, 40004, GENSHOKU_ERROR_BAD_SIZE},  // over 100,000,000 pixels
      {100000001, 1, 400000004, GENSHOKU_ERROR_BAD_SIZE},
      {UINT32_MAX, UINT32_MAX, SIZE_MAX, GENSHOKU_ERROR_BAD_SIZE},
      {4, 2, 15, GENSHOKU_ERROR_BAD_STRIDE},  // a stride one byte short of a row
      {4, 2, 0, GENSHOKU_ERROR_BAD_STRIDE},
      {4, 3, SIZE_MAX / 2 + 1, GENSHOKU_ERROR_BAD_STRIDE},  // the last row cannot be reached
      {4, 2, 16, GENSHOKU_OK},
      {4, 2, 17, GENSHOKU_OK},  // rows need not be aligned
  };
  for (const Case& c : cases) {
    const genshoku_error error =
        genshoku_reduce(context.get(), pixels.data(), c.width, c.height, c.stride, &result);
    EXPECT_EQ(error, c.expected) << c.width << "x" << c.height << " stride " << c.stride << ": "
                                 << genshoku_error_text(error);
    EXPECT_EQ(result != nullptr, c.expected == GENSHOKU_OK);
    genshoku_result_free(result);
    result = nullptr;
  }
}

TEST(LibraryErrors, SettingsOutsideTheirRangesAreRefusedAndTheContextKeepsItsOwn) {
  Context context(genshoku_context_new());
  LogLines log;
  genshoku_set_log_callback(context.get(), LogLines::Take, &log);
  double before = 0;
  ASSERT_EQ(genshoku_get_setting(context.get(), "edgeOperator", &before), GENSHOKU_OK);
  struct Case {
    const char* name;
    double value;
    genshoku_error expected;
  };
  const Case cases[] = {
      {"edgeOperator", 7, GENSHOKU_ERROR_OUT_OF_RANGE},
      {"edgeOperator", -1, GENSHOKU_ERROR_OUT_OF_RANGE},
      {"edgeOperator", 2.5, GENSHOKU_ERROR_OUT_OF_RANGE},  // integer settings take whole values
      {"edgeOperator", std::nan(""), GENSHOKU_ERROR_OUT_OF_RANGE},
      {"gammaG", std::numeric_limits<double>::infinity(), GENSHOKU_ERROR_OUT_OF_RANGE},
      {"gammaG", 0.001, GENSHOKU_ERROR_OUT_OF_RANGE},
      {"noSuchSetting", 1, GENSHOKU_ERROR_UNKNOWN_NAME},
      {"", 1, GENSHOKU_ERROR_UNKNOWN_NAME},
      {"paletteSize", 1, GENSHOKU_ERROR_OUT_OF_RANGE},
      {"paletteSize", 257, GENSHOKU_ERROR_OUT_OF_RANGE},
      {"paletteSize", 16.5, GENSHOKU_ERROR_OUT_OF_RANGE},
  };
  for (const Case& c : cases) {
    log.lines.clear();
    EXPECT_EQ(genshoku_set_setting(context.get(), c.name, c.value), c.expected)
        << c.name << "=" << c.value;
    ASSERT_EQ(log.lines.size(), 1u) << c.name << ": the log says why";
    EXPECT_EQ(log.lines[0].first, GENSHOKU_LOG_ERROR);
    EXPECT_NE(log.lines[0].second.find(c.name), std::string::npos) << log.lines[0].second;
  }
  double after = 0;
  ASSERT_EQ(genshoku_get_setting(context.get(), "edgeOperator", &after), GENSHOKU_OK);
  EXPECT_EQ(after, before);
  ASSERT_EQ(genshoku_get_setting(context.get(), "paletteSize", &after), GENSHOKU_OK);
  EXPECT_EQ(after, 256);
  EXPECT_EQ(genshoku_get_setting(context.get(), "noSuchSetting", &after),
            GENSHOKU_ERROR_UNKNOWN_NAME);

  EXPECT_EQ(genshoku_set_palette_size(context.get(), 0), GENSHOKU_ERROR_OUT_OF_RANGE);
  EXPECT_EQ(genshoku_set_palette_size(context.get(), 1), GENSHOKU_ERROR_OUT_OF_RANGE);
  EXPECT_EQ(genshoku_set_palette_size(context.get(), 257), GENSHOKU_ERROR_OUT_OF_RANGE);
  EXPECT_EQ(genshoku_set_palette_size(context.get(), 256), GENSHOKU_OK);

  log.lines.clear();
  EXPECT_EQ(genshoku_set_preset(context.get(), "fastest"), GENSHOKU_ERROR_UNKNOWN_NAME);
  ASSERT_EQ(log.lines.size(), 1u);
  EXPECT_NE(log.lines[0].second.find("fastest"), std::string::npos);
}

// Every size in range is made, in both presets, with every index inside the palette and
// files that hold it.
TEST(LibraryErrors, EveryPaletteSizeInRangeIsMade) {
  Context context(genshoku_context_new());
  const testing::CallerPicture picture = PhotoLike(40, 30, 0);
  for (const char* preset : {"best", "window"}) {
    ASSERT_EQ(genshoku_set_preset(context.get(), preset), GENSHOKU_OK);
    for (unsigned size : {2u, 3u, 16u, 17u, 255u, 256u}) {
      ASSERT_EQ(genshoku_set_palette_size(context.get(), size), GENSHOKU_OK) << size;
      const Result result = Reduce(context.get(), picture);
      ASSERT_NE(result, nullptr) << preset << " " << size;
      // The best preset keeps the picture's alpha, whose partly transparent palette may
      // leave out entries no pixel would take.
      if (std::string(preset) == "window") {
        EXPECT_EQ(genshoku_result_palette_size(result.get()), size);
      } else {
        EXPECT_LE(genshoku_result_palette_size(result.get()), size);
        EXPECT_GE(genshoku_result_palette_size(result.get()), std::min(size, 3u));
      }
      const uint8_t* indices = genshoku_result_indices(result.get());
      for (size_t i = 0; i < size_t{40} * 30; ++i) ASSERT_LT(indices[i], size) << preset;
      for (genshoku_format format : {GENSHOKU_FORMAT_PNG, GENSHOKU_FORMAT_GIF}) {
        EXPECT_FALSE(testing::Encode(context.get(), result.get(), format).empty()) << size;
      }
    }
  }
}

TEST(LibraryErrors, EveryErrorHasAText) {
  for (int code = GENSHOKU_OK; code <= GENSHOKU_ERROR_INTERNAL + 1; ++code) {
    const char* text = genshoku_error_text(static_cast<genshoku_error>(code));
    ASSERT_NE(text, nullptr);
    EXPECT_GT(std::string(text).size(), 5u) << code;
  }
  EXPECT_STREQ(genshoku_error_text(GENSHOKU_ERROR_STOPPED), "the progress callback asked to stop");
  EXPECT_STREQ(genshoku_error_text(GENSHOKU_ERROR_INT_), "unknown error code");
}

TEST(LibraryErrors, FormatsOutsideTheListAndPicturesTooWideForGifAreRefused) {
  Context context(genshoku_context_new());
  const testing::CallerPicture wide = PhotoLike(65536, 1, 0);
  const Result result = Reduce(context.get(), wide);
  ASSERT_NE(result, nullptr);
  void* bytes = nullptr;
  size_t size = 0;
  EXPECT_EQ(
      genshoku_encode(context.get(), result.get(), static_cast<genshoku_format>(0), &bytes, &size),
      GENSHOKU_ERROR_BAD_FORMAT);
  EXPECT_EQ(
      genshoku_encode(context.get(), result.get(), static_cast<genshoku_format>(4), &bytes, &size),
      GENSHOKU_ERROR_BAD_FORMAT);
  LogLines log;
  genshoku_set_log_callback(context.get(), LogLines::Take, &log);
  EXPECT_EQ(genshoku_encode(context.get(), result.get(), GENSHOKU_FORMAT_GIF, &bytes, &size),
            GENSHOKU_ERROR_TOO_LARGE);
  EXPECT_EQ(bytes, nullptr);
  ASSERT_EQ(log.lines.size(), 1u);
  EXPECT_EQ(log.lines[0].first, GENSHOKU_LOG_ERROR);
  // PNG and BMP files hold it.
  EXPECT_FALSE(testing::Encode(context.get(), result.get(), GENSHOKU_FORMAT_PNG).empty());
  EXPECT_FALSE(testing::Encode(context.get(), result.get(), GENSHOKU_FORMAT_BMP).empty());
}

}  // namespace
}  // namespace genshoku
