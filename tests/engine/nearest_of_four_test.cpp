#include "engine/nearest_of_four.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <random>
#include <vector>

namespace genshoku {
namespace {

// What the search must give: the first point at the least distance, by a plain scan.
size_t PlainScan(const std::vector<NearestOfFour::Point>& points, const NearestOfFour::Point& p) {
  size_t best = 0;
  double bestDistance = DBL_MAX;
  for (size_t e = 0; e < points.size(); ++e) {
    double distance = 0.0;
    for (int k = 0; k < 4; ++k) distance += (p[k] - points[e][k]) * (p[k] - points[e][k]);
    if (distance < bestDistance) {
      bestDistance = distance;
      best = e;
    }
  }
  return best;
}

// Whatever the guess, the pruned search finds the plain scan's point: also among repeated
// points and points at equal distances (coarse coordinates make many ties), and with points
// that share their alpha.
TEST(NearestOfFour, FindsThePlainScansPointWhateverTheGuess) {
  std::mt19937 generator(3);
  for (const double step : {1.0, 16.0, 64.0}) {
    std::uniform_int_distribution<int> coordinate(0, static_cast<int>(256 / step));
    auto randomPoint = [&] {
      return NearestOfFour::Point{coordinate(generator) * step, coordinate(generator) * step,
                                  coordinate(generator) * step, coordinate(generator) * step};
    };
    for (const size_t count : {size_t{1}, size_t{2}, size_t{17}, size_t{256}}) {
      std::vector<NearestOfFour::Point> points;
      for (size_t e = 0; e < count; ++e) points.push_back(randomPoint());
      if (count > 3) points[count - 1] = points[1];  // the same point twice
      const NearestOfFour search(points);
      for (int trial = 0; trial < 2000; ++trial) {
        const NearestOfFour::Point p = randomPoint();
        const size_t guess = static_cast<size_t>(generator() % (count + 1));  // may be outside
        ASSERT_EQ(search.Find(p, guess), PlainScan(points, p))
            << "step " << step << ", " << count << " points, trial " << trial;
      }
    }
  }
}

}  // namespace
}  // namespace genshoku
