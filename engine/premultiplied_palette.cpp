#include "engine/premultiplied_palette.h"

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>

#include "engine/nearest_of_four.h"

namespace genshoku {

namespace {

constexpr int kAxes = 4;

// A colour in premultiplied RGBA on the byte scale: r * a / 255, g * a / 255, b * a / 255, a.
struct Point {
  std::array<double, kAxes> c;
  double weight;
};

Point PremultipliedPoint(Rgba colour, double weight) {
  return {Premultiplied(colour.red, colour.green, colour.blue, colour.alpha), weight};
}

double SquaredDistance(const std::array<double, kAxes>& a, const std::array<double, kAxes>& b) {
  double sum = 0.0;
  for (int k = 0; k < kAxes; ++k) sum += (a[k] - b[k]) * (a[k] - b[k]);
  return sum;
}

// Weighted sums of a set of points, from which its mean and squared error follow.
struct Sums {
  double weight = 0.0;
  std::array<double, kAxes> first{};
  std::array<double, kAxes> second{};

  void Add(const Point& p) {
    weight += p.weight;
    for (int k = 0; k < kAxes; ++k) {
      first[k] += p.weight * p.c[k];
      second[k] += p.weight * p.c[k] * p.c[k];
    }
  }
  std::array<double, kAxes> Mean() const {
    std::array<double, kAxes> mean{};
    for (int k = 0; k < kAxes; ++k) mean[k] = weight > 0.0 ? first[k] / weight : 0.0;
    return mean;
  }
  double Spread(int k) const {
    return weight > 0.0 ? std::max(0.0, second[k] - first[k] * first[k] / weight) : 0.0;
  }
};

// A box of the median cut: points[begin, end) with its squared error and widest axis.
struct Box {
  size_t begin;
  size_t end;
  double error;
  int axis;
};

Box MakeBox(const std::vector<Point>& points, size_t begin, size_t end) {
  Sums sums;
  for (size_t i = begin; i < end; ++i) sums.Add(points[i]);
  Box box{begin, end, 0.0, 0};
  double widest = -1.0;
  for (int k = 0; k < kAxes; ++k) {
    const double spread = sums.Spread(k);
    box.error += spread;
    if (spread > widest) {
      widest = spread;
      box.axis = k;
    }
  }
  if (end - begin < 2) box.error = 0.0;
  return box;
}

// Cuts `box` at the weighted median of its widest axis; false when it cannot be cut.
bool CutBox(std::vector<Point>& points, const Box& box, Box& lower, Box& upper) {
  const int axis = box.axis;
  std::sort(points.begin() + static_cast<std::ptrdiff_t>(box.begin),
            points.begin() + static_cast<std::ptrdiff_t>(box.end),
            [axis](const Point& a, const Point& b) { return a.c[axis] < b.c[axis]; });
  double total = 0.0;
  for (size_t i = box.begin; i < box.end; ++i) total += points[i].weight;
  double below = 0.0;
  size_t cut = box.begin + 1;
  for (size_t i = box.begin; i + 1 < box.end; ++i) {
    below += points[i].weight;
    cut = i + 1;
    if (below * 2.0 >= total) break;
  }
  if (cut <= box.begin || cut >= box.end) return false;
  lower = MakeBox(points, box.begin, cut);
  upper = MakeBox(points, cut, box.end);
  return true;
}

std::vector<std::array<double, kAxes>> MedianCut(std::vector<Point>& points, int entries) {
  std::vector<Box> boxes{MakeBox(points, 0, points.size())};
  while (static_cast<int>(boxes.size()) < entries) {
    size_t chosen = boxes.size();
    for (size_t b = 0; b < boxes.size(); ++b) {
      if (boxes[b].error > 0.0 && (chosen == boxes.size() || boxes[b].error > boxes[chosen].error))
        chosen = b;
    }
    if (chosen == boxes.size()) break;
    Box lower, upper;
    if (!CutBox(points, boxes[chosen], lower, upper)) {
      boxes[chosen].error = 0.0;
      continue;
    }
    boxes[chosen] = lower;
    boxes.push_back(upper);
  }
  std::vector<std::array<double, kAxes>> centres;
  for (const Box& box : boxes) {
    Sums sums;
    for (size_t i = box.begin; i < box.end; ++i) sums.Add(points[i]);
    centres.push_back(sums.Mean());
  }
  return centres;
}

// Lloyd steps: each centre moves to the mean of the points nearest to it; the sums of the
// last assignment are returned. A centre that no point is nearest to stays.
std::vector<Sums> LloydSteps(const std::vector<Point>& points,
                             std::vector<std::array<double, kAxes>>& centres, int steps) {
  std::vector<Sums> sums;
  for (int step = 0; step <= steps; ++step) {
    sums.assign(centres.size(), Sums{});
    // Neighbouring points mostly share their centre: each search starts from the last one.
    const NearestOfFour nearest(centres);
    size_t last = 0;
    for (const Point& p : points) {
      last = nearest.Find(p.c, last);
      sums[last].Add(p);
    }
    if (step == steps) break;
    for (size_t e = 0; e < centres.size(); ++e) {
      if (sums[e].weight > 0.0) centres[e] = sums[e].Mean();
    }
  }
  return sums;
}

uint8_t ToByte(double value) {
  return static_cast<uint8_t>(std::clamp(std::lround(value), 0L, 255L));
}

}  // namespace

std::vector<Rgba> DesignPremultipliedPalette(const std::vector<CountedRgba>& colours, int entries,
                                             int lloydSteps) {
  std::vector<Rgba> palette;
  if (colours.empty() || entries < 1) return palette;
  if (colours.size() <= static_cast<size_t>(entries)) {
    for (const CountedRgba& counted : colours) palette.push_back(counted.colour);
    return palette;
  }
  std::vector<Point> points;
  points.reserve(colours.size());
  for (const CountedRgba& counted : colours) {
    points.push_back(PremultipliedPoint(counted.colour, static_cast<double>(counted.count)));
  }
  std::vector<std::array<double, kAxes>> centres = MedianCut(points, entries);
  const std::vector<Sums> sums = LloydSteps(points, centres, lloydSteps);
  for (size_t e = 0; e < centres.size(); ++e) {
    if (sums[e].weight <= 0.0) continue;  // no pixel is nearest to it: no entry
    // The mean alpha, and the colour whose premultiplied value is the mean one.
    const std::array<double, kAxes> mean = sums[e].Mean();
    const double alpha = mean[3] / kAlphaWeight;
    Rgba entry;
    entry.alpha = ToByte(alpha);
    entry.red = ToByte(alpha > 0.0 ? mean[0] * 255.0 / alpha : 0.0);
    entry.green = ToByte(alpha > 0.0 ? mean[1] * 255.0 / alpha : 0.0);
    entry.blue = ToByte(alpha > 0.0 ? mean[2] * 255.0 / alpha : 0.0);
    palette.push_back(entry);
  }
  return palette;
}

int NearestPremultipliedEntry(const std::vector<Rgba>& palette, Rgba colour) {
  const Point point = PremultipliedPoint(colour, 1.0);
  int best = 0;
  double bestDistance = DBL_MAX;
  for (size_t e = 0; e < palette.size(); ++e) {
    const double distance = SquaredDistance(point.c, PremultipliedPoint(palette[e], 1.0).c);
    if (distance < bestDistance) {
      bestDistance = distance;
      best = static_cast<int>(e);
    }
  }
  return best;
}

}  // namespace genshoku
