// How much work the splitting does on pictures of one and of two colours, counted by its
// progress points (one every 65536 pixels of a pass, and one per split). Splitting a
// cluster whose colours all fall on one side of the cut must not pass over its pixels: a
// flat picture would otherwise cost a pass over every pixel for each of its 254 splits.

#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "engine/progress_points.h"
#include "tests/engine/support_reduction.h"

namespace genshoku {
namespace {

using test_support::Picture;

// Counts the progress points of each phase.
class CountingHost : public EngineHost {
 public:
  bool KeepGoing() override {
    ++points[phase_];
    return true;
  }
  void PhaseStarted(EnginePhase phase) override { phase_ = phase; }

  std::map<EnginePhase, int64_t> points;

 private:
  EnginePhase phase_ = EnginePhase::ColourSpace;
};

int64_t SplittingPoints(Picture picture, const ReductionParams& params, int threads) {
  CountingHost host;
  EngineServices services;
  services.host = &host;
  services.threads = threads;
  const test_support::Reduction reduction = test_support::Reduce(picture, params, services);
  EXPECT_EQ(reduction.result, ReduceResult::Ok);
  return host.points[EnginePhase::Splitting];
}

TEST(SplittingWork, PicturesOfOneOrTwoColoursAreSplitWithoutPassesPerSplit) {
  constexpr int kSide = 512;
  const int64_t passPoints = int64_t{kSide} * kSide / kItemsPerProgressPoint;  // 4
  // One point per split after the second, and a few passes over the pixels (the first
  // split's lists and sums). A pass per split would give over 254 * passPoints more.
  const int64_t bound = 254 + 8 * passPoints;
  const Picture pictures[] = {test_support::FlatPicture(kSide, kSide, 90, 140, 200),
                              test_support::StripesPicture(kSide, kSide, 7)};
  // Every threshold rule under the default spread rule, and every spread rule.
  std::vector<ReductionParams> settings;
  for (int mode = 0; mode <= 5; ++mode) {
    ReductionParams threshold, spread;
    threshold.thresholdMode = mode;
    spread.spreadMode = mode;
    if (mode <= 4) settings.push_back(threshold);
    if (mode != ReductionParams{}.spreadMode) settings.push_back(spread);
  }
  const char* const names[] = {"one colour", "two colours"};
  for (int p = 0; p < 2; ++p) {
    for (const ReductionParams& params : settings) {
      for (const int threads : {1, 2}) {
        EXPECT_LE(SplittingPoints(pictures[p], params, threads), bound)
            << names[p] << ", threshold rule " << params.thresholdMode << ", spread rule "
            << params.spreadMode << ", " << threads << " thread(s)";
      }
    }
  }
}

}  // namespace
}  // namespace genshoku
