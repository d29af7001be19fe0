#include "codecs/png/lz77_match_table.h"

#include <algorithm>

namespace genshoku::png {

void FindAllMatches(const uint8_t* data, size_t size, size_t begin, size_t end,
                    const MatchFinderLimits& limits, Lz77MatchTable& table) {
  Lz77MatchFinder finder(data, size, limits);
  const size_t windowStart = begin > static_cast<size_t>(kMaxDistance) ? begin - kMaxDistance : 0;
  for (size_t position = windowStart; position < begin; ++position) finder.Insert(position);

  table.begin = begin;
  table.first.assign(end - begin + 1, 0);
  table.matches.clear();
  table.matches.reserve((end - begin) * 2);
  FoundMatch found[kMaxMatch];
  size_t position = begin;
  while (position < end) {
    const int limit = static_cast<int>(std::min<size_t>(kMaxMatch, end - position));
    const int count = finder.FindAndInsert(position, limit, found);
    table.matches.insert(table.matches.end(), found, found + count);
    table.first[position - begin + 1] = static_cast<uint32_t>(table.matches.size());
    ++position;
    if (count > 0 && found[count - 1].length >= finder.niceLength()) {
      const size_t skipEnd = position - 1 + found[count - 1].length;
      for (; position < skipEnd; ++position) {
        finder.Insert(position);
        table.first[position - begin + 1] = static_cast<uint32_t>(table.matches.size());
      }
    }
  }
}

}  // namespace genshoku::png
