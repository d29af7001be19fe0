#include "tests/engine/reference/divisive_splitting.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <memory>
#include <random>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "tests/engine/clustering_test_support.h"

namespace genshoku::reference {
namespace {

// Planes, labels and buffers of one splitting run.
struct SplitFixture {
  std::vector<double> y, u, v, edgeStrength;
  std::vector<int16_t> labels;
  ReductionParams params;
  ClusterTable table;
  test_support::TestRun test;
  std::unique_ptr<SplitBuffers> buffers;
  SplittingState state;

  explicit SplitFixture(size_t pixels)
      : y(pixels), u(pixels), v(pixels), edgeStrength(pixels), labels(pixels, LABEL_NONEDGE) {}

  SplittingState& State() {
    buffers = std::make_unique<SplitBuffers>(static_cast<int64_t>(y.size()));
    state.pixelCount = static_cast<int64_t>(y.size());
    state.planeY = y.data();
    state.planeU = u.data();
    state.planeV = v.data();
    state.edgeStrength = edgeStrength.data();
    state.pixelLabel = labels.data();
    state.params = &params;
    state.buffers = buffers.get();
    state.table = &table;
    state.run = &test.run;
    return state;
  }

  // The whole palette design up to 256 clusters, from the first split on.
  void SplitAll() {
    SplittingState& s = State();
    const int64_t edges = std::count(labels.begin(), labels.end(), LABEL_EDGE);
    const FirstSplitResult first =
        FirstSplit(s.pixelCount, y.data(), u.data(), v.data(), labels.data(), edges,
                   params.thresholdMode, *buffers, test.run);
    s.lastAxisIndex = first.axisIndex;
    SplitClusters(s, first.threshold);
  }

