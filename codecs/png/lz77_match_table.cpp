#include "codecs/png/lz77_match_table.h"

#include <algorithm>

namespace genshoku::png {

void InsertWindowBefore(Lz77MatchFinder& finder, size_t begin) {
  const size_t windowStart = begin > static_cast<size_t>(kMaxDistance) ? begin - kMaxDistance : 0;
  for (size_t position = windowStart; position < begin; ++position) finder.Insert(position);
}

void FindMatches(Lz77MatchFinder& finder, size_t begin, size_t end, Lz77MatchTable& table) {
  table.begin = begin;
  table.first.resize(end - begin + 1);
  table.first[0] = 0;
  // The finder writes straight into the table, which keeps room for the most copies one
  // position can have.
  size_t used = 0;
  if (table.matches.size() < (end - begin) * 2 + kMaxMatch) {
    table.matches.resize((end - begin) * 2 + kMaxMatch);
  }
  size_t position = begin;
  while (position < end) {
    if (used + kMaxMatch > table.matches.size()) table.matches.resize(table.matches.size() * 2);
    FoundMatch* found = table.matches.data() + used;
    const int limit = static_cast<int>(std::min<size_t>(kMaxMatch, end - position));
    const int count = finder.FindAndInsert(position, limit, found);
    used += static_cast<size_t>(count);
    table.first[position - begin + 1] = static_cast<uint32_t>(used);
    ++position;
    if (count > 0 && found[count - 1].length >= finder.niceLength()) {
      const size_t skipEnd = position - 1 + found[count - 1].length;
      for (; position < skipEnd; ++position) {
        finder.Insert(position);
        table.first[position - begin + 1] = static_cast<uint32_t>(used);
      }
    }
  }
}

void FindAllMatches(const uint8_t* data, size_t size, size_t begin, size_t end,
                    const MatchFinderLimits& limits, Lz77MatchTable& table) {
  Lz77MatchFinder finder(data, size, limits);
  InsertWindowBefore(finder, begin);
  FindMatches(finder, begin, end, table);
}

}  // namespace genshoku::png
