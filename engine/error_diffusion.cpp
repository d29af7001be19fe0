#include "engine/error_diffusion.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <limits>
#include <thread>

#include "engine/nearest_entry_search.h"
#include "engine/parallel.h"

// Both variants scan the picture in raster order (no serpentine), add the error carried to
// each pixel, pick the nearest palette entry (lowest index on ties), and push the full
// error of that choice to the unmapped neighbours through error rows with margins. The
// margins catch what would fall off the left or right edge; nothing ever reads them.
//
// The picture's index is then found again from the chosen colour, by looking the colour up
// in the palette, so that entries with the same colour all map to one index. The chosen
// colour depends only on the chosen entry, so the lookup is made once per entry and each
// pixel takes the result of its entry.
namespace genshoku {

namespace {

constexpr int kChannels = 3;

struct KernelTap {
  int row;  // 0 the current row (right of the pixel), 1 and 2 the rows below
  int dx;
  double weight;
};

struct DiffusionKernel {
  int rows;    // error rows kept: the current one and those below it
  int margin;  // cells on each side of a row beyond the picture
  double divisor;
  std::vector<KernelTap> taps;
};

bool KernelFor(int kernel, DiffusionKernel& out) {
  switch (kernel) {
    case 0:  // Floyd-Steinberg
      out = {2, 1, 16, {{0, 1, 7}, {1, -1, 3}, {1, 0, 5}, {1, 1, 1}}};
      return true;
    case 1:  // Sierra Lite
      out = {2, 1, 4, {{0, 1, 2}, {1, -1, 1}, {1, 0, 1}}};
      return true;
    case 2:  // Stucki
      out = {3, 2, 42, {{0, 1, 8}, {0, 2, 4},
                        {1, -2, 2}, {1, -1, 4}, {1, 0, 8}, {1, 1, 4}, {1, 2, 2},
                        {2, -2, 1}, {2, -1, 2}, {2, 0, 4}, {2, 1, 2}, {2, 2, 1}}};
      return true;
    case 3:  // Jarvis-Judice-Ninke
      out = {3, 2, 48, {{0, 1, 7}, {0, 2, 5},
                        {1, -2, 3}, {1, -1, 5}, {1, 0, 7}, {1, 1, 5}, {1, 2, 3},
                        {2, -2, 1}, {2, -1, 3}, {2, 0, 5}, {2, 1, 3}, {2, 2, 1}}};
      return true;
    default:
      return false;
  }
}

// Error rows of the three channels for the rows in flight: a ring of rows, each cleared
// once the row it held has been mapped. Six rows leave room for two threads on alternate
// rows with a three-row kernel.
class ErrorRing {
 public:
  static constexpr int kRows = 6;

  ErrorRing(int width, const DiffusionKernel& kernel)
      : stride_(width + 2 * kernel.margin), margin_(kernel.margin),
        cells_(static_cast<size_t>(kChannels) * kRows * stride_, 0.0) {}

  double* Row(int channel, int64_t imageRow) {
    return cells_.data() +
           (static_cast<size_t>(channel) * kRows + static_cast<size_t>(imageRow % kRows)) *
               stride_ +
           margin_;
  }
  void Clear(int64_t imageRow) {
    for (int c = 0; c < kChannels; ++c) std::fill_n(Row(c, imageRow) - margin_, stride_, 0.0);
  }

