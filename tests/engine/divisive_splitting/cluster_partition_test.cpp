#include "engine/divisive_splitting/cluster_partition.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/engine/clustering_test_support.h"
#include "tests/engine/support_colour_table.h"

namespace genshoku {
namespace {

using test_support::SameBits;

// A cluster of random colours cut where the Y component reaches `cut`, worked out the plain
// way and by the steps of the splitting.
struct CutCluster {
  ColourTable table;
  ClusterMembers parent;
  WorkingColours working;
  std::vector<uint32_t> pixelsOfColour;
  UnclearedVector<double> along;
  UnclearedVector<ColourSide> sides;
  ClusterMembers staying, moving;
  int64_t movingCount = 0;

  CutCluster(int64_t pixels, double cut, unsigned seed)
      : table(test_support::RandomColourTable(700, pixels, seed, 255.0, 9)),
        parent(test_support::ClusterOf(table, [](uint32_t c) { return c % 5 != 0; })) {
    working = WorkingOf(table, parent.colours);
    const size_t count = parent.colours.size();
    ColourSet set{working.data(), nullptr, {}};
    pixelsOfColour.resize(count);
    along.resize(count);
    for (size_t c = 0; c < count; ++c) {
      set.numbers.push_back(static_cast<uint32_t>(c));
      pixelsOfColour[c] = table.takingPart[parent.colours[c]];
      along[c] = working[c].y;
    }
    set.pixels = pixelsOfColour.data();
    sides.resize(count);
    movingCount =
        ShareOutColours(set, along, cut, staying, moving, parent.colours.data(),
                        [&](uint32_t c, uint32_t place, bool up) {
                          sides[c] = {working[c].y, working[c].u, working[c].v, place, up};
                        });
  }
};

// Each part must hold the parent's pixels of its side in pixel order, name their colours by
// their places in its own table, and carry the sums of its pixels added in pixel order.
void ExpectPartOfParent(const CutCluster& cut, const ClusterMembers& part, uint32_t up,
                        const std::string& what) {
  std::vector<Member> expected;
  Triple sums;
  for (const Member& member : cut.parent.pixels) {
    const ColourSide& side = cut.sides[member.colour];
    if (side.up != up) continue;
    expected.push_back({member.pixel, side.place});
    sums.x += side.v;
    sums.y += side.u;
    sums.z += side.y;
    EXPECT_EQ(part.colours[side.place], cut.parent.colours[member.colour]) << what;
  }
  ASSERT_EQ(part.pixels.size(), expected.size()) << what;
  for (size_t k = 0; k < expected.size(); ++k) {
    ASSERT_EQ(part.pixels[k].pixel, expected[k].pixel) << what << ", member " << k;
    ASSERT_EQ(part.pixels[k].colour, expected[k].colour) << what << ", member " << k;
  }
  EXPECT_TRUE(SameBits(part.sums, sums)) << what;
}

TEST(ClusterPartition, BothPartsHoldTheirSidesPixelsInOrderWithTheirSumsOnOneAndTwoThreads) {
  // Enough pixels for two threads; the larger part staying, then moving, then nearly all;
  // from records of the colours and (as for a cluster of very many colours) from words and
  // the colour table.
  for (const double cutAt : {200.0, 60.0, 1.0}) {
    for (int threads : {1, 2}) {
      for (const bool fromTable : {false, true}) {
        CutCluster cut(150'000, cutAt, 5);
        const int64_t m = static_cast<int64_t>(cut.parent.pixels.size());
        MemberList pixels = cut.parent.pixels;
        test_support::TestRun test;
        if (fromTable) {
          std::vector<uint32_t> placeAndUp;
          for (const ColourSide& side : cut.sides) {
            placeAndUp.push_back(side.place | (side.up != 0 ? TableSides::kUpBit : 0u));
          }
          PartitionMembers(
              pixels, m - cut.movingCount, cut.movingCount,
              TableSides{placeAndUp.data(), cut.parent.colours.data(), cut.table.working.data()},
              cut.staying, cut.moving, test.run, threads);
        } else {
          PartitionMembers(pixels, m - cut.movingCount, cut.movingCount, cut.sides.data(),
                           cut.staying, cut.moving, test.run, threads);
        }
        const std::string what = "cut at " + std::to_string(cutAt) + ", " +
                                 std::to_string(threads) + " thread(s)" +
                                 (fromTable ? ", from the table" : "");
        EXPECT_EQ(static_cast<int64_t>(cut.moving.pixels.size()), cut.movingCount) << what;
        ExpectPartOfParent(cut, cut.staying, 0, what + ", staying");
        ExpectPartOfParent(cut, cut.moving, 1, what + ", moving");
        EXPECT_GT(test.host.progressPoints, 0) << what;
      }
    }
  }
}

TEST(ClusterPartition, ADroppedSplitRejoinsAsItsParent) {
  for (const int64_t pixels : {int64_t{0}, int64_t{1}, int64_t{3000}}) {
    CutCluster cut(pixels, 128.0, 8);
    const int64_t m = static_cast<int64_t>(cut.parent.pixels.size());
    MemberList copy = cut.parent.pixels;
    test_support::TestRun test;
    PartitionMembers(copy, m - cut.movingCount, cut.movingCount, cut.sides.data(), cut.staying,
                     cut.moving, test.run, 1);
    const ClusterMembers whole = Rejoined(cut.staying, cut.moving);
    EXPECT_TRUE(cut.staying.pixels.empty() && cut.moving.pixels.empty());
    ASSERT_EQ(whole.pixels.size(), cut.parent.pixels.size());
    ASSERT_EQ(whole.colours.size(), cut.parent.colours.size());
    for (size_t k = 0; k < whole.pixels.size(); ++k) {
      const Member& member = whole.pixels[k];
      ASSERT_EQ(member.pixel, cut.parent.pixels[k].pixel) << k;
      ASSERT_EQ(whole.colours[member.colour], cut.parent.colours[cut.parent.pixels[k].colour]) << k;
    }
  }
}

}  // namespace
}  // namespace genshoku
