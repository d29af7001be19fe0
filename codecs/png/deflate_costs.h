#pragma once
// What the parser believes each token costs, in sixteenths of a bit: the code of its
// symbol plus its extra bits.

#include <cstddef>
#include <cstdint>

#include "codecs/png/deflate_tokens.h"

namespace genshoku::png {

inline constexpr uint32_t kCostScale = 16;  // cost units per bit

struct DeflateCosts {
  uint32_t literal[256];
  // Length symbol and extra bits for 3..258; three more entries (unused) let the parser
  // read four lengths at a time.
  uint32_t length[kMaxMatch + 4];
  uint32_t distanceCode[kDistanceSymbols];  // distance symbol and extra bits
};

// A first guess before any parse: literals as their order-0 information in the bytes,
// copies at a few bits per symbol.
void InitialCosts(const uint8_t* bytes, size_t count, DeflateCosts& costs);

// The information of each symbol in a parse's histogram (log2 of total / count), with
// unseen symbols a little dearer than the rarest seen one.
void CostsFromHistogram(const DeflateHistogram& histogram, DeflateCosts& costs);

}  // namespace genshoku::png
