#include "engine/nearest_entry_search.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>

namespace genshoku {

namespace {

constexpr double kRelativeMargin = 1e-9;
constexpr double kAbsoluteMargin = 1e-9;

}  // namespace

void NearestEntrySearch::SetPalette(const double* c0, const double* c1, const double* c2,
                                    int count) {
  count_ = count;
  for (int e = 0; e < count; ++e) {
    c0_[e] = c0[e];
    c1_[e] = c1[e];
    c2_[e] = c2[e];
  }
  const size_t others = static_cast<size_t>(std::max(count - 1, 0));
  neighbourDistance_.assign(static_cast<size_t>(count) * others, 0.0);
  neighbourIndex_.assign(static_cast<size_t>(count) * others, 0);
  inRange_ = true;
  for (int e = 0; e < count; ++e) {
    if (!(std::fabs(c0_[e]) < 1e100 && std::fabs(c1_[e]) < 1e100 && std::fabs(c2_[e]) < 1e100)) {
      inRange_ = false;
    }
  }
  std::vector<std::pair<double, int>> row(others);
  for (int a = 0; a < count; ++a) {
    size_t k = 0;
    for (int b = 0; b < count; ++b) {
      if (b != a) row[k++] = {EntryDistance(a, b), b};
    }
    // NaN distances (entries that are not numbers) go last and are never passed over.
    std::sort(row.begin(), row.end(), [](const auto& x, const auto& y) {
      const bool xNan = std::isnan(x.first), yNan = std::isnan(y.first);
      if (xNan != yNan) return yNan;
      if (x.first != y.first) return x.first < y.first;
      return x.second < y.second;
    });
    for (size_t j = 0; j < others; ++j) {
      neighbourDistance_[a * others + j] =
          std::isnan(row[j].first) ? std::numeric_limits<double>::infinity() : row[j].first;
      neighbourIndex_[a * others + j] = static_cast<uint8_t>(row[j].second);
    }
  }
}

double NearestEntrySearch::EntryDistance(int a, int b) const {
  const double d0 = c0_[a] - c0_[b];
  const double d1 = c1_[a] - c1_[b];
  const double d2 = c2_[a] - c2_[b];
  return std::sqrt(d0 * d0 + d1 * d1 + d2 * d2);
}

int NearestEntrySearch::FindByScan(double x0, double x1, double x2) const {
  double bestDistance = DBL_MAX;
  int best = 0;
  for (int e = 0; e < count_; ++e) {
    const double distance = SquaredDistance(x0, x1, x2, e);
    if (distance < bestDistance) {
      bestDistance = distance;
      best = e;
    }
  }
  return best;
}

int NearestEntrySearch::Find(double x0, double x1, double x2, int start,
                             double* secondBound) const {
  const double startSquared = SquaredDistance(x0, x1, x2, start);
  // Points or entries far out of range (infinite or not a number) go the plain way.
  if (!inRange_ || !(startSquared < 1e200)) {
    if (secondBound) *secondBound = 0.0;
    return FindByScan(x0, x1, x2);
  }
  const double fromStart = std::sqrt(startSquared);
  int best = start;
  double bestSquared = startSquared;
  double bestDistance = fromStart;
  double secondSquared = std::numeric_limits<double>::infinity();
  const size_t others = static_cast<size_t>(count_ - 1);
  const double* distances = neighbourDistance_.data() + start * others;
  const uint8_t* indices = neighbourIndex_.data() + start * others;
  double unmeasuredBound = std::numeric_limits<double>::infinity();
  for (size_t k = 0; k < others; ++k) {
    const double limit = (fromStart + bestDistance) * (1.0 + kRelativeMargin) + kAbsoluteMargin;
    if (distances[k] > limit) {
      unmeasuredBound = distances[k] - fromStart;
      break;
    }
    const int e = indices[k];
    const double squared = SquaredDistance(x0, x1, x2, e);
    if (squared < bestSquared || (squared == bestSquared && e < best)) {
      secondSquared = std::min(secondSquared, bestSquared);
      best = e;
      bestSquared = squared;
      bestDistance = std::sqrt(squared);
    } else {
      secondSquared = std::min(secondSquared, squared);
    }
  }
  if (secondBound) *secondBound = std::min(std::sqrt(secondSquared), unmeasuredBound);
  return best;
}

}  // namespace genshoku
