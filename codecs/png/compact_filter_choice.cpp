#include "codecs/png/compact_filter_choice.h"

#include <algorithm>
#include <exception>
#include <system_error>
#include <thread>
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

// Where the bands of the sample lie and how the sample is compressed.
struct SamplePlan {
  const uint8_t* indices;
  int64_t width;
  int64_t height;
  const std::array<uint8_t, 256>& newIndex;
  int bitDepth;
  int64_t rowBytes;
  int64_t bandRows;
  CompactDeflateSettings settings;
};

// The first row of each band of the sample, or -1 where a band would overlap the one
// before (small pictures).
std::array<int64_t, kBands> BandStarts(const SamplePlan& plan) {
  std::array<int64_t, kBands> starts{};
  int64_t lastBandEnd = -1;
  for (int band = 0; band < kBands; ++band) {
    const int64_t first = std::min(plan.height - plan.bandRows, plan.height * band / kBands);
    starts[band] = first < lastBandEnd ? -1 : first;
    if (first >= lastBandEnd) lastBandEnd = first + plan.bandRows;
  }
  return starts;
}

// The bits of every band of the sample with the rows filtered by `filter`.
uint64_t SampleBits(const SamplePlan& plan, CompactRowFilter filter) {
  SegmentWorkspace workspace;
  uint64_t bits = 0;
  for (const int64_t first : BandStarts(plan)) {
    if (first < 0) continue;
    // The rows of a window before the band go along, so that its copies reach as far back
    // as in the whole picture.
    const int64_t historyRows =
        std::min<int64_t>(first, (kMaxDistance + plan.rowBytes - 1) / plan.rowBytes);
    const uint8_t* bandIndices = plan.indices + (first - historyRows) * plan.width;
    const size_t history = static_cast<size_t>(historyRows * plan.rowBytes);
    bits += CompressedBits(BuildFilteredRows(bandIndices, plan.width, historyRows + plan.bandRows,
                                             plan.newIndex, plan.bitDepth, filter),
                           history, plan.settings, workspace);
  }
  return bits;
}

// The bytes of rows the sample stands for (its history left out).
uint64_t SampleBytes(const SamplePlan& plan) {
  uint64_t bytes = 0;
  for (const int64_t first : BandStarts(plan)) {
    if (first >= 0) bytes += static_cast<uint64_t>(plan.bandRows * plan.rowBytes);
  }
  return bytes;
}

}  // namespace

CompactRowFilter ChooseRowFilter(const uint8_t* indices, int64_t width, int64_t height,
                                 const std::array<uint8_t, 256>& newIndex, int bitDepth,
                                 bool twoThreads, SampleSearch search,
                                 std::span<const CompactRowFilter> candidates, double* bitsPerByte,
                                 uint64_t* chosenBits, std::optional<uint64_t> firstBits) {
  const int64_t rowBytes = static_cast<int64_t>(PackedRowBytes(width, bitDepth)) + 1;
  const int64_t sampleBytes =
      std::clamp(rowBytes * height / kSampleShare, std::min(rowBytes * height, kSmallestSample),
                 kLargestSample);
  SamplePlan plan{indices,
                  width,
                  height,
                  newIndex,
                  bitDepth,
                  rowBytes,
                  std::clamp<int64_t>(sampleBytes / kBands / rowBytes, 1, height),
                  {}};
  plan.settings.matchFinder.chainDepth =
      std::clamp(search.chainDepth, 1, kDeepestSampleSearch.chainDepth);
  plan.settings.matchFinder.shortChainDepth =
      std::clamp(search.shortChainDepth, 1, kDeepestSampleSearch.shortChainDepth);
  plan.settings.blockPasses = 0;
  plan.settings.matchFinder.rowDistance = static_cast<int>(std::min<int64_t>(rowBytes, 1 << 16));
  // The candidates are independent: with two threads, every second one still to measure
  // runs beside.
  std::vector<uint64_t> bits(candidates.size(), 0);
  const size_t firstMeasured = firstBits.has_value() && !candidates.empty() ? 1 : 0;
  if (firstMeasured == 1) bits[0] = *firstBits;
  const auto measure = [&](size_t first) {
    for (size_t k = first; k < candidates.size(); k += 2) bits[k] = SampleBits(plan, candidates[k]);
  };
  std::exception_ptr failure;
  std::thread helper;
  if (twoThreads && candidates.size() > firstMeasured + 1) {
    try {
      helper = std::thread([&] {
        try {
          measure(firstMeasured + 1);
        } catch (...) {
          failure = std::current_exception();
        }
      });
    } catch (const std::system_error&) {
      // No second thread to be had: the calling thread does them all.
    }
  }
  if (helper.joinable()) {
    measure(firstMeasured);
    helper.join();
    if (failure) std::rethrow_exception(failure);
  } else {
    for (size_t k = firstMeasured; k < candidates.size(); ++k) {
      bits[k] = SampleBits(plan, candidates[k]);
    }
  }
  // The quick settings find fewer of the long copies unfiltered rows live on, so filtered
  // rows must win the sample clearly.
  CompactRowFilter best = CompactRowFilter::kNone;
  double bestBits = 0;
  for (size_t k = 0; k < candidates.size(); ++k) {
    const double weighed = candidates[k] == CompactRowFilter::kNone
                               ? kFilteredMustReach * static_cast<double>(bits[k])
                               : static_cast<double>(bits[k]);
    if (k == 0 || weighed < bestBits) {
      best = candidates[k];
      bestBits = weighed;
      if (chosenBits != nullptr) *chosenBits = bits[k];
      if (bitsPerByte != nullptr) {
        *bitsPerByte = static_cast<double>(bits[k]) /
                       static_cast<double>(std::max<uint64_t>(1, SampleBytes(plan)));
      }
    }
  }
  return best;
}

}  // namespace genshoku::png
