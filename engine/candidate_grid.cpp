#include "engine/candidate_grid.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <new>
#include <vector>

namespace genshoku {

namespace {

// Cell side as a share of the typical distance between an entry and its nearest neighbour:
// small enough that a cell meets few entries' regions, large enough that neighbouring
// pixels share cells.
constexpr double kSideFactor = 0.45;
// At most this many cells along one axis, whatever the palette's spacing.
constexpr double kMostCellsAlong = 4096.0;
// Relative and absolute margins of the candidate test, far above the rounding of a
// squared distance (a few units in the last place).
constexpr double kRelativeMargin = 1e-9;
constexpr double kAbsoluteMargin = 1e-9;

double WithMargin(double distance) { return distance * (1.0 + kRelativeMargin) + kAbsoluteMargin; }

}  // namespace

CandidateGrid::CandidateGrid(const NearestEntrySearch& search, const double low[3],
                             const double high[3], int64_t cellBudget)
    : search_(search) {
  const int count = search.count();
  if (count < 2 || !search.InRange() || cellBudget < 1) return;
  double lo[3], hi[3];
  for (int k = 0; k < 3; ++k) {
    lo[k] = low[k];
    hi[k] = high[k];
    if (!(std::fabs(lo[k]) < 1e100 && std::fabs(hi[k]) < 1e100 && lo[k] <= hi[k])) return;
    for (int e = 0; e < count; ++e) {
      lo[k] = std::min(lo[k], search.Coordinate(k, e));
      hi[k] = std::max(hi[k], search.Coordinate(k, e));
    }
    // Room for the points that error diffusion pushes a little beyond the colours.
    const double pad = (hi[k] - lo[k]) * 0.02 + 1.0;
    lo[k] -= pad;
    hi[k] += pad;
  }
  // The typical spacing: the median distance from an entry to its nearest neighbour.
  std::vector<float> nearestGap(static_cast<size_t>(count));
  for (int e = 0; e < count; ++e) nearestGap[e] = search.NeighbourDistances(e)[0];
  std::nth_element(nearestGap.begin(), nearestGap.begin() + count / 2, nearestGap.end());
  double side = nearestGap[count / 2] * kSideFactor;
  const double widest = std::max({hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]});
  side = std::max(side, widest / kMostCellsAlong);
  for (;;) {
    double cells = 1.0;
    for (int k = 0; k < 3; ++k) cells *= std::ceil((hi[k] - lo[k]) / side);
    if (cells <= static_cast<double>(cellBudget)) break;
    side *= std::cbrt(cells / static_cast<double>(cellBudget)) * 1.01;
  }
  side_ = side;
  inverseSide_ = 1.0 / side;
  int64_t total = 1;
  for (int k = 0; k < 3; ++k) {
    origin_[k] = lo[k];
    cellsAlong_[k] = static_cast<int64_t>(std::ceil((hi[k] - lo[k]) / side));
    limit_[k] = static_cast<double>(cellsAlong_[k]);
    total *= cellsAlong_[k];
  }
  for (int e = 0; e < count; ++e) {
    for (int k = 0; k < 3; ++k) entries_[e].c[k] = search.Coordinate(k, e);
  }
  state_ = {static_cast<uint32_t*>(std::calloc(static_cast<size_t>(total), sizeof(uint32_t))),
            std::free};
  if (!state_) throw std::bad_alloc();
  // Left uninitialised: a cell is written before its state names it.
  cells_.reset(new Cell[static_cast<size_t>(total)]);
  cutCells_ = std::make_unique<std::unique_ptr<CutCell>[]>(kMostCutCells);
  enabled_ = true;
}

int CandidateGrid::FindElsewhere(int64_t index, double x0, double x1, double x2, int start) const {
  if (index >= 0) {
    uint32_t state = std::atomic_ref<uint32_t>(state_[index]).load(std::memory_order_acquire);
    if (state == kUnmade) state = MakeCell(index, start);
    if (state >= kFirstCut) {
      return FindInCutCell(*cutCells_[state - kFirstCut], index, x0, x1, x2, start);
    }
    if (state >= kFirstCell) return Nearest(cells_[state - kFirstCell], x0, x1, x2);
  }
  return search_.Find(x0, x1, x2, start);
}

uint32_t CandidateGrid::MakeCell(int64_t index, int near) const {
  std::atomic_ref<uint32_t> state(state_[index]);
  uint32_t expected = kUnmade;
  if (!state.compare_exchange_strong(expected, kMaking, std::memory_order_acq_rel)) {
    return expected;
  }
  int64_t place[3];
  PlaceOf(index, place);
  double corner[3];
  for (int k = 0; k < 3; ++k) corner[k] = origin_[k] + static_cast<double>(place[k]) * side_;
  Cell listed;
  if (!ListCandidates(corner, side_, near, listed)) {
    const uint32_t cut = cut_.fetch_add(1, std::memory_order_relaxed);
    if (cut >= kMostCutCells) {
      state.store(kCrowded, std::memory_order_release);
      return kCrowded;
    }
    cutCells_[cut] = std::make_unique<CutCell>();
    state.store(kFirstCut + cut, std::memory_order_release);
    return kFirstCut + cut;
  }
  const uint32_t made = made_.fetch_add(1, std::memory_order_relaxed);
  cells_[made] = listed;
  state.store(kFirstCell + made, std::memory_order_release);
  return kFirstCell + made;
}

