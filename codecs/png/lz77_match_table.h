#pragma once
// The copies the match finder found for every position of a piece of input, kept so
// that the parser can run over them several times with different costs.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "codecs/png/lz77_match_finder.h"

namespace genshoku::png {

struct Lz77MatchTable {
  size_t begin = 0;             // the first position covered
  std::vector<uint32_t> first;  // per position (and one past the last): index into matches
  std::vector<FoundMatch> matches;

  size_t size() const { return first.empty() ? 0 : first.size() - 1; }
  const FoundMatch* At(size_t position) const { return matches.data() + first[position - begin]; }
  int CountAt(size_t position) const {
    const size_t i = position - begin;
    return static_cast<int>(first[i + 1] - first[i]);
  }
};

// Fills `table` for positions [begin, end) of data[0..size): the positions of the 32 KB
// before `begin` are inserted first, so that copies may reach back into them. Where a
// copy of the finder's nice length is found, the positions it covers only enter the
// chains and get no copies of their own.
void FindAllMatches(const uint8_t* data, size_t size, size_t begin, size_t end,
                    const MatchFinderLimits& limits, Lz77MatchTable& table);

// Enters the positions of the 32 KB before `begin` into `finder` without searching.
void InsertWindowBefore(Lz77MatchFinder& finder, size_t begin);

// Fills `table` for positions [begin, end) with a finder that holds every position
// before `begin` that copies may reach (a piece of input after another one).
void FindMatches(Lz77MatchFinder& finder, size_t begin, size_t end, Lz77MatchTable& table);

}  // namespace genshoku::png
