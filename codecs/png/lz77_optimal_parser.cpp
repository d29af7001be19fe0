#include "codecs/png/lz77_optimal_parser.h"

#include <algorithm>

namespace genshoku::png {

// One loop over the positions, kept whole: the relaxation of the copies is the hot path,
// written without branches on the comparisons, which no predictor guesses well.
void ParseCheapest(const uint8_t* data, size_t begin, size_t end, const Lz77MatchTable& table,
                   const DeflateCosts& costs, ParserScratch& scratch,
                   std::vector<DeflateToken>& tokens) {
  const size_t count = end - begin;
  scratch.cost.assign(count + 1, UINT32_MAX);
  scratch.via.resize(count + 1);
  uint32_t* cost = scratch.cost.data();
  DeflateToken* via = scratch.via.data();
  const uint32_t* first = table.first.data() + (begin - table.begin);
  const FoundMatch* matches = table.matches.data();
  cost[0] = 0;
  for (size_t i = 0; i < count; ++i) {
    const uint32_t here = cost[i];
    const uint8_t byte = data[begin + i];
    const uint32_t literal = here + costs.literal[byte];
    const bool literalWins = literal < cost[i + 1];
    cost[i + 1] = literalWins ? literal : cost[i + 1];
    via[i + 1] = literalWins ? LiteralToken(byte) : via[i + 1];
    const uint32_t matchEnd = first[i + 1];
    uint32_t m = first[i];
    if (m == matchEnd) continue;
    const int room = static_cast<int>(std::min<size_t>(kMaxMatch, count - i));
    int length = kMinMatch;
    for (; m < matchEnd && length <= room; ++m) {
      const int longest = std::min<int>(matches[m].length, room);
      const int distance = matches[m].distance;
      const uint32_t base = here + costs.distanceCode[DistanceCodeOf(distance)];
      const DeflateToken copy = CopyToken(0, distance);
      for (; length <= longest; ++length) {
        const uint32_t total = base + costs.length[length];
        uint32_t& target = cost[i + length];
        const bool wins = total < target;
        target = wins ? total : target;
        DeflateToken& arrival = via[i + length];
        arrival = wins ? (copy | static_cast<uint32_t>(length) << 16) : arrival;
      }
    }
  }
  tokens.clear();
  for (size_t position = count; position > 0;) {
    const DeflateToken token = via[position];
    tokens.push_back(token);
    position -= static_cast<size_t>(TokenSpan(token));
  }
  std::reverse(tokens.begin(), tokens.end());
}

}  // namespace genshoku::png