int CandidateGrid::FindInCutCell(CutCell& cut, int64_t index, double x0, double x1, double x2,
                                 int start) const {
  int64_t place[3];
  PlaceOf(index, place);
  // The point's fine cell from its place within the cell; a point that rounding puts on
  // the far side of a border still lies within the slack of the fine cell's box.
  const double x[3] = {x0, x1, x2};
  int fine = 0;
  for (int k = 2; k >= 0; --k) {
    const double within = (x[k] - origin_[k]) * inverseSide_ - static_cast<double>(place[k]);
    const int step = std::clamp(static_cast<int>(within * kFineSteps), 0, kFineSteps - 1);
    fine = fine * kFineSteps + step;
  }
  std::atomic_ref<uint32_t> state(cut.state[fine]);
  uint32_t now = state.load(std::memory_order_acquire);
  if (now == kUnmade && state.compare_exchange_strong(now, kMaking, std::memory_order_acq_rel)) {
    const int steps[3] = {fine % kFineSteps, (fine / kFineSteps) % kFineSteps,
                          fine / (kFineSteps * kFineSteps)};
    const double fineSide = side_ / kFineSteps;
    double corner[3];
    for (int k = 0; k < 3; ++k) {
      corner[k] = origin_[k] + static_cast<double>(place[k]) * side_ + steps[k] * fineSide;
    }
    now = ListCandidates(corner, fineSide, start, cut.cells[fine]) ? kFirstCell : kCrowded;
    state.store(now, std::memory_order_release);
  }
  if (now == kFirstCell) return Nearest(cut.cells[fine], x0, x1, x2);
  return search_.Find(x0, x1, x2, start);
}

bool CandidateGrid::ListCandidates(const double corner[3], double side, int near,
                                   Cell& cell) const {
  // The box, widened by far more than the rounding of the arithmetic that puts a point
  // into it.
  const double slack = side * 1e-3;
  double lo[3], hi[3], centre[3];
  double halfDiagonalSquared = 0.0;
  for (int k = 0; k < 3; ++k) {
    lo[k] = corner[k] - slack;
    hi[k] = corner[k] + side + slack;
    centre[k] = lo[k] * 0.5 + hi[k] * 0.5;
    const double half = (hi[k] - lo[k]) * 0.5;
    halfDiagonalSquared += half * half;
  }
  // Every point of the box is at most `bound` from the entry nearest the centre, so only
  // entries that come that near to the box can win anywhere in it. Any entry nearest the
  // centre will do; the search for it is shortest from an entry already close.
  const int anchor = search_.Find(centre[0], centre[1], centre[2], near);
  double farthestSquared = 0.0;
  for (int k = 0; k < 3; ++k) {
    const double c = entries_[anchor].c[k];
    const double reach = std::max(std::fabs(c - lo[k]), std::fabs(c - hi[k]));
    farthestSquared += reach * reach;
  }
  const double bound = WithMargin(std::sqrt(farthestSquared));
  // Such an entry lies within this distance of the anchor.
  const double listed =
      WithMargin(std::sqrt(SquaredDistance(centre[0], centre[1], centre[2], anchor)) + bound +
                 std::sqrt(halfDiagonalSquared));
  auto nearTheBox = [&](int e) {
    double squared = 0.0;
    for (int k = 0; k < 3; ++k) {
      const double c = entries_[e].c[k];
      const double outside = std::max({0.0, lo[k] - c, c - hi[k]});
      squared += outside * outside;
    }
    return std::sqrt(squared) <= bound;
  };
  uint8_t found[256];
  int foundCount = 0;
  found[foundCount++] = static_cast<uint8_t>(anchor);
  const float* distances = search_.NeighbourDistances(anchor);
  const uint8_t* neighbours = search_.NeighbourIndices(anchor);
  for (int k = 0; k < search_.count() - 1 && distances[k] <= listed; ++k) {
    if (nearTheBox(neighbours[k])) found[foundCount++] = neighbours[k];
  }
  if (foundCount > kMaxCandidates) return false;
  std::sort(found, found + foundCount);
  cell.count = static_cast<uint8_t>(foundCount);
  std::copy(found, found + foundCount, cell.entries);
  return true;
}

int64_t CandidateGrid::CandidatesListed() const {
  int64_t listed = 0;
  const int64_t made = made_.load();
  for (int64_t i = 0; i < made; ++i) listed += cells_[i].count;
  return listed;
}

}  // namespace genshoku
