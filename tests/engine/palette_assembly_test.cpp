#include "tests/engine/reference/palette_assembly.h"

#include <gtest/gtest.h>

#include "tests/engine/clustering_test_support.h"

namespace genshoku::reference {
namespace {

TEST(AssemblePalette, EntriesAreClusterMeansByLabelAndEmptyClustersAreWhite) {
  // Labels 3 and 200 hold pixels; the edge pixel would spoil both means if it counted.
  const int16_t labels[] = {3, LABEL_EDGE, 200, 3};
  const double y[] = {1.0, 1000.0, 10.0, 2.0};
  const double u[] = {4.0, 1000.0, 20.0, 8.0};
  const double v[] = {-1.0, 1000.0, 30.0, -2.0};
  ClusterTable table;
  table.MEN = 1;
  for (int position = 0; position < kPaletteSize; ++position) {
    // The record's position is not its label.
    table.PT[1][position] = {0, 255 - position, 0.0};
  }
  table.PT[1][255 - 3].COUNT = 2;
  table.PT[1][255 - 200].COUNT = 1;
  table.nonEdgeCount = 3;

  WorkingPalette palette;
  palette.Y.fill(-7.0);  // stale values must not survive
  test_support::TestRun test;
  AssemblePalette(4, labels, y, u, v, table, palette, test.run);

  EXPECT_EQ(palette.Y[3], 1.5);
  EXPECT_EQ(palette.U[3], 6.0);
  EXPECT_EQ(palette.V[3], -1.5);
  EXPECT_EQ(palette.Y[200], 10.0);
  EXPECT_EQ(palette.U[200], 20.0);
  EXPECT_EQ(palette.V[200], 30.0);
  for (int entry : {0, 1, 2, 4, 199, 201, 255}) {
    EXPECT_EQ(palette.Y[entry], 255.0) << entry;
    EXPECT_EQ(palette.U[entry], 255.0) << entry;
    EXPECT_EQ(palette.V[entry], 255.0) << entry;
  }
  EXPECT_EQ(test.Out(), "edge denai gasosuu = 3\npalette sou gasosuu=3\n");
  EXPECT_EQ(test.Err(), "");
  EXPECT_EQ(test.host.progressPoints, 1);
}

}  // namespace
}  // namespace genshoku::reference
