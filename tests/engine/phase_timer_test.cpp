// The phase timer between the engine and the program's own host: every call reaches the
// inner host unchanged (so a stop still stops and the progress display still shows), and
// the time the engine spends in a phase is counted for that phase.

#include "engine/phase_timer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "tests/engine/clustering_test_support.h"
#include "tests/engine/support_reduction.h"
#include "tests/support/held_engine_host.h"

namespace genshoku {
namespace {

using test_support::Picture;
using test_support::RecordingHost;

test_support::Reduction ReduceWith(EngineHost* host, const ReductionParams& params = {}) {
  Picture picture = test_support::PhotoLikePicture(60, 40, 3);
  EngineServices services;
  services.host = host;
  return test_support::Reduce(picture, params, services);
}

TEST(PhaseTimer, PassesEveryCallOnToTheInnerHost) {
  RecordingHost direct;
  const test_support::Reduction expected = ReduceWith(&direct);
  ASSERT_EQ(expected.result, ReduceResult::Ok);
  ASSERT_FALSE(direct.kmeansPasses.empty());

  RecordingHost inner;
  PhaseTimer timer(&inner);
  EXPECT_EQ(ReduceWith(&timer).Hash(), expected.Hash());
  EXPECT_EQ(inner.phases, direct.phases);
  EXPECT_EQ(inner.kmeansPasses, direct.kmeansPasses);
  EXPECT_EQ(inner.progressPoints, direct.progressPoints);

  // The inner host's wish to stop reaches the engine through the timer.
  RecordingHost stopping;
  stopping.stopAfter = direct.progressPoints / 2;
  PhaseTimer stoppingTimer(&stopping);
  EXPECT_EQ(ReduceWith(&stoppingTimer).result, ReduceResult::Stopped);

  // Without an inner host the timer only times.
  PhaseTimer alone;
  EXPECT_EQ(ReduceWith(&alone).Hash(), expected.Hash());
}

double SumOfPhases(const PhaseTimer& timer) {
  double sum = 0;
  for (int p = 0; p < PhaseTimer::kPhases; ++p) sum += timer.Seconds(static_cast<EnginePhase>(p));
  return sum;
}

TEST(PhaseTimer, TheTimeAPhaseTakesIsCountedForThatPhase) {
  // The engine is held at the start of the k-means refinement for a while: that time is the
  // refinement's (a lower bound only, however busy the machine).
  test_support::HeldEngineHost held(EnginePhase::KMeans);
  PhaseTimer timer(&held);
  test_support::EngineThread<test_support::Reduction> engine(held,
                                                             [&] { return ReduceWith(&timer); });
  ASSERT_TRUE(held.WaitUntilHeld());
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  held.Release();
  ASSERT_EQ(engine.Join().result, ReduceResult::Ok);
  timer.Stop();
  EXPECT_GE(timer.Seconds(EnginePhase::KMeans), 0.06);
  for (int p = 0; p < PhaseTimer::kPhases; ++p) {
    EXPECT_GE(timer.Seconds(static_cast<EnginePhase>(p)), 0.0);
  }
  EXPECT_DOUBLE_EQ(timer.TotalSeconds(), SumOfPhases(timer));
  // The run is over: stopping again adds nothing.
  const double total = timer.TotalSeconds();
  timer.Stop();
  EXPECT_EQ(timer.TotalSeconds(), total);

  // A phase that does not run takes no time.
  ReductionParams noKMeans;
  noKMeans.kmeansOn = 0;
  PhaseTimer second;
  ASSERT_EQ(ReduceWith(&second, noKMeans).result, ReduceResult::Ok);
  second.Stop();
  EXPECT_EQ(second.Seconds(EnginePhase::KMeans), 0.0);
  EXPECT_GT(second.Seconds(EnginePhase::FinalMapping), 0.0);
}

TEST(PhaseTimer, PrintsOneLinePerPhaseAndTheEngineTotal) {
  test_support::HeldEngineHost held(EnginePhase::EdgeMap);
  PhaseTimer timer(&held);
  test_support::EngineThread<test_support::Reduction> engine(held,
                                                             [&] { return ReduceWith(&timer); });
  ASSERT_TRUE(held.WaitUntilHeld());
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  held.Release();
  ASSERT_EQ(engine.Join().result, ReduceResult::Ok);
  timer.Stop();

  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  timer.Print(file);
  std::rewind(file);
  std::vector<std::string> names;
  std::vector<double> seconds;
  char name[64];
  double value = 0;
  while (std::fscanf(file, "%63s %lf\n", name, &value) == 2) {
    names.push_back(name);
    seconds.push_back(value);
  }
  std::fclose(file);
  const std::vector<std::string> expected = {
      "colour-space", "edge-map",        "first-split",    "splitting",     "palette-assembly",
      "k-means",      "nearest-entries", "palette-to-RGB", "final-mapping", "engine"};
  ASSERT_EQ(names, expected) << "one word per name, so that scripts can read the lines";
  EXPECT_GE(seconds[1], 0.02) << "the edge map was held";
  // Printed to the millisecond: the total matches the sum of the printed phases closely.
  const double sum = std::accumulate(seconds.begin(), seconds.end() - 1, 0.0);
  EXPECT_NEAR(seconds.back(), sum, 0.0005 * PhaseTimer::kPhases);
}

}  // namespace
}  // namespace genshoku
