#include "tests/engine/reference/edge_map.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tests/engine/reference/engine_types.h"
#include "tests/engine/reference/gradients.h"

namespace genshoku::reference {
namespace {

// A picture of three planes.
struct Picture {
  int width, height;
  std::vector<uint8_t> r, g, b;

  Picture(int w, int h, uint8_t value = 0)
      : width(w), height(h), r(w * h, value), g(w * h, value), b(w * h, value) {}

  // Columns from `column` on get `value` in the chosen channels.
  void StepAtColumn(int column, uint8_t value, bool red, bool green, bool blue) {
    for (int y = 0; y < height; ++y) {
      for (int x = column; x < width; ++x) {
        const int i = y * width + x;
        if (red) r[i] = value;
        if (green) g[i] = value;
        if (blue) b[i] = value;
      }
    }
  }
};

struct EdgeMap {
  int count;
  std::vector<int16_t> labels;
  std::vector<double> strength;
};

EdgeMap Build(const Picture& p, int edgeOperator, int threshold = 20, int16_t fill = 0) {
  EdgeMap m{0, std::vector<int16_t>(p.width * p.height, fill),
            std::vector<double>(p.width * p.height, -1.0)};
  m.count = BuildEdgeMap(p.width, p.height, p.r.data(), p.g.data(), p.b.data(), edgeOperator,
                         threshold, m.labels.data(), m.strength.data());
  return m;
}

// The set of columns whose pixels are edge pixels, checking that every row agrees.
std::vector<int> EdgeColumns(const EdgeMap& m, int width) {
  const int height = static_cast<int>(m.labels.size()) / width;
  std::vector<int> columns;
  for (int x = 0; x < width; ++x) {
    const bool edge = m.labels[x] == LABEL_EDGE;
    for (int y = 0; y < height; ++y) {
      EXPECT_EQ(m.labels[y * width + x], edge ? LABEL_EDGE : LABEL_NONEDGE) << x << "," << y;
    }
    if (edge) columns.push_back(x);
  }
  return columns;
}

using Columns = std::vector<int>;

TEST(EdgeMapTest, FullStepMarksTheTwoColumnsBesideIt) {
  Picture p(20, 5);
  p.StepAtColumn(10, 255, true, true, true);
  for (int op : {0, 1, 2, 6}) {
    const EdgeMap m = Build(p, op);
    EXPECT_EQ(EdgeColumns(m, 20), (Columns{9, 10})) << op;
    EXPECT_EQ(m.count, 10) << op;
  }
  // The Sobel responses of 4 * 255 sit on the same two columns.
  for (int op : {3, 5}) EXPECT_EQ(EdgeColumns(Build(p, op), 20), (Columns{9, 10})) << op;
}

TEST(EdgeMapTest, OneChannelStepOfFortySeparatesTheRules) {
  Picture p(20, 5);
  p.StepAtColumn(10, 40, false, true, false);
  // Root mean square of the six differences: 40 / sqrt(6) < 20.
  EXPECT_EQ(EdgeColumns(Build(p, 6), 20), Columns{});
  // Any single difference of at least 20, read directly or through its flag.
  EXPECT_EQ(EdgeColumns(Build(p, 1), 20), (Columns{9, 10}));
  EXPECT_EQ(EdgeColumns(Build(p, 2), 20), (Columns{9, 10}));
  // Per channel: 40 / sqrt(2) >= 20.
  EXPECT_EQ(EdgeColumns(Build(p, 0), 20), (Columns{9, 10}));
  // Sobel, 160 per channel: 160 / (4 sqrt(2)) >= 20 but 160 / (4 sqrt(6)) < 20.
  EXPECT_EQ(EdgeColumns(Build(p, 3), 20), (Columns{9, 10}));
  EXPECT_EQ(EdgeColumns(Build(p, 5), 20), Columns{});
}

TEST(EdgeMapTest, ThresholdIsReachedWithEquality) {
  Picture p(6, 3);
  p.StepAtColumn(3, 20, true, false, false);
  EXPECT_EQ(EdgeColumns(Build(p, 1, 20), 6), (Columns{2, 3}));
  EXPECT_EQ(EdgeColumns(Build(p, 1, 21), 6), Columns{});
  // Operator 0 at its exact limit: a difference of 20 on one channel against sqrt(2) * t.
  // sqrt(2) * 14 = 19.8 is reached, sqrt(2) * 15 = 21.2 is not.
  EXPECT_EQ(EdgeColumns(Build(p, 0, 14), 6), (Columns{2, 3}));
  EXPECT_EQ(EdgeColumns(Build(p, 0, 15), 6), Columns{});
}

TEST(EdgeMapTest, BorderColumnsMirrorWithoutRepeatingTheBorderSample) {
  // A step between columns 0 and 1: column 0 reads column 1 on both sides and sees no
  // difference; column 1 sees the step.
  Picture p(5, 3, 0);
  p.StepAtColumn(1, 255, true, true, true);
  EXPECT_EQ(EdgeColumns(Build(p, 1), 5), Columns{1});
  EXPECT_EQ(EdgeColumns(Build(p, 3), 5), Columns{1});

  EXPECT_EQ(MirrorIndex(-1, 5), 1);
  EXPECT_EQ(MirrorIndex(5, 5), 3);
  EXPECT_EQ(MirrorIndex(2, 5), 2);
  EXPECT_EQ(MirrorIndex(-1, 2), 1);
  EXPECT_EQ(MirrorIndex(2, 2), 0);
  EXPECT_EQ(MirrorIndex(-1, 1), 0);
  EXPECT_EQ(MirrorIndex(1, 1), 0);
}

TEST(EdgeMapTest, OnePixelWideOrHighPictures) {
  // A column of ten pixels with a step between rows 4 and 5: only vertical differences.
  Picture column(1, 10);
  for (int y = 5; y < 10; ++y) column.r[y] = column.g[y] = column.b[y] = 255;
  for (int op : {0, 1, 2, 3, 5, 6}) {
    const EdgeMap m = Build(column, op);
    std::vector<int16_t> expected(10, LABEL_NONEDGE);
    expected[4] = expected[5] = LABEL_EDGE;
    EXPECT_EQ(m.labels, expected) << op;
    EXPECT_EQ(m.count, 2) << op;
  }
  // A row of ten pixels with a step between columns 4 and 5.
  Picture row(10, 1);
  row.StepAtColumn(5, 255, true, true, true);
  for (int op : {0, 1, 2, 3, 5, 6}) EXPECT_EQ(EdgeColumns(Build(row, op), 10), (Columns{4, 5}));

  const Picture single(1, 1, 200);
  for (int op = 0; op <= 6; ++op) EXPECT_EQ(Build(single, op).count, 0);
}

TEST(EdgeMapTest, OperatorFourMeasuresStrengthAndMarksNothing) {
  Picture p(20, 5);
  p.StepAtColumn(10, 255, true, true, true);
  const EdgeMap m = Build(p, 4);
  EXPECT_EQ(m.count, 0);
  EXPECT_EQ(m.labels, std::vector<int16_t>(100, LABEL_NONEDGE));
  // sqrt(3 * 1020^2) * 0.25 / sqrt(6) = 255 / sqrt(2) on the step, 0 elsewhere.
  for (int y = 0; y < 5; ++y) {
    for (int x = 0; x < 20; ++x) {
      const double expected = (x == 9 || x == 10) ? 255 / std::sqrt(2.0) : 0.0;
      EXPECT_NEAR(m.strength[y * 20 + x], expected, 1e-9) << x << "," << y;
    }
  }
}

TEST(EdgeMapTest, UnsupportedOperatorLeavesLabelsUntouched) {
  Picture p(20, 5);
  p.StepAtColumn(10, 255, true, true, true);
  for (int op : {-1, 7, 100}) {
    const EdgeMap m = Build(p, op, 20, 0);
    EXPECT_EQ(m.count, 0);
    EXPECT_EQ(m.labels, std::vector<int16_t>(100, 0));
  }
}

}  // namespace
}  // namespace genshoku::reference
