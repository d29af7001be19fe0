#include "codecs/png/deflate_costs.h"

#include <cmath>

namespace genshoku::png {

namespace {

// log2(total / count) in cost units; an unseen symbol costs as one seen half a time.
uint32_t InformationCost(uint64_t count, uint64_t total) {
  if (total == 0) return 8 * kCostScale;
  const double seen = count == 0 ? 0.5 : static_cast<double>(count);
  const double bits = std::log2(static_cast<double>(total) / seen);
  return static_cast<uint32_t>(std::lround(std::max(bits, 1.0) * kCostScale));
}

void FillLengthAndDistance(const uint32_t* lengthSymbolCosts, const uint32_t* distanceSymbolCosts,
                           DeflateCosts& costs) {
  for (int length = 0; length < kMinMatch; ++length) costs.length[length] = 0;
  for (int length = kMaxMatch + 1; length < kMaxMatch + 4; ++length) costs.length[length] = 0;
  for (int length = kMinMatch; length <= kMaxMatch; ++length) {
    const uint32_t code = LengthCodeOf(length);
    costs.length[length] = lengthSymbolCosts[code - kFirstLengthCode] +
                           static_cast<uint32_t>(LengthExtraBits(code)) * kCostScale;
  }
  for (int code = 0; code < kDistanceSymbols; ++code) {
    costs.distanceCode[code] =
        distanceSymbolCosts[code] + static_cast<uint32_t>(DistanceExtraBits(code)) * kCostScale;
  }
}

}  // namespace

void InitialCosts(const uint8_t* bytes, size_t count, DeflateCosts& costs) {
  uint64_t histogram[256] = {};
  for (size_t i = 0; i < count; ++i) ++histogram[bytes[i]];
  for (int b = 0; b < 256; ++b) costs.literal[b] = InformationCost(histogram[b], count);
  uint32_t lengthSymbolCosts[29];
  for (int i = 0; i < 29; ++i) lengthSymbolCosts[i] = (i < 8 ? 4 : 6) * kCostScale;
  uint32_t distanceSymbolCosts[kDistanceSymbols];
  for (int i = 0; i < kDistanceSymbols; ++i) distanceSymbolCosts[i] = 5 * kCostScale;
  FillLengthAndDistance(lengthSymbolCosts, distanceSymbolCosts, costs);
}

void CostsFromHistogram(const DeflateHistogram& histogram, DeflateCosts& costs) {
  uint64_t literalLengthTotal = 0;
  for (int s = 0; s < kLiteralLengthSymbols; ++s) literalLengthTotal += histogram.literalLength[s];
  uint64_t distanceTotal = 0;
  for (int s = 0; s < kDistanceSymbols; ++s) distanceTotal += histogram.distance[s];
  for (int b = 0; b < 256; ++b) {
    costs.literal[b] = InformationCost(histogram.literalLength[b], literalLengthTotal);
  }
  uint32_t lengthSymbolCosts[29];
  for (int i = 0; i < 29; ++i) {
    lengthSymbolCosts[i] =
        InformationCost(histogram.literalLength[kFirstLengthCode + i], literalLengthTotal);
  }
  uint32_t distanceSymbolCosts[kDistanceSymbols];
  for (int i = 0; i < kDistanceSymbols; ++i) {
    distanceSymbolCosts[i] = InformationCost(histogram.distance[i], distanceTotal);
  }
  FillLengthAndDistance(lengthSymbolCosts, distanceSymbolCosts, costs);
}

}  // namespace genshoku::png