  const ClusterRecord* Current() const { return table.PT[table.MEN]; }
};

void ExpectTableMatchesLabels(const SplitFixture& f) {
  std::set<int> indexNumbers;
  int64_t total = 0;
  for (int position = 0; position < kPaletteSize; ++position) {
    const ClusterRecord& record = f.Current()[position];
    indexNumbers.insert(record.INDEXNO);
    EXPECT_EQ(record.COUNT, std::count(f.labels.begin(), f.labels.end(), record.INDEXNO))
        << "label " << record.INDEXNO;
    total += record.COUNT;
  }
  EXPECT_EQ(indexNumbers.size(), 256u);
  EXPECT_EQ(*indexNumbers.begin(), 0);
  EXPECT_EQ(*indexNumbers.rbegin(), 255);
  EXPECT_EQ(total, f.table.nonEdgeCount);
  EXPECT_EQ(f.table.nonEdgeCount, std::count_if(f.labels.begin(), f.labels.end(),
                                                [](int16_t l) { return l != LABEL_EDGE; }));
}

TEST(SplitClusters, NoisyPictureEndsWithAConsistentTableAndItsDiagnostics) {
  SplitFixture f(40 * 30);
  std::mt19937 generator(7);
  std::uniform_real_distribution<double> colour(0.0, 1000.0);
  for (size_t i = 0; i < f.y.size(); ++i) {
    f.y[i] = colour(generator);
    f.u[i] = colour(generator) * 0.3;
    f.v[i] = colour(generator) * 0.4;
    if (i % 17 == 3) f.labels[i] = LABEL_EDGE;
  }
  f.SplitAll();
  ExpectTableMatchesLabels(f);
  for (size_t i = 0; i < f.labels.size(); ++i) {
    if (i % 17 == 3) {
      EXPECT_EQ(f.labels[i], LABEL_EDGE);
    } else {
      EXPECT_GE(f.labels[i], 0);
      EXPECT_LT(f.labels[i], 256);
    }
  }
  // Every cluster holds pixels, so no record is empty in so spread a picture.
  for (int position = 0; position < kPaletteSize; ++position) {
    EXPECT_GT(f.Current()[position].COUNT, 0);
  }

  const std::string err = f.test.Err();
  const std::regex shape(
      "INDEXNO[0-3] (\\d+)\nINDEXNO4 (\\d+)\n"
      "INDEXNO[0-4] (\\d+)\nINDEXNO5 (\\d+)\n"
      "NUM= (\\d+)\nPT\\[MEN\\]\\[(\\d+)\\]\\.INDEXNO=(\\d+)\n"
      "(-?\\d+\\.\\d{6} -?\\d+\\.\\d{6} -?\\d+\\.\\d{6} \n){3}");
  std::smatch match;
  ASSERT_TRUE(std::regex_match(err, match, shape)) << err;
  EXPECT_EQ(match[5], match[6]);
  EXPECT_LT(std::stoi(match[7]), 41);
  // The only standard-output line of the splitting is the first threshold.
  const std::string out = f.test.Out();
  EXPECT_EQ(out.rfind("THRESH OHTSU2=", 0), 0u);
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1);
}

TEST(SplitClusters, FewColoursLeaveEmptyClustersAndPrintNanForTheEmptyMatrix) {
  SplitFixture f(60);
  for (size_t i = 0; i < f.y.size(); ++i) {
    const int colour = static_cast<int>(i % 3);
    f.y[i] = 100.0 * colour;
    f.u[i] = 30.0 * (colour == 1);
    f.v[i] = 7.0;
  }
  f.SplitAll();
  ExpectTableMatchesLabels(f);
  int nonEmpty = 0;
  for (int position = 0; position < kPaletteSize; ++position) {
    const ClusterRecord& record = f.Current()[position];
    if (record.COUNT > 0) ++nonEmpty;
    EXPECT_EQ(record.SPREAD, 0.0);
  }
  EXPECT_EQ(nonEmpty, 3);
  // By 41 clusters only empty clusters are left to split: the matrix is all 0/0.
  const std::string err = f.test.Err();
  EXPECT_NE(err.find("NUM= 0\n"), std::string::npos) << err;
  const std::regex nanRow("-?nan -?nan -?nan \n");
  EXPECT_EQ(
      std::distance(std::sregex_iterator(err.begin(), err.end(), nanRow), std::sregex_iterator()),
      3)
      << err;
}

TEST(SplitClusters, PixelsOnTheThresholdKeepLabelZeroFirstAndMoveLater) {
  SplitFixture f(2);
  f.y = {10.0, 0.0};
  SplittingState& s = f.State();
  f.buffers->alongAxis = {1.0, 0.5};
  SplitClusters(s, 1);
  // Pixel 0 sat exactly on the first threshold and got label 0; that single-colour cluster
  // was split first (equal priorities go to position 0) and all of it moved to label 2.
  // Every later split took the empty cluster left at position 0.
  EXPECT_EQ(f.labels[0], 2);
  EXPECT_EQ(f.labels[1], 1);
  ExpectTableMatchesLabels(f);
  EXPECT_EQ(f.Current()[0].INDEXNO, 0);
  EXPECT_EQ(f.Current()[0].COUNT, 0);
}

TEST(SelectClusterToSplit, LargestKeyWinsAndTiesGoToTheLowerPosition) {
  ClusterTable table;
  table.MEN = 1;
  ClusterRecord* records = table.PT[1];
  records[0] = {10, 3, 2.0};
  records[1] = {1, 0, 5.0};
  records[2] = {4, 1, 5.0};
  records[3] = {100, 2, 0.5};
  EXPECT_EQ(SelectClusterToSplit(table, 4, 1), 1);
  EXPECT_EQ(SelectClusterToSplit(table, 2, 1), 1);
  records[1].SPREAD = 2.0;
  EXPECT_EQ(SelectClusterToSplit(table, 2, 1), 0);  // equal keys: position 0
  // Mode 0 weighs the priority with the pixel count.
  EXPECT_EQ(SelectClusterToSplit(table, 4, 0), 3);
}

}  // namespace
}  // namespace genshoku::reference
