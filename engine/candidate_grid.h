#pragma once
// The nearest palette entry of points that lie in a known box, from a grid of cells over
// that box: each cell lists the few entries that can be nearest to any point in it, so a
// point is measured against those only, without branching on the distances.
//
// The answer is the one of a scan of all entries that keeps the first of equal squared
// distances. A cell lists every entry whose distance from the cell could come within a
// relative 1e-9 of the distance from the cell's farthest point to one fixed entry; the
// rounding of a computed squared distance is far smaller than that, so every entry whose
// computed distance could equal or beat the winner's is listed, and the list is in index
// order, so the first of equal distances wins as in the scan. A cell is made the first time
// a point falls into it (by whichever thread gets there first). Where entries crowd (the
// dark end of a night sky holds dozens of them in one cell), a cell with too many
// candidates is cut into fine cells, made the same way. Points outside the grid, in a cell
// still being made by the other thread, or in a fine cell that is still crowded take the
// pruned search instead.

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>

#include <emmintrin.h>

#include "engine/nearest_entry_search.h"

namespace genshoku {

class CandidateGrid {
 public:
  // Entries listed at most per cell; a cell that would need more uses the pruned search.
  static constexpr int kMaxCandidates = 15;

  // `search` holds the palette and must outlive the grid. low and high bound the points
  // that will be looked up (points outside are still answered, by the pruned search); the
  // grid has at most about `cellBudget` cells.
  CandidateGrid(const NearestEntrySearch& search, const double low[3], const double high[3],
                int64_t cellBudget);

  // The nearest entry of (x0, x1, x2); `start` (any entry) starts the pruned search where
  // the grid cannot answer.
  int Find(double x0, double x1, double x2, int start) const {
    const int64_t index = CellOf(x0, x1, x2);
    if (index >= 0) {
      const uint32_t state =
          std::atomic_ref<uint32_t>(state_[index]).load(std::memory_order_acquire);
      if (state >= kFirstCell && state < kFirstCut) {
        return Nearest(cells_[state - kFirstCell], x0, x1, x2);
      }
    }
    return FindElsewhere(index, x0, x1, x2, start);
  }

  // For tests: the cells made so far and their candidates in all, and the crowded cells
  // that were cut into fine cells.
  int64_t CellsMade() const { return made_.load(); }
  int64_t CandidatesListed() const;
  int64_t CellsCut() const { return std::min<int64_t>(cut_.load(), kMostCutCells); }

 private:
  // A cell's state: not made yet, being made, too many candidates, the place of its
  // candidates in cells_ plus kFirstCell, or the place of its fine cells plus kFirstCut.
  static constexpr uint32_t kUnmade = 0, kMaking = 1, kCrowded = 2, kFirstCell = 3;
  static constexpr uint32_t kFirstCut = 0x80000000u;
  // A crowded cell is cut into kFineSteps along each axis; at most kMostCutCells are cut
  // (a bound on their memory, 1.3 KB each), the others stay crowded.
  static constexpr int kFineSteps = 4;
  static constexpr int kFineCells = kFineSteps * kFineSteps * kFineSteps;
  static constexpr uint32_t kMostCutCells = 4096;

  struct Cell {
    uint8_t count;
    uint8_t entries[kMaxCandidates];  // in increasing order
  };
  // The fine cells of one cut cell, each with a state of its own (kUnmade, kMaking,
  // kCrowded, or made: kFirstCell).
  struct CutCell {
    uint32_t state[kFineCells] = {};
    Cell cells[kFineCells];
  };
  // An entry's coordinates side by side.
  struct alignas(32) Entry {
    double c[3];
  };

  // The cell of a point, or -1 when there is no grid or the point lies outside it.
  int64_t CellOf(double x0, double x1, double x2) const {
    if (!enabled_) return -1;
    const double t0 = (x0 - origin_[0]) * inverseSide_;
    const double t1 = (x1 - origin_[1]) * inverseSide_;
    const double t2 = (x2 - origin_[2]) * inverseSide_;
    if (!(t0 >= 0.0 && t0 < limit_[0] && t1 >= 0.0 && t1 < limit_[1] && t2 >= 0.0 &&
          t2 < limit_[2])) {
      return -1;
    }
    return static_cast<int64_t>(t0) +
           cellsAlong_[0] * (static_cast<int64_t>(t1) + cellsAlong_[1] * static_cast<int64_t>(t2));
  }
  // The answer where the point's cell (-1: none) is not made yet (making it), or cannot be
  // used.
  int FindElsewhere(int64_t index, double x0, double x1, double x2, int start) const;
  // Makes the cell at `index` unless another thread is at it; its state afterwards. `near`
  // (any entry; best one near the cell) starts the search for the entry nearest the cell.
  uint32_t MakeCell(int64_t index, int near) const;
  // The answer for a point in the cut cell at `index`, making its fine cell if needed.
  int FindInCutCell(CutCell& cut, int64_t index, double x0, double x1, double x2, int start) const;
  // The corner of the cell at `index` nearest the origin, in grid units.
  void PlaceOf(int64_t index, int64_t place[3]) const {
    place[0] = index % cellsAlong_[0];
    place[1] = (index / cellsAlong_[0]) % cellsAlong_[1];
    place[2] = index / (cellsAlong_[0] * cellsAlong_[1]);
  }
  // Lists, in `cell`, the entries that can be nearest to a point of the box of `side`
  // whose lowest corner is at `corner`; false when there are more than kMaxCandidates.
  bool ListCandidates(const double corner[3], double side, int near, Cell& cell) const;

  double SquaredDistance(double x0, double x1, double x2, int e) const {
    const double d0 = x0 - entries_[e].c[0];
    const double d1 = x1 - entries_[e].c[1];
    const double d2 = x2 - entries_[e].c[2];
    return d0 * d0 + d1 * d1 + d2 * d2;
  }

  int Nearest(const Cell& cell, double x0, double x1, double x2) const {
    int best = cell.entries[0];
    __m128d bestSquared = _mm_set_sd(SquaredDistance(x0, x1, x2, best));
    for (int k = 1; k < cell.count; ++k) {
      const int e = cell.entries[k];
      const __m128d squared = _mm_set_sd(SquaredDistance(x0, x1, x2, e));
      // All ones where the candidate is strictly nearer; the minimum keeps the first of
      // equal distances as the comparison does.
      const int nearer = _mm_cvtsi128_si32(_mm_castpd_si128(_mm_cmplt_sd(squared, bestSquared)));
      best = (e & nearer) | (best & ~nearer);
      bestSquared = _mm_min_sd(squared, bestSquared);
    }
    return best;
  }

  const NearestEntrySearch& search_;
  bool enabled_ = false;
  double origin_[3] = {};
  double side_ = 1.0;
  double inverseSide_ = 1.0;
  double limit_[3] = {};  // cells along each axis, as doubles
  int64_t cellsAlong_[3] = {};
  Entry entries_[256] = {};
  // Per cell of the grid its state, zero-filled by the system as pages are first touched.
  std::unique_ptr<uint32_t[], void (*)(void*)> state_{nullptr, nullptr};
  // The made cells, side by side in the order they were made; only the pages holding
  // made cells are ever touched.
  std::unique_ptr<Cell[]> cells_;
  mutable std::atomic<uint32_t> made_{0};
  // The cut cells, in the order they were cut; only the first kMostCutCells get theirs.
  std::unique_ptr<std::unique_ptr<CutCell>[]> cutCells_;
  mutable std::atomic<uint32_t> cut_{0};
};

}  // namespace genshoku
