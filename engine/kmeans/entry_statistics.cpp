#include "engine/kmeans/entry_statistics.h"

#include <algorithm>
#include <cmath>

#include "engine/parallel.h"

namespace genshoku {

namespace {

// Moves below this many stay on one thread.
constexpr size_t kMovesWorthAThread = 4096;

}  // namespace

EntryStatistics::EntryStatistics(const ColourTable& colours, TakingColourSet taking,
                                 std::vector<uint8_t>& entryOf, EngineRun& run, int threads)
    : colours_(colours), taking_(taking), entryOf_(entryOf), run_(run), threads_(threads) {}

void EntryStatistics::Start(const std::array<int64_t, kPaletteSize>& counts,
                            const std::array<EntrySums, kPaletteSize>& sums) {
  counts_ = counts;
  sums_ = sums;
  sumsExact_.fill(true);
  double largest = 0.0;
  int64_t takingPixels = 0;
  for (const uint32_t c : taking_) {
    takingPixels += colours_.takingPart[c];
    const ColourTable::Working& w = colours_.working[c];
    largest = std::max({largest, std::fabs(w.y), std::fabs(w.u), std::fabs(w.v)});
    if (!std::isfinite(w.y) || !std::isfinite(w.u) || !std::isfinite(w.v)) largest = HUGE_VAL;
  }
  scale_ = FixedPointScale(largest, takingPixels);
  if (!scale_.usable()) return;
  for (const uint32_t c : taking_) {
    const ColourTable::Working& w = colours_.working[c];
    const int64_t times = colours_.takingPart[c];
    std::array<FixedTotal, 3>& totals = totals_[entryOf_[c]];
    totals[0].Add(scale_.ToFixed(w.y), times);
    totals[1].Add(scale_.ToFixed(w.u), times);
    totals[2].Add(scale_.ToFixed(w.v), times);
  }
}

// Each part of the moves gathers its changes of the totals and counts on its own (on its
// own thread when there are many); integer totals come out the same in any order, so the
// changes are then added to them. (Every change is exact, so the order of the moves does
// not matter.)
void EntryStatistics::Move(const std::vector<ColourMove> (&moves)[2]) {
  previousCounts_ = counts_;
  MoveChanges changes[2];
  const size_t moveCount = moves[0].size() + moves[1].size();
  RunInTwoParts(moveCount >= kMovesWorthAThread ? threads_ : 1,
                [&](int part) { GatherMoves(moves[part], changes[part], lastFrom_[part]); });
  lastMoves_ = &moves;
  for (const MoveChanges& own : changes) {
    for (int e = 0; e < kPaletteSize; ++e) {
      if (!own.touched[e]) continue;
      for (int j = 0; j < 3; ++j) totals_[e][j].AddTotal(own.totals[e][j]);
      counts_[e] += own.counts[e];
      sumsExact_[e] = false;
    }
  }
}

void EntryStatistics::GatherMoves(const std::vector<ColourMove>& moves, MoveChanges& own,
                                  std::vector<uint8_t>& left) {
  // The first passes move many colours, the later ones few: room kept from the first would
  // only add to the peak.
  if (left.capacity() > 2 * moves.size() + 4096) std::vector<uint8_t>().swap(left);
  left.resize(moves.size());
  size_t i = 0;
  for (const ColourMove& move : moves) {
    const uint32_t c = taking_[move.k];
    const int from = entryOf_[c];
    left[i++] = static_cast<uint8_t>(from);
    const int to = static_cast<int>(move.to);
    const int64_t pixels = colours_.takingPart[c];
    if (scale_.usable()) {
      const ColourTable::Working& w = colours_.working[c];
      const __int128 values[3] = {scale_.ToFixed(w.y), scale_.ToFixed(w.u), scale_.ToFixed(w.v)};
      for (int j = 0; j < 3; ++j) {
        own.totals[from][j].Remove(values[j], pixels);
        own.totals[to][j].Add(values[j], pixels);
      }
    }
    own.counts[from] -= pixels;
    own.counts[to] += pixels;
    own.touched[from] = true;
    own.touched[to] = true;
    entryOf_[c] = static_cast<uint8_t>(to);
  }
}

void EntryStatistics::MeansInto(PaletteBounds& candidate, double widening) {
  if (!scale_.usable()) {
    std::array<bool, kPaletteSize> wanted{};
    for (int e = 0; e < kPaletteSize; ++e) wanted[e] = counts_[e] >= 1 && !sumsExact_[e];
    AddSumsAgain(wanted);
  }
  for (int e = 0; e < kPaletteSize; ++e) {
    if (counts_[e] < 1) continue;
    const double n = static_cast<double>(counts_[e]);
    if (sumsExact_[e]) {
      candidate.SetExact(e, sums_[e].y / n, sums_[e].u / n, sums_[e].v / n);
    } else {
      const DoubleInterval bounds[3] = {BoundsOfSequentialMean(totals_[e][0], counts_[e], scale_),
                                        BoundsOfSequentialMean(totals_[e][1], counts_[e], scale_),
                                        BoundsOfSequentialMean(totals_[e][2], counts_[e], scale_)};
      candidate.SetBounds(e, bounds, widening);
    }
  }
}

void EntryStatistics::MakeExact(const std::array<bool, kPaletteSize>& wanted,
                                PaletteBounds& candidate) {
  AddSumsAgain(wanted);
  for (int e = 0; e < kPaletteSize; ++e) {
    if (!wanted[e]) continue;
    const double n = static_cast<double>(counts_[e]);
    candidate.SetExact(e, sums_[e].y / n, sums_[e].u / n, sums_[e].v / n);
  }
}

void EntryStatistics::MakeExact(PaletteBounds& palette, MadeFrom madeFrom,
                                const std::array<bool, kPaletteSize>* only) {
  std::array<bool, kPaletteSize> wanted{};
  bool any = false;
  for (int e = 0; e < kPaletteSize; ++e) {
    wanted[e] = !palette.Exact(e) && (!only || (*only)[e]);
    any |= wanted[e];
  }
  if (!any) return;
  const bool present = madeFrom == MadeFrom::Present;
  // The assignment before the last moves is the present one with them undone in place, and
  // made again when the sums are added (also should the adding end by an exception).
  struct UndoneMoves {
    EntryStatistics& statistics;
    bool undone = false;
    void Undo() {
      // In the reverse order of the moves, should a colour ever move twice.
      for (int part = 1; part >= 0 && statistics.lastMoves_; --part) {
        const std::vector<ColourMove>& moves = (*statistics.lastMoves_)[part];
        const std::vector<uint8_t>& from = statistics.lastFrom_[part];
        for (size_t i = moves.size(); i-- > 0;) {
          statistics.entryOf_[statistics.taking_[moves[i].k]] = from[i];
        }
      }
      undone = true;
    }
    ~UndoneMoves() {
      if (!undone) return;
      for (int part = 0; part < 2 && statistics.lastMoves_; ++part) {
        for (const ColourMove& move : (*statistics.lastMoves_)[part]) {
          statistics.entryOf_[statistics.taking_[move.k]] = static_cast<uint8_t>(move.to);
        }
      }
    }
  } undone{*this};
  if (!present) undone.Undo();
  const std::vector<uint8_t>& assignment = entryOf_;
  const std::array<int64_t, kPaletteSize>& counts = present ? counts_ : previousCounts_;
  std::array<EntrySums, kPaletteSize> sums;
  SumEntriesInPixelOrder(colours_, assignment.data(), wanted, counts, sums, run_, threads_);
  for (int e = 0; e < kPaletteSize; ++e) {
    if (!wanted[e]) continue;
    const double n = static_cast<double>(counts[e]);
    palette.SetExact(e, sums[e].y / n, sums[e].u / n, sums[e].v / n);
    // The sums of the present assignment are its own from now on.
    if (present) {
      sums_[e] = sums[e];
      sumsExact_[e] = true;
    }
  }
}

void EntryStatistics::AddSumsAgain(const std::array<bool, kPaletteSize>& wanted) {
  SumEntriesInPixelOrder(colours_, entryOf_.data(), wanted, counts_, sums_, run_, threads_);
  for (int e = 0; e < kPaletteSize; ++e) {
    if (wanted[e]) sumsExact_[e] = true;
  }
}

}  // namespace genshoku
