#include "engine/colour_table.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <utility>
#include <vector>

#include "engine/colour_space.h"
#include "engine/edge_map.h"
#include "engine/parallel.h"
#include "engine/progress_points.h"

namespace genshoku {

namespace {

uint32_t KeyOf(uint8_t red, uint8_t green, uint8_t blue) {
  return (uint32_t{red} << 16) | (uint32_t{green} << 8) | blue;
}

}  // namespace

void BuildColourTable(int width, int height, const uint8_t* srcR, const uint8_t* srcG,
                      const uint8_t* srcB, const ReductionParams& params, int threads,
                      ColourTable& table, EngineRun& run) {
  const int64_t n = static_cast<int64_t>(width) * height;
  table.pixelCount = n;

  // Which of the 2^24 colours occur, and the rank of each among them: 3 MB whatever the
  // picture.
  constexpr size_t kWords = (size_t{1} << 24) / 64;
  // With two threads each marks the colours of its half of the picture in its own map,
  // and the second map is merged into the first.
  std::vector<uint64_t>& present = table.present;
  present.assign(kWords, 0);
  std::vector<uint64_t> presentInSecondHalf;
  if (threads >= 2) presentInSecondHalf.assign(kWords, 0);
  RunInTwoParts(threads, [&](int part) {
    int64_t begin, end;
    HalfRange(n, part, begin, end);
    uint64_t* marks = part == 1 && threads >= 2 ? presentInSecondHalf.data() : present.data();
    for (int64_t i = begin; i < end; ++i) {
      if (part == 0 && AtProgressPoint(i - begin)) run.Pump();
      const uint32_t key = KeyOf(srcR[i], srcG[i], srcB[i]);
      marks[key >> 6] |= uint64_t{1} << (key & 63);
    }
  });
  if (threads >= 2) {
    for (size_t w = 0; w < kWords; ++w) present[w] |= presentInSecondHalf[w];
    std::vector<uint64_t>().swap(presentInSecondHalf);
  }
  std::vector<uint32_t>& rankBefore = table.rankBefore;
  rankBefore.assign(kWords + 1, 0);
  for (size_t w = 0; w < kWords; ++w) {
    rankBefore[w + 1] = rankBefore[w] + BitsSet(present[w]);
  }
  const int64_t colours = rankBefore[kWords];
  table.colourCount = colours;

  table.pixelColour.resize(static_cast<size_t>(n));
  table.working.resize(static_cast<size_t>(colours));
  const WorkingSpaceConverter converter(params);

  RunInTwoParts(threads, [&](int part) {
    int64_t begin, end;
    HalfRange(n, part, begin, end);
    for (int64_t i = begin; i < end; ++i) {
      if (part == 0 && AtProgressPoint(i - begin)) run.Pump();
      const uint32_t key = KeyOf(srcR[i], srcG[i], srcB[i]);
      const uint64_t below = present[key >> 6] & ((uint64_t{1} << (key & 63)) - 1);
      table.pixelColour[i] = rankBefore[key >> 6] + BitsSet(below);
    }
    int64_t firstWord, endWord;
    HalfRange(static_cast<int64_t>(kWords), part, firstWord, endWord);
    for (int64_t w = firstWord; w < endWord; ++w) {
      uint64_t bits = present[w];
      uint32_t colour = rankBefore[w];
      while (bits != 0) {
        const uint32_t key = static_cast<uint32_t>(w * 64 + std::countr_zero(bits));
        bits &= bits - 1;
        converter.Convert(static_cast<uint8_t>(key >> 16), static_cast<uint8_t>(key >> 8),
                          static_cast<uint8_t>(key), table.working[colour].y,
                          table.working[colour].u, table.working[colour].v);
        ++colour;
      }
    }
  });
}

void ColourTable::ReleasePixelColours() {
  edgeBits.assign(static_cast<size_t>((pixelCount + 63) / 64), 0);
  bool anyEdge = false;
  for (int64_t i = 0; i < pixelCount; ++i) {
    if ((pixelColour[i] & kEdgeBit) != 0) {
      edgeBits[i >> 6] |= uint64_t{1} << (i & 63);
      anyEdge = true;
    }
  }
  UnclearedVector<uint32_t>().swap(pixelColour);
  // The clusters give every pixel that takes part its number back; only edge pixels are
  // ever looked up by their bytes, so without them the 3 MB of look-up tables go now.
  if (!anyEdge) ReleaseLookUpTables();
}

void ColourTable::ReleaseLookUpTables() {
  // Nothing looks a colour up by its bytes any more.
  std::vector<uint64_t>().swap(present);
  std::vector<uint32_t>().swap(rankBefore);
  std::vector<uint32_t>().swap(numberOfRank);
  std::vector<uint64_t>().swap(edgeBits);
}

void ColourTable::Renumber(const std::vector<uint32_t>& newNumber) {
  // The colours move in place, cycle by cycle of the permutation: a second table of working
  // colours would be the largest buffer of a picture of many colours.
  const size_t count = static_cast<size_t>(colourCount);
  const bool withPixels = !takingPart.empty();
  std::vector<bool> moved(count, false);
  for (size_t start = 0; start < count; ++start) {
    if (moved[start]) continue;
    Working carried = working[start];
    uint32_t carriedPixels = withPixels ? takingPart[start] : 0;
    size_t from = start;
    while (true) {
      moved[from] = true;
      const size_t to = newNumber[from];
      if (to == start) {
        working[start] = carried;
        if (withPixels) takingPart[start] = carriedPixels;
        break;
      }
      std::swap(carried, working[to]);
      if (withPixels) std::swap(carriedPixels, takingPart[to]);
      from = to;
    }
  }
  if (present.empty()) return;  // nothing looks a colour up by its bytes any more
  if (numberOfRank.empty()) {
    numberOfRank = newNumber;
  } else {
    for (uint32_t& number : numberOfRank) number = newNumber[number];
  }
}

namespace {

// Marks the excluded pixels like edge pixels; when that leaves no pixel to design the
// palette from, the pixels that are not excluded all take part.
void ExcludePixels(int64_t n, const uint8_t* excluded, uint32_t* pixelColour) {
  bool anyTakesPart = false;
  for (int64_t i = 0; i < n && !anyTakesPart; ++i) {
    anyTakesPart = excluded[i] == 0 && (pixelColour[i] & ColourTable::kEdgeBit) == 0;
  }
  for (int64_t i = 0; i < n; ++i) {
    if (excluded[i] != 0) {
      pixelColour[i] |= ColourTable::kEdgeBit;
    } else if (!anyTakesPart) {
      pixelColour[i] &= ColourTable::kColourMask;
    }
  }
}

}  // namespace

int MarkEdgePixels(int width, int height, const uint8_t* srcR, const uint8_t* srcG,
                   const uint8_t* srcB, const ReductionParams& params, int threads,
                   ColourTable& table, double* edgeStrength, EngineRun& run,
                   const uint8_t* excluded) {
  std::atomic<int> edgeCount{0};
  uint32_t* pixelColour = table.pixelColour.data();
  // A threshold no gradient of bytes can reach marks no pixel: the pass is skipped.
  const bool noEdgePossible =
      params.edgeOperator == 6 && SmallestEdgeSumOfSquares(params.edgeThreshold) < 0;
  if (!noEdgePossible) {
    RunInTwoParts(threads, [&](int part) {
      int64_t firstRow, endRow;
      HalfRange(height, part, firstRow, endRow);
      // Stretches of rows between progress points of the calling thread.
      const int64_t rowsPerStretch =
          std::max<int64_t>(1, kItemsPerProgressPoint / std::max(width, 1));
      for (int64_t row = firstRow; row < endRow; row += rowsPerStretch) {
        if (part == 0) run.Pump();
        const int64_t stretchEnd = std::min(endRow, row + rowsPerStretch);
        edgeCount +=
            ClassifyEdgeRows(width, height, srcR, srcG, srcB, params.edgeOperator,
                             params.edgeThreshold, static_cast<int>(row),
                             static_cast<int>(stretchEnd), edgeStrength, [&](int64_t i, bool edge) {
                               if (edge) pixelColour[i] |= ColourTable::kEdgeBit;
                             });
      }
    });
  }
  const int64_t n = table.pixelCount;
  if (excluded == nullptr && edgeCount.load() >= n) {
    // No pixel would be left to design a palette from: every pixel takes part.
    for (int64_t i = 0; i < n; ++i) pixelColour[i] &= ColourTable::kColourMask;
  }
  if (excluded != nullptr) ExcludePixels(n, excluded, pixelColour);
  table.takingPart.assign(static_cast<size_t>(table.colourCount), 0);
  for (int64_t i = 0; i < n; ++i) {
    if ((pixelColour[i] & ColourTable::kEdgeBit) == 0) ++table.takingPart[pixelColour[i]];
  }
  return edgeCount.load();
}

}  // namespace genshoku
