#include "engine/divisive_splitting/cluster_split.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/engine/clustering_test_support.h"
#include "tests/engine/support_colour_table.h"

namespace genshoku {
namespace {

using test_support::SameBits;

// The pixels of a part in pixel order with their colour numbers, and their sums.
struct Listed {
  std::vector<std::pair<uint32_t, uint32_t>> pixels;
  Triple sums;
};

Listed ListOf(const ColourTable& table, const ClusterMembers& cluster) {
  Listed listed;
  for (const Member& member : cluster.pixels) {
    const uint32_t c = cluster.colours[member.colour];
    listed.pixels.push_back({member.pixel, c});
    listed.sums.x += table.working[c].v;
    listed.sums.y += table.working[c].u;
    listed.sums.z += table.working[c].y;
  }
  return listed;
}

TEST(ClusterSplit, ThePartsShareOutTheParentAndADroppedSplitRejoinsAsIt) {
  ColourTable table = test_support::RandomColourTable(2000, 160'000, 21, 255.0, 11);
  std::vector<Listed> parts[2];
  for (int threads : {1, 2}) {
    Clusters clusters;
    clusters[7] = test_support::ClusterOf(table, [](uint32_t c) { return c % 4 != 1; });
    clusters[7].products = test_support::PlainProducts(table, clusters[7]);
    const ClusterMembers parent = clusters[7];
    const int64_t m = static_cast<int64_t>(parent.pixels.size());
    test_support::TestRun test;
    const SplitContext context{table, nullptr, ReductionParams{}, test.run};
    std::unique_ptr<WorkedSplit> worked = WorkOutSplit(context, clusters, 7, m, threads, 0, 0);
    const std::string what = std::to_string(threads) + " thread(s)";
    ASSERT_TRUE(worked->converged && worked->axisFromEigenvalues) << what;
    EXPECT_TRUE(clusters[7].pixels.empty()) << what;
    const Listed staying = ListOf(table, worked->staying);
    const Listed moving = ListOf(table, worked->moving);
    EXPECT_EQ(staying.pixels.size() + moving.pixels.size(), parent.pixels.size()) << what;
    EXPECT_FALSE(staying.pixels.empty() || moving.pixels.empty()) << what;
    EXPECT_TRUE(SameBits(worked->staying.sums, staying.sums)) << what;
    EXPECT_TRUE(SameBits(worked->moving.sums, moving.sums)) << what;
    EXPECT_TRUE(
        SameBits(worked->staying.products, test_support::PlainProducts(table, worked->staying)))
        << what;
    EXPECT_GT(worked->spread[0], 0.0);
    EXPECT_GT(worked->spread[1], 0.0);
    parts[threads - 1] = {staying, moving};

    const ClusterMembers whole = RejoinedCluster(*worked);
    const Listed rejoined = ListOf(table, whole);
    const Listed original = ListOf(table, parent);
    EXPECT_EQ(rejoined.pixels, original.pixels) << what;
    EXPECT_TRUE(SameBits(whole.sums, parent.sums) && SameBits(whole.products, parent.products))
        << what;
  }
  // One or two threads: the same parts.
  EXPECT_EQ(parts[0][0].pixels, parts[1][0].pixels);
  EXPECT_EQ(parts[0][1].pixels, parts[1][1].pixels);
}

TEST(ClusterSplit, AnEmptyClusterSplitsIntoNothingAndTakesThePreviousAxis) {
  ColourTable table = test_support::RandomColourTable(10, 50, 3);
  Clusters clusters;
  test_support::TestRun test;
  const SplitContext context{table, nullptr, ReductionParams{}, test.run};
  std::unique_ptr<WorkedSplit> worked = WorkOutSplit(context, clusters, 3, 0, 1, 2, 0);
  EXPECT_TRUE(worked->converged);
  EXPECT_FALSE(worked->axisFromEigenvalues);
  EXPECT_EQ(worked->axisIndex, 2);
  EXPECT_TRUE(worked->staying.pixels.empty() && worked->moving.pixels.empty());
  EXPECT_EQ(worked->spread[0], 0.0);
  EXPECT_EQ(worked->spread[1], 0.0);
}

}  // namespace
}  // namespace genshoku
