#include "engine/kmeans/nearest_assignment.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "engine/parallel.h"
#include "engine/progress_points.h"

namespace genshoku {

NearestAssignment::NearestAssignment(const ColourTable& colours, TakingColourSet taking,
                                     const std::vector<uint8_t>& entryOf, EngineRun& run,
                                     int threads, int entryCount)
    : colours_(colours),
      taking_(taking),
      entryOf_(entryOf),
      entryCount_(entryCount),
      run_(run),
      threads_(threads),
      chains_(taking.size()) {}

std::array<double, kPaletteSize> NearestAssignment::Shifts(const PaletteBounds& current,
                                                           const PaletteBounds& previous) {
  std::array<double, kPaletteSize> shift{};
  for (int e = 0; e < kPaletteSize; ++e) {
    const double dY = current.centre.Y[e] - previous.centre.Y[e];
    const double dU = current.centre.U[e] - previous.centre.U[e];
    const double dV = current.centre.V[e] - previous.centre.V[e];
    shift[e] = (std::sqrt(dY * dY + dU * dU + dV * dV) + current.radius[e] + previous.radius[e]) *
               (1.0 + 1e-12);
    if (!(shift[e] < 1e100)) shift[e] = std::numeric_limits<double>::infinity();
  }
  return shift;
}

bool NearestAssignment::Assign(const PaletteBounds& current, const PaletteBounds& previous,
                               bool haveBounds) {
  search_.SetPalette(current.centre.Y.data(), current.centre.U.data(), current.centre.V.data(),
                     entryCount_);
  Pass pass{&current, current.LargestRadius(), 0.0, haveBounds, false, {}};
  // Entries' true distances from each other are at most this much below the measured ones
  // between centres.
  pass.centreSlack = 2.0 * pass.largestRadius;
  if (haveBounds) {
    const std::array<double, kPaletteSize> shift = Shifts(current, previous);
    pass.chainsHold = chains_.CanGoOn(pass.centreSlack, shift);
    // The neighbour lists and the table of each entry depend on nothing else made here;
    // the two threads take half of the entries each.
    RunInTwoParts(threads_, [&](int part) {
      const int first = part == 0 ? 0 : entryCount_ / 2;
      const int end = part == 0 ? entryCount_ / 2 : entryCount_;
      search_.MakeNeighbourLists(first, end);
      chains_.MakeNearShiftTables(search_, shift, first, end);
      if (pass.chainsHold) chains_.AddToDrifts(shift, first, end);
    });
    if (!pass.chainsHold) chains_.Restart(pass.lowerBefore, pass.centreSlack);
  }
  for (int part = 0; part < 2; ++part) {
    moves_[part].clear();
    undecided_[part].clear();
  }
  RunInTwoParts(threads_, [&](int part) { AssignPart(pass, part); });
  return undecided_[0].empty() && undecided_[1].empty();
}

// Blocks of colours: those whose chains no longer settle them are listed first, and their
// colours fetched ahead, since they lie scattered through the colour table.
void NearestAssignment::AssignPart(const Pass& pass, int part) {
  int64_t begin, end;
  HalfRange(static_cast<int64_t>(taking_.size()), part, begin, end);
  constexpr int kBlock = BoundChains::kBlock;
  for (int64_t blockStart = begin; blockStart < end; blockStart += kBlock) {
    if (part == 0 && AtProgressPoint(blockStart - begin)) run_.Pump();
    const int blockCount = static_cast<int>(std::min<int64_t>(kBlock, end - blockStart));
    if (!pass.chainsHold) {
      for (int i = 0; i < blockCount; ++i) Visit(pass, blockStart + i, part);
      continue;
    }
    uint16_t due[kBlock];
    const int dueCount = chains_.DueColours(blockStart, blockCount, due);
    for (int i = 0; i < dueCount; ++i) {
      __builtin_prefetch(&colours_.working[taking_[blockStart + due[i]]]);
    }
    for (int i = 0; i < dueCount; ++i) Visit(pass, blockStart + due[i], part);
  }
}

void NearestAssignment::Visit(const Pass& pass, int64_t k, int part) {
  const PaletteBounds& current = *pass.current;
  const ColourTable::Working& w = colours_.working[taking_[k]];
  const int entry = pass.chainsHold ? chains_.EntryOf(k) : entryOf_[taking_[k]];
  if (pass.haveBounds) {
    const double upper =
        std::sqrt(search_.SquaredDistance(w.y, w.u, w.v, entry)) + current.radius[entry];
    const int second = chains_.SecondOf(k);
    const double lowerSecond =
        std::sqrt(search_.SquaredDistance(w.y, w.u, w.v, second)) - current.radius[second];
    double lowerOthers;
    if (pass.chainsHold) {
      lowerOthers = chains_.LowerOthers(k);
    } else {
      const double before = pass.lowerBefore[k];
      lowerOthers = before - chains_.NearShift(entry, before + upper + pass.centreSlack);
    }
    if (CertainlyBelow(upper, std::min(lowerSecond, lowerOthers))) {
      chains_.Start(k, entry, upper, second, lowerSecond, lowerOthers);
      return;
    }
  }
  if (!Search(current, k, entry, pass.largestRadius, moves_[part])) undecided_[part].push_back(k);
}

void NearestAssignment::SearchUndecided(const PaletteBounds& current) {
  search_.SetPalette(current.centre.Y.data(), current.centre.U.data(), current.centre.V.data(),
                     entryCount_);
  for (int part = 0; part < 2; ++part) {
    for (const int64_t k : undecided_[part]) {
      Search(current, k, entryOf_[taking_[k]], 0.0, moves_[0]);
    }
    undecided_[part].clear();
  }
}

bool NearestAssignment::Search(const PaletteBounds& current, int64_t k, int start,
                               double largestRadius, std::vector<ColourMove>& moves) {
  const ColourTable::Working& w = colours_.working[taking_[k]];
  NearestEntrySearch::RunnersUp runnersUp;
  const int nearest = search_.FindWithRunnersUp(w.y, w.u, w.v, start, runnersUp);
  const double upper =
      std::sqrt(search_.SquaredDistance(w.y, w.u, w.v, nearest)) + current.radius[nearest];
  const double lowerSecond = runnersUp.secondDistance - largestRadius;
  const double lowerOthers = runnersUp.othersBound - largestRadius;
  if (largestRadius > 0.0 && !CertainlyBelow(upper, std::min(lowerSecond, lowerOthers))) {
    return false;
  }
  if (nearest != start) {
    moves.push_back({static_cast<uint32_t>(k), static_cast<uint32_t>(nearest)});
  }
  chains_.Start(k, nearest, upper, runnersUp.second, lowerSecond, lowerOthers);
  return true;
}

}  // namespace genshoku
