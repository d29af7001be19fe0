#include "codecs/png/compact_rows.h"

#include <cstdlib>
#include <cstring>

namespace genshoku::png {

namespace {

void PackRow(const uint8_t* indices, int64_t width, const std::array<uint8_t, 256>& newIndex,
             int bitDepth, uint8_t* out) {
  if (bitDepth == 8) {
    for (int64_t x = 0; x < width; ++x) out[x] = newIndex[indices[x]];
    return;
  }
  const int perByte = 8 / bitDepth;
  const size_t bytes = PackedRowBytes(width, bitDepth);
  std::memset(out, 0, bytes);
  for (int64_t x = 0; x < width; ++x) {
    const int shift = 8 - bitDepth * (1 + static_cast<int>(x % perByte));
    out[x / perByte] |= static_cast<uint8_t>(newIndex[indices[x]] << shift);
  }
}

uint8_t PaethPredictor(int left, int above, int aboveLeft) {
  const int estimate = left + above - aboveLeft;
  const int toLeft = std::abs(estimate - left);
  const int toAbove = std::abs(estimate - above);
  const int toAboveLeft = std::abs(estimate - aboveLeft);
  if (toLeft <= toAbove && toLeft <= toAboveLeft) return static_cast<uint8_t>(left);
  if (toAbove <= toAboveLeft) return static_cast<uint8_t>(above);
  return static_cast<uint8_t>(aboveLeft);
}

// Filters `row` (the previous row `above`, zeros for the first) with type 0..4 into out.
// Packed pixels take the byte before as their left neighbour. One loop per type, so that
// the type is not decided again for every byte.
void FilterRow(int type, const uint8_t* row, const uint8_t* above, size_t bytes, uint8_t* out) {
  if (bytes == 0) return;
  switch (type) {
    case 0: std::memcpy(out, row, bytes); return;
    case 1:
      out[0] = row[0];
      for (size_t x = 1; x < bytes; ++x) out[x] = static_cast<uint8_t>(row[x] - row[x - 1]);
      return;
    case 2:
      for (size_t x = 0; x < bytes; ++x) out[x] = static_cast<uint8_t>(row[x] - above[x]);
      return;
    case 3:
      out[0] = static_cast<uint8_t>(row[0] - above[0] / 2);
      for (size_t x = 1; x < bytes; ++x) {
        out[x] = static_cast<uint8_t>(row[x] - (row[x - 1] + above[x]) / 2);
      }
      return;
    default:
      out[0] = static_cast<uint8_t>(row[0] - above[0]);
      for (size_t x = 1; x < bytes; ++x) {
        out[x] = static_cast<uint8_t>(row[x] - PaethPredictor(row[x - 1], above[x], above[x - 1]));
      }
      return;
  }
}

uint64_t SignedSum(const uint8_t* bytes, size_t count) {
  uint64_t sum = 0;
  for (size_t i = 0; i < count; ++i) sum += bytes[i] < 128 ? bytes[i] : 256 - bytes[i];
  return sum;
}

}  // namespace

size_t PackedRowBytes(int64_t width, int bitDepth) {
  return static_cast<size_t>((width * bitDepth + 7) / 8);
}

std::vector<uint8_t> BuildFilteredRows(const uint8_t* indices, int64_t width, int64_t height,
                                       const std::array<uint8_t, 256>& newIndex, int bitDepth,
                                       CompactRowFilter filter) {
  const size_t rowBytes = PackedRowBytes(width, bitDepth);
  std::vector<uint8_t> rows(static_cast<size_t>(height) * (rowBytes + 1));
  const bool perRow = filter == CompactRowFilter::kSmallestSum;
  // The filter type byte of the fixed filters is the enumerator's value (0..4).
  const int fixedType = perRow || filter == CompactRowFilter::kAuto ? 0 : static_cast<int>(filter);
  std::vector<uint8_t> above(rowBytes, 0);
  std::vector<uint8_t> current(rowBytes);
  std::vector<uint8_t> candidate(rowBytes);
  for (int64_t y = 0; y < height; ++y) {
    PackRow(indices + y * width, width, newIndex, bitDepth, current.data());
    uint8_t* out = rows.data() + static_cast<size_t>(y) * (rowBytes + 1);
    if (!perRow) {
      out[0] = static_cast<uint8_t>(fixedType);
      FilterRow(fixedType, current.data(), above.data(), rowBytes, out + 1);
      above.swap(current);
      continue;
    }
    uint64_t bestSum = UINT64_MAX;
    for (int type = 0; type < 5; ++type) {
      FilterRow(type, current.data(), above.data(), rowBytes, candidate.data());
      const uint64_t sum = SignedSum(candidate.data(), rowBytes);
      if (sum < bestSum) {
        bestSum = sum;
        out[0] = static_cast<uint8_t>(type);
        std::memcpy(out + 1, candidate.data(), rowBytes);
      }
    }
    above.swap(current);
  }
  return rows;
}

}  // namespace genshoku::png
