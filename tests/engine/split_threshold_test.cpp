#include "tests/engine/reference/split_threshold.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tests/engine/clustering_test_support.h"
#include "tests/engine/reference/engine_types.h"
#include "tests/engine/reference/integer_parts.h"

namespace genshoku::reference {
namespace {

using test_support::TestRun;

TEST(IntegerProjection, TruncatesAfterAddingOneHalf) {
  EXPECT_EQ(RoundHalfUpTruncated(-1.2), 0);
  EXPECT_EQ(RoundHalfUpTruncated(-1.7), -1);
  EXPECT_EQ(RoundHalfUpTruncated(-1.49), 0);
  EXPECT_EQ(RoundHalfUpTruncated(1.5), 2);
  EXPECT_EQ(RoundHalfUpTruncated(0.49), 0);
  EXPECT_EQ(TruncateToInt32(std::nan("")), INT32_MIN);
}

TEST(OtsuThresholdReal, BothCriteriaKeepTheFirstOfEqualCandidates) {
  const double v[] = {3.3, 0.2, 3.1, 0.4};
  const double zero[] = {0, 0, 0, 0};
  for (int criterion : {3, 4}) {
    TestRun test;
    EXPECT_EQ(OtsuThresholdReal(4, v, zero, zero, criterion, test.run), 1) << criterion;
    EXPECT_EQ(test.host.progressPoints, 3) << "one progress point per candidate 1, 2, 3";
  }
}

TEST(OtsuThresholdReal, Criterion4MinimisesTheScatterInThreeDimensions) {
  // Along the axis the best one-dimensional cut is at 5, but the perpendicular coordinates
  // make {0, 4} | {6, 10} a worse split than {0} | {4, 6, 10} in three dimensions.
  const double v[] = {0, 4, 6, 10};
  const double p1[] = {0, 20, 20, 20};
  const double p2[] = {0, 0, 0, 0};
  TestRun test;
  EXPECT_EQ(OtsuThresholdReal(4, v, p2, p2, 3, test.run), 5);
  EXPECT_EQ(OtsuThresholdReal(4, v, p1, p2, 4, test.run), 1);
}

TEST(OtsuThresholdReal, RangeOfCandidates) {
  TestRun test;
  const double zero[] = {0, 0, 0};
  // All values inside one unit interval: no candidate, T = lo.
  const double narrow[] = {2.1, 2.9, 2.5};
  EXPECT_EQ(OtsuThresholdReal(3, narrow, zero, zero, 4, test.run), 2);
  // min = -0.5 gives lo = 0, so the first candidate is 1.
  const double nearZero[] = {-0.5, -0.4, 5.0};
  EXPECT_EQ(OtsuThresholdReal(3, nearZero, zero, zero, 4, test.run), 1);
  // min <= -1 uses floor.
  const double negative[] = {-2.5, -2.4, 5.0};
  EXPECT_EQ(OtsuThresholdReal(3, negative, zero, zero, 4, test.run), -2);
  // A single value: T = lo <= v.
  const double single[] = {-3.7};
  EXPECT_EQ(OtsuThresholdReal(1, single, zero, zero, 4, test.run), -4);
  EXPECT_EQ(test.host.progressPoints, 0 + 5 + 8 + 0);  // K - 1 candidates each

  // An empty list and an unknown criterion give 0 without a progress point.
  TestRun empty;
  EXPECT_EQ(OtsuThresholdReal(0, nullptr, nullptr, nullptr, 4, empty.run), 0);
  EXPECT_EQ(OtsuThresholdReal(3, negative, zero, zero, 2, empty.run), 0);
  EXPECT_EQ(empty.host.progressPoints, 0);
}

TEST(OtsuThresholdInt, SingleValueAndTwoGroups) {
  const int32_t single[] = {7, 7, 7};
  EXPECT_EQ(OtsuThresholdInt(3, single), 7);
  const int32_t groups[] = {10, 0, 10, 0};
  EXPECT_EQ(OtsuThresholdInt(4, groups), 1);
  const int32_t uneven[] = {-3, -3, -2, 5, 6, 6};
  EXPECT_EQ(OtsuThresholdInt(6, uneven), -1);
  EXPECT_EQ(OtsuThresholdInt(0, nullptr), 0);
}

TEST(MedianThreshold, PrintsMinimumMedianAndMaximum) {
  CapturedDiagnostics diagnostics;
  const int32_t values[] = {3, 0, 2, 1};
  EXPECT_EQ(MedianThreshold(4, values, diagnostics), 1);
  EXPECT_EQ(diagnostics.Text(DiagnosticStream::Out), "MIN=0,MED=1,MAX=3\n");
  diagnostics.Clear();
  const int32_t low[] = {5, 5, 5, 9};
  EXPECT_EQ(MedianThreshold(4, low, diagnostics), 5);
  EXPECT_EQ(diagnostics.Text(DiagnosticStream::Out), "MIN=5,MED=5,MAX=9\n");
  diagnostics.Clear();
  EXPECT_EQ(MedianThreshold(0, nullptr, diagnostics), 0);
  EXPECT_EQ(diagnostics.AllText(), "");
}

TEST(SplitThreshold, PrintsTheThresholdAtTheFirstSplitOnly) {
  const int32_t ints[] = {0, 0, 3, 3};
  const double along[] = {0.2, 0.4, 3.1, 3.3};
  const double zero[] = {0, 0, 0, 0};
  struct Case {
    int mode;
    int threshold;
    const char* firstLine;
  };
  for (const Case& c : {Case{0, 1, "THRESH OHTSU=1\n"}, Case{3, 1, "THRESH OHTSU2=1\n"},
                        Case{4, 1, "THRESH OHTSU2=1\n"}, Case{2, 0, ""}, Case{7, 42, ""}}) {
    TestRun first;
    EXPECT_EQ(SplitThreshold(c.mode, 4, ints, along, zero, zero, true, 42, first.run), c.threshold);
    EXPECT_EQ(first.Out(), c.firstLine) << c.mode;
    TestRun later;
    EXPECT_EQ(SplitThreshold(c.mode, 4, ints, along, zero, zero, false, 42, later.run),
              c.threshold);
    EXPECT_EQ(later.Out(), "") << c.mode;
  }
  TestRun median;
  EXPECT_EQ(SplitThreshold(1, 4, ints, along, zero, zero, false, 0, median.run), 2);
  EXPECT_EQ(median.Out(), "MIN=0,MED=2,MAX=3\n");
  TestRun empty;
  EXPECT_EQ(SplitThreshold(4, 0, ints, along, zero, zero, true, 5, empty.run), 0);
  EXPECT_EQ(empty.diagnostics.AllText(), "");
  EXPECT_EQ(empty.host.progressPoints, 0);
}

}  // namespace
}  // namespace genshoku::reference
