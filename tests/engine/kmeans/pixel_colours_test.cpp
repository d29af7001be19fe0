#include "engine/kmeans/pixel_colours.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/divisive_splitting.h"
#include "tests/engine/clustering_test_support.h"
#include "tests/engine/support_pictures.h"

namespace genshoku {
namespace {

// The splitting lets the per-pixel colour numbers go once its clusters hold them; made
// again from the clusters and (for edge pixels) from the planes, they must be what they
// were, edge flags included.
TEST(PixelColours, NumbersMadeAgainFromTheClustersAreTheOnesTheSplittingLetGo) {
  const test_support::Picture picture = test_support::PhotoLikePicture(400, 300, 12, 8);
  for (int threads : {1, 2}) {
    test_support::TestRun test;
    ReductionParams params;
    ColourTable table;
    BuildColourTable(picture.width, picture.height, picture.r.data(), picture.g.data(),
                     picture.b.data(), params, threads, table, test.run);
    const int edges =
        MarkEdgePixels(picture.width, picture.height, picture.r.data(), picture.g.data(),
                       picture.b.data(), params, threads, table, nullptr, test.run);
    ASSERT_GT(edges, 0);
    const std::vector<uint32_t> before(table.pixelColour.begin(), table.pixelColour.end());
    ClusterTable clusterTable;
    auto clusters = std::make_unique<Clusters>();
    SplitIntoClusters(table, nullptr, params, threads, kPaletteSize, clusterTable, *clusters,
                      test.run);
    ASSERT_TRUE(table.pixelColour.empty());
    RestorePixelColoursFromClusters(table, *clusters, picture.r.data(), picture.g.data(),
                                    picture.b.data(), test.run, threads);
    const std::vector<uint32_t> after(table.pixelColour.begin(), table.pixelColour.end());
    EXPECT_TRUE(after == before) << threads << " thread(s)";
    EXPECT_TRUE(table.present.empty() && table.edgeBits.empty());
  }
}

}  // namespace
}  // namespace genshoku
