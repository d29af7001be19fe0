#include "codecs/png/compact_filter_choice.h"

#include <algorithm>
#include <vector>

#include "codecs/png/compact_deflate_segment.h"
#include "codecs/png/deflate_tables.h"

namespace genshoku::png {

namespace {

// The sample: bands of rows spread over the picture, some 1/32 of it in all (at least
// 64 KB where the picture has that much), each compressed after the rows of a window
// before it.
constexpr int kBands = 8;
constexpr int64_t kSampleShare = 32;
constexpr int64_t kSmallestSample = 64 << 10;
// The sample is compressed twice on the calling thread before the rows are compressed:
// large pictures stop at this size (a 12 MP picture would take 1/32, some 370 KB).
constexpr int64_t kLargestSample = 256 << 10;
// Filtered rows are taken when the sample shrinks to this share of its unfiltered size.
constexpr double kFilteredMustReach = 0.99;

// The bits of rows[history..) compressed with rows[0..history) as the window before.
uint64_t CompressedBits(const std::vector<uint8_t>& rows, size_t history,
                        const CompactDeflateSettings& settings, SegmentWorkspace& workspace) {
  DeflateBitWriter writer;
  CompressSegment(rows.data(), rows.size(), history, rows.size(), true, settings, workspace,
                  writer);
  return writer.BitCount();
}

}  // namespace

CompactRowFilter ChooseRowFilter(const uint8_t* indices, int64_t width, int64_t height,
                                 const std::array<uint8_t, 256>& newIndex, int bitDepth) {
  const int64_t rowBytes = static_cast<int64_t>(PackedRowBytes(width, bitDepth)) + 1;
  const int64_t sampleBytes =
      std::clamp(rowBytes * height / kSampleShare, std::min(rowBytes * height, kSmallestSample),
                 kLargestSample);
  const int64_t bandRows = std::clamp<int64_t>(sampleBytes / kBands / rowBytes, 1, height);
  CompactDeflateSettings settings;
  settings.matchFinder.chainDepth = 2;
  settings.matchFinder.shortChainDepth = 1;
  settings.blockPasses = 0;
  settings.matchFinder.rowDistance = static_cast<int>(std::min<int64_t>(rowBytes, 1 << 16));
  SegmentWorkspace workspace;
  uint64_t unfilteredBits = 0;
  uint64_t filteredBits = 0;
  int64_t lastBandEnd = -1;
  for (int band = 0; band < kBands; ++band) {
    const int64_t first = std::min(height - bandRows, height * band / kBands);
    if (first < lastBandEnd) continue;  // small pictures: the bands would overlap
    lastBandEnd = first + bandRows;
    // The rows of a window before the band go along, so that its copies reach as far back
    // as in the whole picture.
    const int64_t historyRows = std::min<int64_t>(first, (kMaxDistance + rowBytes - 1) / rowBytes);
    const uint8_t* bandIndices = indices + (first - historyRows) * width;
    const size_t history = static_cast<size_t>(historyRows * rowBytes);
    for (CompactRowFilter filter : {CompactRowFilter::kNone, CompactRowFilter::kSmallestSum}) {
      const uint64_t bits = CompressedBits(
          BuildFilteredRows(bandIndices, width, historyRows + bandRows, newIndex, bitDepth, filter),
          history, settings, workspace);
      (filter == CompactRowFilter::kNone ? unfilteredBits : filteredBits) += bits;
    }
  }
  // The quick settings find fewer of the long copies unfiltered rows live on, so filtered
  // rows must win the sample clearly.
  return static_cast<double>(filteredBits) <
                 kFilteredMustReach * static_cast<double>(unfilteredBits)
             ? CompactRowFilter::kSmallestSum
             : CompactRowFilter::kNone;
}

}  // namespace genshoku::png