 private:
  int stride_;
  int margin_;
  std::vector<double> cells_;
};

// Publishes how far a thread has mapped: row * (width + 1) + pixels done in that row.
struct alignas(64) Progress {
  std::atomic<int64_t> value{-1};
};

// Maps every pixel to a palette entry with error diffusion and writes the entry numbers
// into `chosen`. pixel(i, value) gives pixel i's colour in the palette's channel order and
// returns an entry to start the search from.
template <typename PixelColour>
void DiffuseToEntries(int width, int height, const DiffusionKernel& kernel, double strength,
                      PixelColour& pixel, const NearestEntrySearch& search,
                      const double (*palette)[kChannels], uint8_t* chosen, EngineRun* run,
                      int threads) {
  // The error is stored whole and divided on reading; a strength of 0 still lets a tiny
  // share through, which only matters for a pixel almost exactly between two entries.
  const double k = kernel.divisor / (strength + 0.0000001);
  ErrorRing ring(width, kernel);
  const int reach = kernel.margin;
  const int64_t rowSpan = int64_t{width} + 1;
  Progress progress[2];
  std::atomic<bool> cancelled{false};
  const bool shared = threads >= 2 && height >= 2;
  // The usual kernel, written out.
  const bool floydSteinberg = kernel.rows == 2 && kernel.divisor == 16.0;

  // Waits until the other thread's row (y - 1) is mapped up to pixel `needed` (exclusive).
  auto waitFor = [&](int part, int64_t y, int64_t needed) {
    if (!shared || y == 0) return true;
    const int64_t target = (y - 1) * rowSpan + std::min<int64_t>(needed, width);
    int spins = 0;
    while (progress[1 - part].value.load(std::memory_order_acquire) < target) {
      if (cancelled.load(std::memory_order_relaxed)) return false;
      if (++spins > 64) std::this_thread::yield();
    }
    return true;
  };

  auto mapRows = [&](int part) {
    for (int64_t y = shared ? part : 0; y < height; y += shared ? 2 : 1) {
      if (run && part == 0) run->Pump();
      if (cancelled.load(std::memory_order_relaxed)) return;
      double* current[kChannels];
      double* below[2][kChannels];
      for (int c = 0; c < kChannels; ++c) {
        current[c] = ring.Row(c, y);
        below[0][c] = ring.Row(c, y + 1);
        below[1][c] = ring.Row(c, y + 2);
      }
      const int64_t rowStart = y * width;
      pixel.StartRow(part, rowStart, width);
      int64_t allowed = 0;
      for (int x = 0; x < width; ++x) {
        if (x >= allowed) {
          // Every cell this pixel reads or adds to must have received all shares from
          // the row above first; ask for a stretch ahead to keep the waits rare.
          const int64_t needed = int64_t{x} + 2 * reach + 1;
          if (!waitFor(part, y, needed + 32)) return;
          allowed = std::min<int64_t>(width, needed + 32) - 2 * reach;
          if (allowed >= width || y == 0 || !shared) allowed = width;
        }
        const int64_t i = rowStart + x;
        if (run && part == 0 && (x & 0xFFFF) == 0xFFFF) run->Pump();
        double value[kChannels];
        const int start = pixel(part, x, i, value);
        for (int c = 0; c < kChannels; ++c) value[c] = value[c] + current[c][x] / k;
        const int entry = search.Find(value[0], value[1], value[2], start);
        if (floydSteinberg) {
          for (int c = 0; c < kChannels; ++c) {
            const double error = value[c] - palette[entry][c];
            current[c][x + 1] += error * 7.0;
            below[0][c][x - 1] += error * 3.0;
            below[0][c][x] += error * 5.0;
            below[0][c][x + 1] += error * 1.0;
          }
        } else {
          for (int c = 0; c < kChannels; ++c) {
            const double error = value[c] - palette[entry][c];
            for (const KernelTap& tap : kernel.taps) {
              double* row = tap.row == 0 ? current[c] : below[tap.row - 1][c];
              row[x + tap.dx] += error * tap.weight;
            }
          }
        }
        chosen[i] = static_cast<uint8_t>(entry);
        if (shared && (x & 15) == 15) {
          progress[part].value.store(y * rowSpan + x + 1, std::memory_order_release);
        }
      }
      ring.Clear(y);
      if (shared) progress[part].value.store(y * rowSpan + width, std::memory_order_release);
    }
    if (shared) progress[part].value.store(int64_t{height} * rowSpan, std::memory_order_release);
  };
  if (shared) {
    RunInTwoParts(2, mapRows, &cancelled);
  } else {
    mapRows(0);
  }
}

// Truncation toward zero into 32 bits, saturating, with NaN as 0: no palette value may turn
// the conversion into undefined behaviour.
int32_t TruncateToInt32(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (value <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

struct IntegerEntry {
  int32_t y;
  int32_t u;
  int32_t v;
  int32_t index;
};

bool ComesBefore(const IntegerEntry& a, const IntegerEntry& b) {
  if (a.v != b.v) return a.v < b.v;
  if (a.y != b.y) return a.y < b.y;
  return a.u < b.u;
}

IntegerEntry Truncated(const PaletteRecord& record) {
  return {TruncateToInt32(record.y), TruncateToInt32(record.u), TruncateToInt32(record.v),
          record.index};
}

// Pixels read straight from three planes, in the palette's channel order.
template <typename T>
struct PlanesSource {
  const T* c0;
  const T* c1;
  const T* c2;
  void StartRow(int, int64_t, int) {}
  int operator()(int, int, int64_t i, double* value) const {
    value[0] = c0[i];
    value[1] = c1[i];
    value[2] = c2[i];
    return 0;
  }
};
template <typename T>
PlanesSource(const T*, const T*, const T*) -> PlanesSource<T>;

bool Supported(int width, int height, int count) {
  return width > 0 && height > 0 && count >= 1 && count <= kPaletteSize;
}

// The index of a colour is the last entry that has it.
void LookUpRgbIndices(int64_t n, int count, const uint8_t* paletteRed,
                      const uint8_t* paletteGreen, const uint8_t* paletteBlue,
                      uint8_t* indexPlane) {
  std::array<uint8_t, kPaletteSize> indexOfEntry{};
  for (int e = 0; e < count; ++e) {
    for (int j = 0; j < count; ++j) {
      if (paletteRed[j] == paletteRed[e] && paletteGreen[j] == paletteGreen[e] &&
          paletteBlue[j] == paletteBlue[e]) {
        indexOfEntry[e] = static_cast<uint8_t>(j);
      }
    }
  }
  for (int64_t i = 0; i < n; ++i) indexPlane[i] = indexOfEntry[indexPlane[i]];
}

// The index of a colour is found in a table of the entries' integer parts sorted by
// (v, y, u). The sort is stable, so among entries with the same integer parts the lowest
// record comes first and is the one found.
void LookUpWeightedIndices(int64_t n, int count, const PaletteRecord* records,
                           uint8_t* indexPlane) {
  std::vector<IntegerEntry> table(count);
  for (int e = 0; e < count; ++e) table[e] = Truncated(records[e]);
  std::stable_sort(table.begin(), table.end(), ComesBefore);
  std::array<uint8_t, kPaletteSize> indexOfEntry{};
  for (int e = 0; e < count; ++e) {
    const IntegerEntry key = Truncated(records[e]);
    const auto found = std::lower_bound(table.begin(), table.end(), key, ComesBefore);
    // The key was made from the same record as one of the table's entries, so the search
    // always ends on an entry with the same integer parts.
    indexOfEntry[e] = static_cast<uint8_t>(found->index & 0xFF);
  }
  for (int64_t i = 0; i < n; ++i) indexPlane[i] = indexOfEntry[indexPlane[i]];
}

struct PaletteArrays {
  double coordinates[kPaletteSize][kChannels];
  double c0[kPaletteSize], c1[kPaletteSize], c2[kPaletteSize];

  void Set(int e, double a, double b, double c) {
    coordinates[e][0] = c0[e] = a;
    coordinates[e][1] = c1[e] = b;
    coordinates[e][2] = c2[e] = c;
  }
};

}  // namespace

void DiffuseToIndicesRgb(int width, int height, int kernel, double strength,
                         const uint8_t* srcR, const uint8_t* srcG, const uint8_t* srcB,
                         int count, const uint8_t* paletteRed, const uint8_t* paletteGreen,
                         const uint8_t* paletteBlue, uint8_t* indexPlane) {
  DiffusionKernel taps;
  if (!KernelFor(kernel, taps) || !Supported(width, height, count)) return;
  PaletteArrays palette;
  for (int e = 0; e < count; ++e) palette.Set(e, paletteRed[e], paletteGreen[e], paletteBlue[e]);
  NearestEntrySearch search;
  search.SetPalette(palette.c0, palette.c1, palette.c2, count);
  PlanesSource pixel{srcR, srcG, srcB};
  DiffuseToEntries(width, height, taps, strength, pixel, search, palette.coordinates, indexPlane,
                   nullptr, 1);
  LookUpRgbIndices(int64_t{width} * height, count, paletteRed, paletteGreen, paletteBlue,
                   indexPlane);
}

void DiffuseToIndicesWeighted(int width, int height, int kernel, double strength,
                              const double* planeV, const double* planeY, const double* planeU,
                              int count, const PaletteRecord* records, uint8_t* indexPlane) {
  DiffusionKernel taps;
  if (!KernelFor(kernel, taps) || !Supported(width, height, count)) return;
  PaletteArrays palette;
  for (int e = 0; e < count; ++e) palette.Set(e, records[e].v, records[e].y, records[e].u);
  NearestEntrySearch search;
  search.SetPalette(palette.c0, palette.c1, palette.c2, count);
  PlanesSource pixel{planeV, planeY, planeU};
  DiffuseToEntries(width, height, taps, strength, pixel, search, palette.coordinates, indexPlane,
                   nullptr, 1);
  LookUpWeightedIndices(int64_t{width} * height, count, records, indexPlane);
}

void DiffuseColoursRgb(int width, int height, int kernel, double strength,
                       const ColourTable& colours, const uint8_t* srcR, const uint8_t* srcG,
                       const uint8_t* srcB, const std::vector<uint8_t>& guess,
                       const uint8_t* paletteRed, const uint8_t* paletteGreen,
                       const uint8_t* paletteBlue, uint8_t* indexPlane, EngineRun& run,
                       int threads) {
  DiffusionKernel taps;
  if (!KernelFor(kernel, taps) || !Supported(width, height, kPaletteSize)) return;
  PaletteArrays palette;
  for (int e = 0; e < kPaletteSize; ++e) {
    palette.Set(e, paletteRed[e], paletteGreen[e], paletteBlue[e]);
  }
  NearestEntrySearch search;
  search.SetPalette(palette.c0, palette.c1, palette.c2, kPaletteSize);
  // The start entries in the order of the colours' ranks, which neighbouring pixels share
  // more often than the refinement's order.
  std::vector<uint8_t> guessByRank(static_cast<size_t>(colours.colourCount));
  for (int64_t rank = 0; rank < colours.colourCount; ++rank) {
    guessByRank[rank] = guess[colours.ColourOfRank(static_cast<uint32_t>(rank))];
  }
  struct Source {
    const uint8_t* r;
    const uint8_t* g;
    const uint8_t* b;
    const std::vector<uint8_t>& guessByRank;
    const ColourTable& colours;
    void StartRow(int, int64_t, int) {}
    int operator()(int, int, int64_t i, double* value) {
      value[0] = r[i];
      value[1] = g[i];
      value[2] = b[i];
      return int{guessByRank[colours.RankOfBytes(r[i], g[i], b[i])]};
    }
  } pixel{srcR, srcG, srcB, guessByRank, colours};
  DiffuseToEntries(width, height, taps, strength, pixel, search, palette.coordinates,
                   indexPlane, &run, threads);
  LookUpRgbIndices(int64_t{width} * height, kPaletteSize, paletteRed, paletteGreen, paletteBlue,
                   indexPlane);
}

void DiffuseColoursWeighted(int width, int height, int kernel, double strength,
                            const ColourTable& colours, const uint8_t* srcR,
                            const uint8_t* srcG, const uint8_t* srcB,
                            const std::vector<uint8_t>& guess,
                            const PaletteRecord* records, uint8_t* indexPlane, EngineRun& run,
                            int threads) {
  DiffusionKernel taps;
  if (!KernelFor(kernel, taps) || !Supported(width, height, kPaletteSize)) return;
  PaletteArrays palette;
  for (int e = 0; e < kPaletteSize; ++e) palette.Set(e, records[e].v, records[e].y, records[e].u);
  NearestEntrySearch search;
  search.SetPalette(palette.c0, palette.c1, palette.c2, kPaletteSize);
  // Every pixel reads one record: its working colour in the palette's channel order and
  // the nearest entry of its colour to start the search from, in the order of the colours'
  // ranks, which neighbouring pixels share more often than the refinement's order.
  struct PixelRecord {
    double value[kChannels];
    int start;
  };
  std::vector<PixelRecord> byRank(static_cast<size_t>(colours.colourCount));
  for (int64_t rank = 0; rank < colours.colourCount; ++rank) {
    const uint32_t c = colours.ColourOfRank(static_cast<uint32_t>(rank));
    byRank[rank] = {{colours.working[c].v, colours.working[c].y, colours.working[c].u}, guess[c]};
  }
  // The ranks of a row are found first and the records fetched a few pixels ahead, so
  // that the look-ups of neighbouring pixels overlap instead of waiting one by one.
  struct Source {
    const uint8_t* r;
    const uint8_t* g;
    const uint8_t* b;
    const std::vector<PixelRecord>& byRank;
    const ColourTable& colours;
    std::vector<uint32_t> rowRanks[2];  // one row per thread

    void StartRow(int part, int64_t rowStart, int rowWidth) {
      std::vector<uint32_t>& ranks = rowRanks[part];
      ranks.resize(static_cast<size_t>(rowWidth));
      for (int x = 0; x < rowWidth; ++x) {
        const int64_t i = rowStart + x;
        ranks[x] = colours.RankOfBytes(r[i], g[i], b[i]);
      }
      for (int x = 0; x < std::min(rowWidth, 8); ++x) __builtin_prefetch(&byRank[ranks[x]]);
    }
    int operator()(int part, int x, int64_t, double* value) {
      const std::vector<uint32_t>& ranks = rowRanks[part];
      if (static_cast<size_t>(x) + 8 < ranks.size()) __builtin_prefetch(&byRank[ranks[x + 8]]);
      const PixelRecord& record = byRank[ranks[x]];
      value[0] = record.value[0];
      value[1] = record.value[1];
      value[2] = record.value[2];
      return record.start;
    }
  } pixel{srcR, srcG, srcB, byRank, colours, {}};
  DiffuseToEntries(width, height, taps, strength, pixel, search, palette.coordinates,
                   indexPlane, &run, threads);
  LookUpWeightedIndices(int64_t{width} * height, kPaletteSize, records, indexPlane);
}

}  // namespace genshoku
