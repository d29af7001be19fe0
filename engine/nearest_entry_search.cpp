#include "engine/nearest_entry_search.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>

namespace genshoku {

namespace {

constexpr double kRelativeMargin = 1e-9;
constexpr double kAbsoluteMargin = 1e-9;

// How far down the start's neighbour list an entry may lie and still be nearer to the
// point than `distance`: entry j is at least d(start, j) - d(x, start) away from x.
double LimitFor(double fromStart, double distance) {
  return (fromStart + distance) * (1.0 + kRelativeMargin) + kAbsoluteMargin;
}

}  // namespace

void NearestEntrySearch::SetPalette(const double* c0, const double* c1, const double* c2,
                                    int count) {
  const bool sameCount = count == count_;
  count_ = count;
  ++version_;
  for (int e = 0; e < count; ++e) {
    // Equal coordinates give bitwise the same distances, so the keys of a list between
    // two entries that kept theirs are still right. (A coordinate that is not a number
    // equals nothing, so its entry always counts as moved.)
    if (!sameCount || c0_[e] != c0[e] || c1_[e] != c1[e] || c2_[e] != c2[e]) {
      movedAt_[e] = version_;
    }
    c0_[e] = c0[e];
    c1_[e] = c1[e];
    c2_[e] = c2[e];
  }
  const size_t others = static_cast<size_t>(std::max(count - 1, 0));
  if (rowOrdered_.size() != static_cast<size_t>(count)) rowOrdered_.assign(count, 0);
  neighbourDistance_.resize(static_cast<size_t>(count) * others);
  neighbourIndex_.resize(static_cast<size_t>(count) * others);
  if (!rowState_) rowState_ = std::make_unique<std::atomic<uint8_t>[]>(256);
  for (int e = 0; e < 256; ++e) rowState_[e].store(0, std::memory_order_relaxed);
  inRange_ = true;
  for (int e = 0; e < count; ++e) {
    if (!(std::fabs(c0_[e]) < 1e100 && std::fabs(c1_[e]) < 1e100 && std::fabs(c2_[e]) < 1e100)) {
      inRange_ = false;
    }
  }
}

void NearestEntrySearch::NeighboursOf(int entry, const float*& distances,
                                      const uint8_t*& indices) const {
  const size_t others = static_cast<size_t>(count_ - 1);
  distances = neighbourDistance_.data() + entry * others;
  indices = neighbourIndex_.data() + entry * others;
  std::atomic<uint8_t>& state = rowState_[entry];
  if (state.load(std::memory_order_acquire) == 2) return;
  uint8_t expected = 0;
  if (!state.compare_exchange_strong(expected, 1, std::memory_order_acq_rel)) {
    while (state.load(std::memory_order_acquire) != 2) {
    }
    return;
  }
  MakeRow(entry);
}

// Inline in the passes over the lists, which make one key for every pair of entries whose
// ends moved.
[[gnu::always_inline]] inline uint64_t NearestEntrySearch::SortKey(int entry, int other) const {
  // Lowered by far more than the rounding to single precision can raise it, so the stored
  // value never exceeds the distance.
  const double distance = EntryDistance(entry, other);
  const float rounded = std::isnan(distance) ? std::numeric_limits<float>::infinity()
                                             : static_cast<float>(distance * (1.0 - 1e-6));
  // The bits of a non-negative float order like its value; the index breaks ties.
  uint32_t bits;
  std::memcpy(&bits, &rounded, sizeof bits);
  return (uint64_t{bits} << 32) | static_cast<uint32_t>(other);
}

void NearestEntrySearch::SortKeysAfresh(int entry, uint64_t* keys) const {
  size_t k = 0;
  for (int b = 0; b < count_; ++b) {
    if (b != entry) keys[k++] = SortKey(entry, b);
  }
  std::sort(keys, keys + k);
}

void NearestEntrySearch::StoreRow(int entry, const uint64_t* keys) const {
  const size_t others = static_cast<size_t>(count_ - 1);
  float* rowDistances = neighbourDistance_.data() + entry * others;
  uint8_t* rowIndices = neighbourIndex_.data() + entry * others;
  for (size_t j = 0; j < others; ++j) {
    const uint32_t bits = static_cast<uint32_t>(keys[j] >> 32);
    std::memcpy(&rowDistances[j], &bits, sizeof bits);
    rowIndices[j] = static_cast<uint8_t>(keys[j] & 0xFF);
  }
  rowOrdered_[entry] = 1;
  rowMadeAt_[entry] = version_;
  rowState_[entry].store(2, std::memory_order_release);
}

void NearestEntrySearch::MakeNeighbourLists(int first, int end) {
  if (count_ < 2) return;
  for (int entry = std::max(first, 0); entry < std::min(end, count_); ++entry) {
    if (rowState_[entry].load(std::memory_order_acquire) == 2) continue;
    MakeRow(entry);
  }
}

void NearestEntrySearch::MakeRow(int entry) const {
  uint64_t keys[256];
  if (!rowOrdered_[entry]) {
    SortKeysAfresh(entry, keys);
    StoreRow(entry, keys);
    return;
  }
  const size_t others = static_cast<size_t>(count_ - 1);
  const float* previousDistances = neighbourDistance_.data() + entry * others;
  const uint8_t* previous = neighbourIndex_.data() + entry * others;
  const uint64_t madeAt = rowMadeAt_[entry];
  const bool entryMoved = movedAt_[entry] > madeAt;
  // Each key is put in its place among those before it as soon as it is made. The keys are
  // distinct, so any sorting gives the same list; starting from the previous order, few
  // keys are out of place.
  for (size_t j = 0; j < others; ++j) {
    const int other = previous[j];
    uint64_t key;
    if (entryMoved || movedAt_[other] > madeAt) {
      key = SortKey(entry, other);
    } else {
      // Neither end moved since the list was made: its stored key is the key.
      uint32_t bits;
      std::memcpy(&bits, &previousDistances[j], sizeof bits);
      key = (uint64_t{bits} << 32) | static_cast<uint32_t>(other);
    }
    size_t i = j;
    while (i > 0 && keys[i - 1] > key) {
      keys[i] = keys[i - 1];
      --i;
    }
    keys[i] = key;
  }
  StoreRow(entry, keys);
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

int NearestEntrySearch::Find(double x0, double x1, double x2, int start) const {
  const double startSquared = SquaredDistance(x0, x1, x2, start);
  // Points or entries far out of range (infinite or not a number) go the plain way.
  if (!inRange_ || !(startSquared < 1e200)) return FindByScan(x0, x1, x2);
  const double fromStart = std::sqrt(startSquared);
  int best = start;
  double bestSquared = startSquared;
  const size_t others = static_cast<size_t>(count_ - 1);
  const float* distances;
  const uint8_t* indices;
  NeighboursOf(start, distances, indices);
  double limit = LimitFor(fromStart, fromStart);
  for (size_t k = 0; k < others && distances[k] <= limit; ++k) {
    const int e = indices[k];
    // One coordinate alone already farther than the best cannot beat it: the full sum is
    // never smaller.
    const double d0 = x0 - c0_[e];
    const double d1 = x1 - c1_[e];
    if (d0 * d0 > bestSquared || d1 * d1 > bestSquared) continue;
    const double squared = SquaredDistance(x0, x1, x2, e);
    if (squared < bestSquared || (squared == bestSquared && e < best)) {
      best = e;
      bestSquared = squared;
      limit = LimitFor(fromStart, std::sqrt(squared));
    }
  }
  return best;
}

int NearestEntrySearch::FindWithRunnersUp(double x0, double x1, double x2, int start,
                                          RunnersUp& runnersUp) const {
  const double startSquared = SquaredDistance(x0, x1, x2, start);
  if (!inRange_ || !(startSquared < 1e200) || count_ < 2) {
    // Bounds of 0 say nothing and are always true.
    const int best = FindByScan(x0, x1, x2);
    runnersUp = {best == 0 && count_ >= 2 ? 1 : 0, 0.0, 0.0};
    return best;
  }
  const double fromStart = std::sqrt(startSquared);
  int best = start, second = -1;
  double bestSquared = startSquared;
  double secondSquared = std::numeric_limits<double>::infinity();
  double thirdSquared = std::numeric_limits<double>::infinity();
  const size_t others = static_cast<size_t>(count_ - 1);
  const float* distances;
  const uint8_t* indices;
  NeighboursOf(start, distances, indices);
  double unmeasuredBound = std::numeric_limits<double>::infinity();
  // The search goes on until no entry can beat the third best, so that the bound of the
  // others is the third best distance itself.
  double limit = std::numeric_limits<double>::infinity();
  for (size_t k = 0; k < others; ++k) {
    if (distances[k] > limit) {
      unmeasuredBound = distances[k] - fromStart;
      break;
    }
    const int e = indices[k];
    // One coordinate alone already farther than the third best: the full sum is never
    // smaller, so the entry is none of the three.
    const double d0 = x0 - c0_[e];
    const double d1 = x1 - c1_[e];
    if (d0 * d0 > thirdSquared || d1 * d1 > thirdSquared) continue;
    const double squared = SquaredDistance(x0, x1, x2, e);
    if (squared < bestSquared || (squared == bestSquared && e < best)) {
      thirdSquared = secondSquared;
      second = best;
      secondSquared = bestSquared;
      best = e;
      bestSquared = squared;
    } else if (squared < secondSquared) {
      thirdSquared = secondSquared;
      second = e;
      secondSquared = squared;
    } else if (squared < thirdSquared) {
      thirdSquared = squared;
    } else {
      continue;
    }
    if (thirdSquared < std::numeric_limits<double>::infinity()) {
      limit = LimitFor(fromStart, std::sqrt(thirdSquared));
    }
  }
  const double othersBound = std::min(std::sqrt(thirdSquared), unmeasuredBound);
  if (second < 0) {
    // Every other entry lies beyond the bound.
    runnersUp = {best == 0 ? 1 : 0, othersBound, othersBound};
  } else {
    runnersUp = {second, std::sqrt(secondSquared), othersBound};
  }
  return best;
}

}  // namespace genshoku
