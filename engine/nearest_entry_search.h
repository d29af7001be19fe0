#pragma once
// The nearest palette entry of many points, without measuring all 256 entries each time.
//
// The answer must be the one of a scan of entries 0..255 that keeps the first of equal
// squared distances. The search measures only the entries that could possibly beat the best
// one found: by the triangle inequality an entry j is at least d(s, j) - d(x, s) away from
// x when s is the entry the search started from, so with the other entries sorted by their
// distance from s it stops at the first one beyond d(x, s) + d(x, best). The bounds carry a
// relative margin of 1e-9 (and an absolute one of 1e-9), far above the rounding of the
// distances themselves, so every entry whose computed squared distance could equal or beat
// the best one is measured, and equal distances are resolved to the lowest index as the
// scan would.

#include <atomic>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

namespace genshoku {

class NearestEntrySearch {
 public:
  // The palette as three coordinate arrays of `count` (1..256) entries, in the order in
  // which the squared distance adds them: ((d0^2 + d1^2) + d2^2).
  void SetPalette(const double* c0, const double* c1, const double* c2, int count);

  // Squared distance of (x0, x1, x2) to entry e, as the plain scan computes it.
  double SquaredDistance(double x0, double x1, double x2, int e) const {
    const double d0 = x0 - c0_[e];
    const double d1 = x1 - c1_[e];
    const double d2 = x2 - c2_[e];
    return d0 * d0 + d1 * d1 + d2 * d2;
  }

  // The nearest entry, starting from entry `start` (any entry; a good guess saves work).
  int Find(double x0, double x1, double x2, int start) const;

  // The two entries that follow the nearest one.
  struct RunnersUp {
    int second = 0;               // an entry other than the nearest
    double secondDistance = 0.0;  // from the point to `second` (not squared)
    double othersBound = 0.0;     // at most the distance to every entry but these two
  };
  // The nearest entry as Find gives it, and with it the second nearest and a lower bound of
  // the distance to all the others.
  int FindWithRunnersUp(double x0, double x1, double x2, int start, RunnersUp& runnersUp) const;

  // The plain scan over every entry.
  int FindByScan(double x0, double x1, double x2) const;

  // Distance (not squared) between entries a and b. (Inline: the neighbour lists measure
  // every pair of entries whose ends moved, in every pass of the refinement.)
  double EntryDistance(int a, int b) const {
    const double d0 = c0_[a] - c0_[b];
    const double d1 = c1_[a] - c1_[b];
    const double d2 = c2_[a] - c2_[b];
    return std::sqrt(d0 * d0 + d1 * d1 + d2 * d2);
  }

  // Makes the neighbour lists of every entry now. The lists of the previous palette (of
  // the same count) are the starting order, which saves most of the sorting when the
  // palette moved little.
  void MakeAllNeighbourLists() { MakeNeighbourLists(0, count_); }
  // The same for entries first..end-1 only; two threads may make disjoint ranges at once.
  void MakeNeighbourLists(int first, int end);
  // After MakeAllNeighbourLists: the other entries of `entry` by increasing distance from
  // it (count() - 1 of them), with lower bounds of their distances.
  const float* NeighbourDistances(int entry) const {
    return neighbourDistance_.data() + static_cast<size_t>(entry) * (count_ - 1);
  }
  const uint8_t* NeighbourIndices(int entry) const {
    return neighbourIndex_.data() + static_cast<size_t>(entry) * (count_ - 1);
  }

  int count() const { return count_; }
  // Coordinate `channel` (0, 1, 2) of entry e.
  double Coordinate(int channel, int e) const {
    return channel == 0 ? c0_[e] : channel == 1 ? c1_[e] : c2_[e];
  }
  // Every coordinate finite and of a sane size.
  bool InRange() const { return inRange_; }

 private:
  // The other entries of `entry` by increasing distance from it, made when first needed
  // (by any thread): the distances rounded down to single precision, so that every stored
  // distance is a lower bound of the true one.
  void NeighboursOf(int entry, const float*& distances, const uint8_t*& indices) const;
  // Sort key of `other` in the list of `entry`: its rounded-down distance, then its index.
  uint64_t SortKey(int entry, int other) const;
  // The keys of every other entry, sorted.
  void SortKeysAfresh(int entry, uint64_t* keys) const;
  // Stores an entry's sorted keys as its neighbour list and marks the list ready.
  void StoreRow(int entry, const uint64_t* keys) const;
  // Makes the neighbour list of `entry`: from its list of an earlier palette where there is
  // one, measuring again only the distances whose ends moved since.
  void MakeRow(int entry) const;

  int count_ = 0;
  bool inRange_ = true;  // every coordinate finite and of a sane size
  double c0_[256] = {}, c1_[256] = {}, c2_[256] = {};
  // For each entry, the other entries by increasing distance from it.
  mutable std::vector<float> neighbourDistance_;
  mutable std::vector<uint8_t> neighbourIndex_;
  // Per entry: 0 not made yet, 1 being made, 2 ready.
  mutable std::unique_ptr<std::atomic<uint8_t>[]> rowState_;
  // Per entry: its list holds the entries in some order (of an earlier palette).
  mutable std::vector<uint8_t> rowOrdered_;
  // Palettes set so far; per entry the palette at which its coordinates last changed, and
  // the palette its stored list was made for.
  uint64_t version_ = 0;
  uint64_t movedAt_[256] = {};
  mutable uint64_t rowMadeAt_[256] = {};
};

// Keeps up a lower margin: true when a distance known to be at most `upper` is certainly
// smaller than one known to be at least `lower`, whatever the rounding of both.
inline bool CertainlyBelow(double upper, double lower) {
  return upper * (1.0 + 1e-9) + 1e-9 < lower * (1.0 - 1e-9) - 1e-9;
}

}  // namespace genshoku
