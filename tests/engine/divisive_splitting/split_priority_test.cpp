#include "engine/divisive_splitting/split_priority.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/engine/clustering_test_support.h"
#include "tests/engine/support_colour_table.h"

namespace genshoku {
namespace {

using test_support::SameBits;

// The products and priorities of two clusters of a random table under `params`.
struct TwoClusters {
  ColourTable table;
  ClusterMembers first, second;
  std::vector<double> edgeStrength;

  TwoClusters(int64_t pixels, unsigned seed)
      : table(test_support::RandomColourTable(900, pixels, seed, 255.0, 7)),
        first(test_support::ClusterOf(table, [](uint32_t c) { return c % 3 == 0; })),
        second(test_support::ClusterOf(table, [](uint32_t c) { return c % 3 == 1; })),
        edgeStrength(static_cast<size_t>(pixels)) {
    for (size_t i = 0; i < edgeStrength.size(); ++i) edgeStrength[i] = double(i % 300);
  }

  void Spreads(const ReductionParams& params, int threads, double (&spread)[2],
               test_support::TestRun& test) {
    const SplitContext context{table, edgeStrength.data(), params, test.run};
    SpreadsOfTwoClusters(context, first, second, 0, threads, spread);
  }
};

TEST(SplitPriority, TheUsualPriorityIsTheSumOfSquaredDistancesAddedInPixelOrder) {
  for (int threads : {1, 2}) {
    TwoClusters clusters(300'000, 3);  // clusters past a progress point each
    double spread[2];
    test_support::TestRun test;
    clusters.Spreads(ReductionParams{}, threads, spread, test);
    for (const ClusterMembers* cluster : {&clusters.first, &clusters.second}) {
      const std::string what = std::to_string(threads) + " thread(s)";
      EXPECT_TRUE(
          SameBits(cluster->products, test_support::PlainProducts(clusters.table, *cluster)))
          << what;
      // The vector lanes must add each sum on its own, in pixel order.
      const Triple mean = MeanOfSums(cluster->sums, int64_t(cluster->pixels.size()));
      double squares = 0.0;
      for (const Member& member : cluster->pixels) {
        const ColourTable::Working& w = clusters.table.working[cluster->colours[member.colour]];
        const double dY = w.y - mean.z, dU = w.u - mean.y, dV = w.v - mean.x;
        squares += dY * dY + dU * dU + dV * dV;
      }
      EXPECT_TRUE(SameBits(cluster == &clusters.first ? spread[0] : spread[1], squares)) << what;
    }
    EXPECT_GT(test.host.progressPoints, 0);
  }
}

TEST(SplitPriority, EveryRuleGivesTheSameOnOneAndTwoThreadsAndAnEmptyClusterZero) {
  for (int spreadMode = 0; spreadMode <= 5; ++spreadMode) {
    for (int edgeOperator : {0, 4}) {
      ReductionParams params;
      params.spreadMode = spreadMode;
      params.edgeOperator = edgeOperator;
      params.distancePowerOn = edgeOperator == 4 ? 1 : 0;
      double spreads[2][2];
      CovarianceSums products[2];
      for (int threads : {1, 2}) {
        TwoClusters clusters(140'000, 11);
        test_support::TestRun test;
        clusters.Spreads(params, threads, spreads[threads - 1], test);
        products[threads - 1] = clusters.first.products;
      }
      const std::string what =
          "rule " + std::to_string(spreadMode) + ", edge operator " + std::to_string(edgeOperator);
      EXPECT_TRUE(SameBits(spreads[0][0], spreads[1][0]) && SameBits(spreads[0][1], spreads[1][1]))
          << what;
      EXPECT_TRUE(SameBits(products[0], products[1])) << what;
      EXPECT_GT(spreads[0][0], 0.0) << what;
    }
  }
  TwoClusters clusters(100, 2);
  clusters.second = ClusterMembers{};
  double spread[2];
  test_support::TestRun test;
  clusters.Spreads(ReductionParams{}, 1, spread, test);
  EXPECT_EQ(spread[1], 0.0);
  EXPECT_GT(spread[0], 0.0);
}

TEST(SplitPriority, TheLargestDistanceRuleTakesTheFarthestColourFromTheMean) {
  ColourTable table = test_support::RandomColourTable(3, 30, 1);
  table.working[0] = {0.0, 0.0, 0.0};
  table.working[1] = {10.0, 0.0, 0.0};
  table.working[2] = {100.0, 40.0, 0.0};
  ClusterMembers first = test_support::ClusterOf(table, [](uint32_t c) { return c < 2; });
  ClusterMembers second = test_support::ClusterOf(table, [](uint32_t c) { return c == 2; });
  ReductionParams params;
  params.spreadMode = 0;
  test_support::TestRun test;
  double spread[2];
  SpreadsOfTwoClusters({table, nullptr, params, test.run}, first, second, 0, 1, spread);
  const double meanY = first.sums.z / double(first.pixels.size());
  EXPECT_EQ(spread[0], std::max(meanY * meanY, (10.0 - meanY) * (10.0 - meanY)));
  EXPECT_EQ(spread[1], 0.0);  // one colour: no distance
}

}  // namespace
}  // namespace genshoku
