#include "engine/divisive_splitting/cluster_table.h"

#include <gtest/gtest.h>

#include <set>

namespace genshoku {
namespace {

ClusterTable TableWith(std::initializer_list<ClusterRecord> records) {
  ClusterTable table;
  table.MEN = 1;
  int position = 0;
  for (const ClusterRecord& record : records) table.PT[1][position++] = record;
  return table;
}

TEST(ClusterTable, SelectionTakesTheLargestKeyAndTiesGoToTheLowerPosition) {
  const ClusterTable table = TableWith({{10, 3, 2.0}, {1, 0, 5.0}, {4, 1, 5.0}, {100, 2, 0.5}});
  EXPECT_EQ(SelectClusterToSplit(table, 4, 1), 1);
  EXPECT_EQ(SelectClusterToSplit(table, 1, 1), 0);
  // Spread rule 0 weighs the priority with the pixel count: 20, 5, 20, 50.
  EXPECT_EQ(SelectClusterToSplit(table, 4, 0), 3);
  EXPECT_EQ(SelectClusterToSplit(table, 3, 0), 0);
  // A rule outside the known ones always takes the first position.
  EXPECT_EQ(SelectClusterToSplit(table, 4, 6), 0);
  EXPECT_EQ(SelectClusterToSplit(table, 4, -1), 0);
}

TEST(ClusterTable, TheLikeliestNextSplitPassesOverTheChosenTheEmptyAndTheWorkedOut) {
  const ClusterTable table =
      TableWith({{10, 3, 9.0}, {0, 0, 50.0}, {4, 1, 5.0}, {7, 2, 8.0}, {6, 4, 8.0}});
  std::array<bool, kPaletteSize> skip{};
  // Position 0 is the chosen one; position 1 holds no pixels; 3 and 4 tie, 3 comes first.
  EXPECT_EQ(LikeliestNextSplit(table, 5, 0, 1, skip), 3);
  skip[2] = true;  // label 2 sits at position 3
  EXPECT_EQ(LikeliestNextSplit(table, 5, 0, 1, skip), 4);
  skip[4] = skip[1] = true;
  EXPECT_EQ(LikeliestNextSplit(table, 5, 0, 1, skip), -1);
  // Rule 0: 90, -, 20, 56, 48 with position 3 excluded as the chosen one.
  EXPECT_EQ(LikeliestNextSplit(table, 5, 3, 0, std::array<bool, kPaletteSize>{}), 0);
}

TEST(ClusterTable, AnEnteredSplitLeadsTheOtherSideFollowedByTheRestInOrder) {
  ClusterTable table = TableWith({{10, 3, 9.0}, {2, 0, 1.0}, {4, 1, 5.0}, {7, 2, 8.0}});
  EnterSplit(table, 2, 4, {3, 1, 0.5}, {1, 4, 0.25});
  ASSERT_EQ(table.MEN, 0);
  const ClusterRecord* records = table.PT[0];
  const int expectedLabels[] = {1, 4, 3, 0, 2};
  std::set<int> labels;
  for (int position = 0; position < 5; ++position) {
    EXPECT_EQ(records[position].INDEXNO, expectedLabels[position]) << position;
    labels.insert(records[position].INDEXNO);
  }
  EXPECT_EQ(labels.size(), 5u);
  EXPECT_EQ(records[0].COUNT, 3);
  EXPECT_EQ(records[1].SPREAD, 0.25);
  EXPECT_EQ(records[2].SPREAD, 9.0);
  EXPECT_EQ(records[4].COUNT, 7);
  // The side that was current is left as it was.
  EXPECT_EQ(table.PT[1][2].INDEXNO, 1);
}

}  // namespace
}  // namespace genshoku
