#pragma once
// The nearest of a list of points in four dimensions (premultiplied RGBA), by the squared
// distance summed over the axes in order.
//
// A plain scan keeps the first point whose distance is below the best so far; it ends with
// the lowest index among the points at the least distance. This search gives exactly that
// point with less work. It starts from a guess (for a picture, the previous pixel's
// choice), then visits the points in order of their distance along the last axis (alpha)
// outwards from the point sought, and stops on each side where that distance alone
// exceeds the best: a sum of squares is never below any of its terms. A point whose
// partial sum already exceeds the best is dropped after one or two axes, since the
// remaining terms are never negative. Points at the same distance still go to the lowest
// index.

#include <algorithm>
#include <array>
#include <cfloat>
#include <cstddef>
#include <numeric>
#include <vector>

namespace genshoku {

class NearestOfFour {
 public:
  using Point = std::array<double, 4>;

  explicit NearestOfFour(const std::vector<Point>& points) : points_(points) {
    order_.resize(points.size());
    std::iota(order_.begin(), order_.end(), size_t{0});
    std::stable_sort(order_.begin(), order_.end(),
                     [&](size_t a, size_t b) { return points[a][3] < points[b][3]; });
    lastAxis_.resize(points.size());
    for (size_t i = 0; i < order_.size(); ++i) lastAxis_[i] = points[order_[i]][3];
  }

  // The index of the nearest point to p (0 for an empty list, or when every distance is
  // DBL_MAX or more, as in the plain scan).
  size_t Find(const Point& p, size_t guess) const {
    Best best;
    if (guess < points_.size()) Consider(p, guess, best);
    const size_t n = order_.size();
    const size_t middle = static_cast<size_t>(
        std::lower_bound(lastAxis_.begin(), lastAxis_.end(), p[3]) - lastAxis_.begin());
    for (size_t i = middle; i < n; ++i) {
      const double gap = lastAxis_[i] - p[3];
      if (gap * gap > best.distance) break;
      if (order_[i] != guess) Consider(p, order_[i], best);
    }
    for (size_t i = middle; i-- > 0;) {
      const double gap = lastAxis_[i] - p[3];
      if (gap * gap > best.distance) break;
      if (order_[i] != guess) Consider(p, order_[i], best);
    }
    return best.index == kNone ? 0 : best.index;
  }

 private:
  static constexpr size_t kNone = static_cast<size_t>(-1);
  struct Best {
    size_t index = kNone;
    // Only distances below DBL_MAX count, as in the plain scan.
    double distance = DBL_MAX;
  };

  void Consider(const Point& p, size_t e, Best& best) const {
    const Point& q = points_[e];
    double sum = 0.0;
    for (int k = 0; k < 4; ++k) {
      sum += (p[k] - q[k]) * (p[k] - q[k]);
      if (sum > best.distance) return;
    }
    if (sum < best.distance || (sum == best.distance && best.index != kNone && e < best.index)) {
      best.distance = sum;
      best.index = e;
    }
  }

  const std::vector<Point>& points_;
  std::vector<size_t> order_;
  std::vector<double> lastAxis_;
};

}  // namespace genshoku
