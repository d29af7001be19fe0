#include "engine/kmeans/palette_bounds.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace genshoku {
namespace {

TEST(PaletteBounds, IntegerPartsAreCommonOnlyWhereEveryValueBetweenShareOne) {
  int32_t part = 99;
  EXPECT_TRUE(CommonIntegerPart(3.0, 3.0, part));
  EXPECT_EQ(part, 3);
  EXPECT_TRUE(CommonIntegerPart(3.25, 3.75, part));
  EXPECT_EQ(part, 3);
  EXPECT_FALSE(CommonIntegerPart(2.75, 3.25, part));
  // Truncation goes toward zero: every value of [-0.25, 0.25] has the integer part 0. A span
  // of a whole unit is never taken as common, whatever its ends.
  EXPECT_TRUE(CommonIntegerPart(-0.25, 0.25, part));
  EXPECT_EQ(part, 0);
  EXPECT_FALSE(CommonIntegerPart(-0.5, 0.5, part));
  EXPECT_TRUE(CommonIntegerPart(-1.75, -1.25, part));
  EXPECT_EQ(part, -1);
  EXPECT_FALSE(CommonIntegerPart(-0.5, 1.0, part));
  EXPECT_FALSE(CommonIntegerPart(0.0, NAN, part));
}

TEST(PaletteBounds, AChangeIsCertainOnlyWhenBothSidesAreKnown) {
  PaletteBounds a, b;
  for (int e = 0; e < kPaletteSize; ++e) {
    a.SetExact(e, 10.5, 20.5, 30.5);
    b.SetExact(e, 10.9, 20.1, 30.0);
  }
  EXPECT_EQ(IntegerPartsChange(a, b, 0), Change::None);
  b.SetExact(1, 11.0, 20.0, 30.0);
  EXPECT_EQ(IntegerPartsChange(a, b, 1), Change::Moved);
  const DoubleInterval straddling[3] = {{10.9, 11.1}, {20.0, 20.5}, {30.0, 30.1}};
  b.SetBounds(2, straddling, 1.0);
  EXPECT_EQ(IntegerPartsChange(a, b, 2), Change::Unknown);
  // A certain move in one component decides, whatever the others.
  const DoubleInterval movedU[3] = {{10.9, 11.1}, {21.0, 21.5}, {30.0, 30.1}};
  b.SetBounds(3, movedU, 1.0);
  EXPECT_EQ(IntegerPartsChange(a, b, 3), Change::Moved);
}

TEST(PaletteBounds, TheRadiusReachesEveryPointOfTheBoundsAlsoWhenWidened) {
  std::mt19937 generator(12);
  std::uniform_real_distribution<double> value(-300.0, 300.0), width(0.0, 1e-3);
  for (const double widening : {1.0, 1e3, 1e8}) {
    PaletteBounds bounds;
    for (int e = 0; e < kPaletteSize; ++e) {
      DoubleInterval box[3];
      for (DoubleInterval& side : box) {
        side.low = value(generator);
        side.high = side.low + (e % 3 == 0 ? 0.0 : width(generator));
      }
      if (e % 7 == 0)
        box[0].high = box[0].low = box[1].high = box[1].low = box[2].high = box[2].low;
      bounds.SetBounds(e, box, widening);
      EXPECT_EQ(bounds.Exact(e), box[0].exact() && box[1].exact() && box[2].exact());
      const double* lows[3] = {&bounds.low.Y[e], &bounds.low.U[e], &bounds.low.V[e]};
      const double* highs[3] = {&bounds.high.Y[e], &bounds.high.U[e], &bounds.high.V[e]};
      const double centre[3] = {bounds.centre.Y[e], bounds.centre.U[e], bounds.centre.V[e]};
      double farthest = 0.0;
      for (int k = 0; k < 3; ++k) {
        // The widened bounds still hold the true ones.
        EXPECT_LE(*lows[k], box[k].low);
        EXPECT_GE(*highs[k], box[k].high);
        const double reach = std::max(centre[k] - *lows[k], *highs[k] - centre[k]);
        farthest += reach * reach;
      }
      EXPECT_GE(bounds.radius[e], std::sqrt(farthest)) << e << ", widening " << widening;
    }
  }
}

}  // namespace
}  // namespace genshoku
