// Progress and concurrency: the callback sees a fraction that rises from 0 to 1, stops the
// reduction wherever it asks (GENSHOKU_ERROR_STOPPED, no result, nothing leaked, no call after
// the one that asked), and contexts on two threads at once give the bytes of one thread.

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "library_test_support.h"

namespace genshoku {
namespace {

using testing::CallerPicture;
using testing::Context;
using testing::Encode;
using testing::PhotoLike;
using testing::Reduce;
using testing::Result;

struct Progress {
  std::vector<double> fractions;
  size_t stopAt = 0;  // the call (1, 2, ...) that asks to stop; 0: none

  static int Take(double fraction, void* self) {
    Progress& progress = *static_cast<Progress*>(self);
    progress.fractions.push_back(fraction);
    return progress.stopAt != 0 && progress.fractions.size() >= progress.stopAt;
  }
};

TEST(LibraryProgress, TheFractionRisesFromZeroToOne) {
  const CallerPicture picture = PhotoLike(120, 90, 0);
  for (const char* preset : {"best", "window"}) {
    Context context(genshoku_context_new());
    ASSERT_EQ(genshoku_set_preset(context.get(), preset), GENSHOKU_OK);
    Progress progress;
    genshoku_set_progress_callback(context.get(), Progress::Take, &progress);
    const Result result = Reduce(context.get(), picture);
    ASSERT_NE(result, nullptr) << preset;
    ASSERT_GE(progress.fractions.size(), 10u) << preset;
    EXPECT_EQ(progress.fractions.front(), 0.0) << preset;
    EXPECT_EQ(progress.fractions.back(), 1.0) << preset;
    size_t steps = 0;
    for (size_t i = 1; i < progress.fractions.size(); ++i) {
      ASSERT_GE(progress.fractions[i], progress.fractions[i - 1]) << preset << ", call " << i;
      if (progress.fractions[i] > progress.fractions[i - 1]) ++steps;
    }
    // Every phase and refinement pass moves it on.
    EXPECT_GE(steps, 8u) << preset;

    // Without the callback the result is the same.
    genshoku_set_progress_callback(context.get(), nullptr, nullptr);
    const Result quiet = Reduce(context.get(), picture);
    EXPECT_EQ(Encode(context.get(), quiet.get(), GENSHOKU_FORMAT_BMP),
              Encode(context.get(), result.get(), GENSHOKU_FORMAT_BMP));
  }
}

TEST(LibraryProgress, ACallbackThatAsksToStopStopsTheReductionWhereverItAsks) {
  const CallerPicture picture = PhotoLike(120, 90, 8);
  Context context(genshoku_context_new());
  Progress counting;
  genshoku_set_progress_callback(context.get(), Progress::Take, &counting);
  ASSERT_NE(Reduce(context.get(), picture), nullptr);
  const size_t calls = counting.fractions.size();

  // The first call, the last, and calls spread over every phase between.
  std::vector<size_t> stops = {1, 2, calls - 1, calls};
  for (size_t k = 3; k < calls - 1; k += std::max<size_t>(1, calls / 11)) stops.push_back(k);
  for (const size_t stopAt : stops) {
    Progress progress;
    progress.stopAt = stopAt;
    genshoku_set_progress_callback(context.get(), Progress::Take, &progress);
    genshoku_error error = GENSHOKU_OK;
    const Result result = Reduce(context.get(), picture, &error);
    EXPECT_EQ(error, GENSHOKU_ERROR_STOPPED) << "stopped at call " << stopAt << " of " << calls;
    EXPECT_EQ(result, nullptr) << stopAt;
    EXPECT_EQ(progress.fractions.size(), stopAt) << "called again after asking to stop";
  }

  // The context works on after a stop.
  genshoku_set_progress_callback(context.get(), nullptr, nullptr);
  EXPECT_NE(Reduce(context.get(), picture), nullptr);
}

// Reduces and encodes as PNG with a context of its own.
std::vector<uint8_t> ReducedPng(const CallerPicture& picture, unsigned threads) {
  Context context(genshoku_context_new());
  genshoku_set_threads(context.get(), threads);
  const Result result = Reduce(context.get(), picture);
  return Encode(context.get(), result.get(), GENSHOKU_FORMAT_PNG);
}

TEST(LibraryProgress, ContextsOnTwoThreadsAtOnceGiveTheBytesOfOneThread) {
  const CallerPicture first = PhotoLike(150, 100, 0, 1);
  const CallerPicture second = PhotoLike(110, 130, 20, 2);
  const std::vector<uint8_t> firstAlone = ReducedPng(first, 1);
  const std::vector<uint8_t> secondAlone = ReducedPng(second, 1);
  ASSERT_FALSE(firstAlone.empty());
  ASSERT_NE(firstAlone, secondAlone);
  EXPECT_EQ(ReducedPng(first, 2), firstAlone) << "two engine threads differ from one";

  for (unsigned threads : {1u, 0u}) {
    std::vector<uint8_t> firstTogether, secondTogether, firstAgain;
    std::thread a([&] { firstTogether = ReducedPng(first, threads); });
    std::thread b([&] { secondTogether = ReducedPng(second, threads); });
    std::thread c([&] { firstAgain = ReducedPng(first, threads); });
    a.join();
    b.join();
    c.join();
    EXPECT_EQ(firstTogether, firstAlone) << threads;
    EXPECT_EQ(secondTogether, secondAlone) << threads;
    EXPECT_EQ(firstAgain, firstAlone) << threads;
  }
}

}  // namespace
}  // namespace genshoku
