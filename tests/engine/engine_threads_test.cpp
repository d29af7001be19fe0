// The engine's work shared between two threads: the same bytes as one thread on pictures
// large enough for every parallel step to split its work, and a host that asks to stop is
// obeyed in every phase, also while a helper thread runs.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/divisive_splitting/split_threshold.h"
#include "tests/engine/clustering_test_support.h"
#include "tests/engine/support_reduction.h"

namespace genshoku {
namespace {

test_support::Reduction Reduce(test_support::Picture picture, int threads, EngineHost* host,
                               const ReductionParams& params = {}) {
  EngineServices services;
  services.host = host;
  services.threads = threads;
  return test_support::Reduce(picture, params, services);
}

void ExpectSameBytes(const test_support::Reduction& one, const test_support::Reduction& two,
                     const std::string& what) {
  EXPECT_EQ(one.result, ReduceResult::Ok) << what;
  EXPECT_EQ(one.Hash(), two.Hash()) << what;
}

TEST(EngineThreads, TwoThreadsGiveTheBytesOfOne) {
  const test_support::Picture picture = test_support::PhotoLikePicture(420, 330, 31, 8);
  for (int kernel : {0, 3}) {
    ReductionParams params;
    params.diffusionKernel = kernel;
    ExpectSameBytes(Reduce(picture, 1, nullptr, params), Reduce(picture, 2, nullptr, params),
                    "kernel " + std::to_string(kernel));
  }
}

// With two threads the splitting works out the likeliest next split ahead of its turn.
// Here that is the quiet right half (two colours one step apart), whose turn never comes:
// the smooth ramp on the left takes every split, and the quiet half must end as one
// cluster just as with one thread.
TEST(EngineThreads, ASplitWorkedOutAheadWhoseTurnNeverComesLeavesItsClusterWhole) {
  test_support::Picture picture(500, 300);
  for (int y = 0; y < 300; ++y) {
    for (int x = 0; x < 500; ++x) {
      if (x < 300) {
        picture.Set(x, y, x / 2, y / 2, (x + y) / 4);
      } else {
        picture.Set(x, y, 250, 250, 250 + ((x + y) & 1));
      }
    }
  }
  ExpectSameBytes(Reduce(picture, 1, nullptr), Reduce(picture, 2, nullptr), "quiet half");
}

// Stops at the n-th progress point of a phase.
class StoppingHost final : public EngineHost {
 public:
  StoppingHost(EnginePhase phase, int after) : phase_(phase), after_(after) {}
  bool KeepGoing() override {
    ++points;
    if (inPhase_ && ++pointsInPhase_ > after_) return false;
    return true;
  }
  void PhaseStarted(EnginePhase phase) override {
    inPhase_ = phase == phase_;
    pointsInPhase_ = 0;
  }
  int points = 0;

 private:
  EnginePhase phase_;
  int after_;
  bool inPhase_ = false;
  int pointsInPhase_ = 0;
};

TEST(EngineThreads, AHostThatAsksToStopIsObeyedInEveryPhase) {
  const test_support::Picture picture = test_support::PhotoLikePicture(300, 240, 32, 8);
  const EnginePhase phases[] = {EnginePhase::FirstSplit, EnginePhase::Splitting,
                                EnginePhase::KMeans, EnginePhase::NearestEntries,
                                EnginePhase::FinalMapping};
  for (EnginePhase phase : phases) {
    for (int threads : {1, 2}) {
      for (int after : {0, 3}) {
        // The nearest entries of a few thousand colours take a single progress point, and
        // are looked for only when no final mapping follows.
        if (phase == EnginePhase::NearestEntries && after > 0) continue;
        ReductionParams params;
        if (phase == EnginePhase::NearestEntries) params.finalMapMode = 0;
        StoppingHost host(phase, after);
        EXPECT_EQ(Reduce(picture, threads, &host, params).result, ReduceResult::Stopped)
            << EnginePhaseName(phase) << ", " << threads << " thread(s), after " << after;
      }
    }
  }
}

TEST(EngineThreads, ProgressPointsKeepComing) {
  // A long run must reach the host often; counted here for a picture of 72,000 pixels.
  const test_support::Picture picture = test_support::PhotoLikePicture(300, 240, 33, 8);
  StoppingHost host(EnginePhase::ColourSpace, 1 << 30);
  EXPECT_EQ(Reduce(picture, 2, &host).result, ReduceResult::Ok);
  EXPECT_GT(host.points, 1000);
}

// The threshold search on runs of equal records gives what it gives on the records one
// by one, ties of equal values between different records included.
TEST(ThresholdRuns, RepeatedRecordsCountLikeSeparateOnes) {
  test_support::TestRun test;
  const std::vector<ThresholdRun> runs = {
      {-3.5, 1, 2, 3}, {-0.25, 0.5, -1, 1}, {-0.25, 4, 4, 2}, {2.0, 0, 0, 5}, {7.75, -2, 1, 2}};
  std::vector<double> v, p1, p2;
  int64_t count = 0;
  for (const ThresholdRun& run : runs) {
    for (int64_t r = 0; r < run.repeat; ++r) {
      v.push_back(run.v);
      p1.push_back(run.p1);
      p2.push_back(run.p2);
      ++count;
    }
  }
  for (int criterion : {3, 4}) {
    EXPECT_EQ(OtsuThresholdRuns(runs, count, criterion, test.run, 1),
              OtsuThresholdReal(count, v.data(), p1.data(), p2.data(), criterion, test.run));
    EXPECT_EQ(OtsuThresholdRuns(runs, count, criterion, test.run, 2),
              OtsuThresholdRuns(runs, count, criterion, test.run, 1));
  }
}

}  // namespace
}  // namespace genshoku
