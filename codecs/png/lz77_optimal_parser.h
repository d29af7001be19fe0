#pragma once
// The cheapest way, under given token costs, to cover a stretch of input with literals
// and the copies the match finder found: a shortest path over the positions, each
// position reached either by a literal from the one before or by a copy of any length up
// to a found copy's length, taking that copy's distance.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "codecs/png/deflate_costs.h"
#include "codecs/png/deflate_tokens.h"
#include "codecs/png/lz77_match_table.h"

namespace genshoku::png {

// Working memory of the parser, kept between runs to save allocations.
struct ParserScratch {
  std::vector<uint32_t> cost;     // per position: cheapest cost of reaching it
  std::vector<DeflateToken> via;  // per position: the token that reaches it that cheaply
};

// Replaces `tokens` with the cheapest parse of data[begin, end), positions the table
// covers, and returns its cost. No copy runs past `end`.
uint64_t ParseCheapest(const uint8_t* data, size_t begin, size_t end, const Lz77MatchTable& table,
                       const DeflateCosts& costs, ParserScratch& scratch,
                       std::vector<DeflateToken>& tokens);

}  // namespace genshoku::png
