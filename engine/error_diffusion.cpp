#include "engine/error_diffusion.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <limits>
#include <thread>

#include "engine/candidate_grid.h"
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
      out = {3,
             2,
             42,
             {{0, 1, 8},
              {0, 2, 4},
              {1, -2, 2},
              {1, -1, 4},
              {1, 0, 8},
              {1, 1, 4},
              {1, 2, 2},
              {2, -2, 1},
              {2, -1, 2},
              {2, 0, 4},
              {2, 1, 2},
              {2, 2, 1}}};
      return true;
    case 3:  // Jarvis-Judice-Ninke
      out = {3,
             2,
             48,
             {{0, 1, 7},
              {0, 2, 5},
              {1, -2, 3},
              {1, -1, 5},
              {1, 0, 7},
              {1, 1, 5},
              {1, 2, 3},
              {2, -2, 1},
              {2, -1, 3},
              {2, 0, 5},
              {2, 1, 3},
              {2, 2, 1}}};
      return true;
    default: return false;
  }
}

// Error rows of the three channels for the rows in flight: a ring of rows, each cleared
// once the row it held has been mapped. Eight rows leave room for two threads on alternate
// bands of two rows with a three-row kernel.
class ErrorRing {
 public:
  static constexpr int kRows = 8;

  ErrorRing(int width, const DiffusionKernel& kernel)
      : stride_(width + 2 * kernel.margin),
        margin_(kernel.margin),
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
// into `chosen`. pixel(slot, x, i, value) gives pixel i (column x) of the row started with
// pixel.StartRow(slot, ...) in the palette's channel order. Where a pixel's cell of the grid
// cannot answer, its search starts from the entry of the pixel before it in its row.
//
// The rows are taken two at a time (a band), pixel by pixel side by side, the second row
// far enough behind the first that every error cell receives its shares in the order of a
// plain raster scan. Each pixel waits on the one before it in its row (its error comes from
// there), so the two rows' chains of work overlap in the processor. With two threads the
// bands are shared out alternately, and a band's first row stays behind the other thread's
// band above in the same way.
template <typename PixelColour>
void DiffuseToEntries(int width, int height, const DiffusionKernel& kernel, double strength,
                      PixelColour& pixel, const CandidateGrid& grid,
                      const double (*palette)[kChannels], uint8_t* chosen, EngineRun* run,
                      int threads, const uint8_t* excluded = nullptr) {
  // The error is stored whole and divided on reading; a strength of 0 still lets a tiny
  // share through, which only matters for a pixel almost exactly between two entries.
  const double k = kernel.divisor / (strength + 0.0000001);
  ErrorRing ring(width, kernel);
  const int reach = kernel.margin;
  // A pixel reads and adds to cells up to `reach` columns to its right, which the row above
  // adds to from up to 2 * reach columns to the pixel's right.
  const int64_t lag = 2 * int64_t{reach} + 1;
  const int64_t rowSpan = int64_t{width} + 1;
  Progress progress[2];
  std::atomic<bool> cancelled{false};
  const int64_t bandCount = (int64_t{height} + 1) / 2;
  const bool shared = threads >= 2 && bandCount >= 2;
  // The usual kernel, written out.
  const bool floydSteinberg = kernel.rows == 2 && kernel.divisor == 16.0;

  // Waits until the other thread's row (y - 1) is mapped up to pixel `needed` (exclusive).
  auto waitFor = [&](int part, int64_t y, int64_t needed) {
    if (!shared || y == 0) return true;
    const int64_t target = (y - 1) * rowSpan + std::min<int64_t>(needed, width);
    return WaitUntilReached(progress[1 - part].value, target, cancelled);
  };

  struct Row {
    int slot;  // the pixel source's row buffer
    int64_t start;
    int lastEntry;  // of the pixel mapped last
    double* current[kChannels];
    double* below[2][kChannels];
  };
  auto startRow = [&](Row& row, int slot, int64_t y) {
    row.slot = slot;
    row.start = y * width;
    row.lastEntry = 0;
    for (int c = 0; c < kChannels; ++c) {
      row.current[c] = ring.Row(c, y);
      row.below[0][c] = ring.Row(c, y + 1);
      row.below[1][c] = ring.Row(c, y + 2);
    }
    pixel.StartRow(slot, row.start, width);
  };
  auto mapPixel = [&](Row& row, int x) {
    const int64_t i = row.start + x;
    if (excluded != nullptr && excluded[i] != 0) {
      // Left out: the error that reached it is dropped, and it passes none on.
      chosen[i] = 0;
      return;
    }
    double value[kChannels];
    pixel(row.slot, x, i, value);
    for (int c = 0; c < kChannels; ++c) value[c] = value[c] + row.current[c][x] / k;
    const int entry = grid.Find(value[0], value[1], value[2], row.lastEntry);
    row.lastEntry = entry;
    if (floydSteinberg) {
      for (int c = 0; c < kChannels; ++c) {
        const double error = value[c] - palette[entry][c];
        row.current[c][x + 1] += error * 7.0;
        row.below[0][c][x - 1] += error * 3.0;
        row.below[0][c][x] += error * 5.0;
        row.below[0][c][x + 1] += error * 1.0;
      }
    } else {
      for (int c = 0; c < kChannels; ++c) {
        const double error = value[c] - palette[entry][c];
        for (const KernelTap& tap : kernel.taps) {
          double* cells = tap.row == 0 ? row.current[c] : row.below[tap.row - 1][c];
          cells[x + tap.dx] += error * tap.weight;
        }
      }
    }
    chosen[i] = static_cast<uint8_t>(entry);
  };

  auto mapBands = [&](int part) {
    for (int64_t band = shared ? part : 0; band < bandCount; band += shared ? 2 : 1) {
      if (run && part == 0) run->Pump();
      if (cancelled.load(std::memory_order_relaxed)) return;
      const int64_t y = band * 2;
      const bool pair = y + 1 < height;
      // The band's last row is the one the next band waits on.
      const int64_t lastRow = pair ? y + 1 : y;
      const int64_t behind = pair ? lag : 0;
      Row rows[2];
      startRow(rows[0], 2 * part, y);
      if (pair) startRow(rows[1], 2 * part + 1, y + 1);
      int64_t allowed = 0;
      for (int64_t t = 0; t < width + behind; ++t) {
        if (run && part == 0 && (t & 0xFFFF) == 0xFFFF) run->Pump();
        if (t < width) {
          if (t >= allowed) {
            // Every cell this pixel reads or adds to must have received all shares from
            // the row above first; ask for a stretch ahead to keep the waits rare.
            const int64_t needed = t + 2 * reach + 1;
            if (!waitFor(part, y, needed + 32)) return;
            allowed = std::min<int64_t>(width, needed + 32) - 2 * reach;
            if (allowed >= width || y == 0 || !shared) allowed = width;
          }
          mapPixel(rows[0], static_cast<int>(t));
        }
        if (pair && t >= behind) mapPixel(rows[1], static_cast<int>(t - behind));
        // Pixels of the last row mapped so far.
        const int64_t lastDone = t - behind + 1;
        if (shared && (t & 15) == 15 && lastDone > 0) {
          progress[part].value.store(lastRow * rowSpan + lastDone, std::memory_order_release);
        }
      }
      ring.Clear(y);
      if (pair) ring.Clear(y + 1);
      if (shared) {
        progress[part].value.store(lastRow * rowSpan + width, std::memory_order_release);
      }
    }
    if (shared) progress[part].value.store(int64_t{height} * rowSpan, std::memory_order_release);
  };
  if (shared) {
    RunInTwoParts(2, mapBands, &cancelled);
  } else {
    mapBands(0);
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
  void operator()(int, int, int64_t i, double* value) const {
    value[0] = c0[i];
    value[1] = c1[i];
    value[2] = c2[i];
  }
};
template <typename T>
PlanesSource(const T*, const T*, const T*) -> PlanesSource<T>;

bool Supported(int width, int height, int count) {
  return width > 0 && height > 0 && count >= 1 && count <= kPaletteSize;
}

// Rewrites every index through `indexOfEntry`; nothing to do when it keeps every entry, as
// it does whenever the entries differ from each other.
void RemapIndices(int64_t n, const std::array<uint8_t, kPaletteSize>& indexOfEntry,
                  uint8_t* indexPlane) {
  bool keepsEveryEntry = true;
  for (int e = 0; e < kPaletteSize; ++e) keepsEveryEntry &= indexOfEntry[e] == e;
  if (keepsEveryEntry) return;
  for (int64_t i = 0; i < n; ++i) indexPlane[i] = indexOfEntry[indexPlane[i]];
}

// Every entry its own index (entries past the palette's count included).
std::array<uint8_t, kPaletteSize> IdentityOfEntries() {
  std::array<uint8_t, kPaletteSize> identity;
  for (int e = 0; e < kPaletteSize; ++e) identity[e] = static_cast<uint8_t>(e);
  return identity;
}

// The index of a colour is the last entry that has it.
void LookUpRgbIndices(int64_t n, int count, const uint8_t* paletteRed, const uint8_t* paletteGreen,
                      const uint8_t* paletteBlue, uint8_t* indexPlane) {
  std::array<uint8_t, kPaletteSize> indexOfEntry = IdentityOfEntries();
  for (int e = 0; e < count; ++e) {
    for (int j = 0; j < count; ++j) {
      if (paletteRed[j] == paletteRed[e] && paletteGreen[j] == paletteGreen[e] &&
          paletteBlue[j] == paletteBlue[e]) {
        indexOfEntry[e] = static_cast<uint8_t>(j);
      }
    }
  }
  RemapIndices(n, indexOfEntry, indexPlane);
}

// The index of a colour is found in a table of the entries' integer parts sorted by
// (v, y, u). The sort is stable, so among entries with the same integer parts the lowest
// record comes first and is the one found.
void LookUpWeightedIndices(int64_t n, int count, const PaletteRecord* records,
                           uint8_t* indexPlane) {
  std::vector<IntegerEntry> table(count);
  for (int e = 0; e < count; ++e) table[e] = Truncated(records[e]);
  std::stable_sort(table.begin(), table.end(), ComesBefore);
  std::array<uint8_t, kPaletteSize> indexOfEntry = IdentityOfEntries();
  for (int e = 0; e < count; ++e) {
    const IntegerEntry key = Truncated(records[e]);
    const auto found = std::lower_bound(table.begin(), table.end(), key, ComesBefore);
    // The key was made from the same record as one of the table's entries, so the search
    // always ends on an entry with the same integer parts.
    indexOfEntry[e] = static_cast<uint8_t>(found->index & 0xFF);
  }
  RemapIndices(n, indexOfEntry, indexPlane);
}

// Cells of the candidate grid for a picture of n pixels: a small share of a byte per pixel,
// but no fewer than 2^19, below which too many cells of a photo hold more candidates than a
// cell can list (the states of cells never reached are pages never touched).
int64_t GridCellBudget(int64_t n) {
  return std::clamp<int64_t>(n / 8, int64_t{1} << 19, int64_t{1} << 22);
}

// The box of the finite values of three planes of n values.
template <typename T>
void BoxOfPlanes(int64_t n, const T* c0, const T* c1, const T* c2, double low[3], double high[3]) {
  const T* planes[3] = {c0, c1, c2};
  for (int k = 0; k < 3; ++k) {
    low[k] = HUGE_VAL;
    high[k] = -HUGE_VAL;
    for (int64_t i = 0; i < n; ++i) {
      const double value = static_cast<double>(planes[k][i]);
      if (!(std::fabs(value) < 1e100)) continue;
      low[k] = std::min(low[k], value);
      high[k] = std::max(high[k], value);
    }
    if (low[k] > high[k]) low[k] = high[k] = 0.0;
  }
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

// Diffusion of three whole planes onto the first `count` entries of the palette, each pixel
// mapped to an entry number (the callers turn entries into indices afterwards).
template <typename T>
void DiffusePlanes(int width, int height, const DiffusionKernel& taps, double strength, const T* c0,
                   const T* c1, const T* c2, const PaletteArrays& palette, int count,
                   uint8_t* indexPlane) {
  NearestEntrySearch search;
  search.SetPalette(palette.c0, palette.c1, palette.c2, count);
  search.MakeAllNeighbourLists();
  const int64_t n = int64_t{width} * height;
  double low[3], high[3];
  BoxOfPlanes(n, c0, c1, c2, low, high);
  const CandidateGrid grid(search, low, high, GridCellBudget(n));
  PlanesSource pixel{c0, c1, c2};
  DiffuseToEntries(width, height, taps, strength, pixel, grid, palette.coordinates, indexPlane,
                   nullptr, 1);
}

}  // namespace

void DiffuseToIndicesRgb(int width, int height, int kernel, double strength, const uint8_t* srcR,
                         const uint8_t* srcG, const uint8_t* srcB, int count,
                         const uint8_t* paletteRed, const uint8_t* paletteGreen,
                         const uint8_t* paletteBlue, uint8_t* indexPlane) {
  DiffusionKernel taps;
  if (!KernelFor(kernel, taps) || !Supported(width, height, count)) return;
  PaletteArrays palette;
  for (int e = 0; e < count; ++e) palette.Set(e, paletteRed[e], paletteGreen[e], paletteBlue[e]);
  DiffusePlanes(width, height, taps, strength, srcR, srcG, srcB, palette, count, indexPlane);
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
  DiffusePlanes(width, height, taps, strength, planeV, planeY, planeU, palette, count, indexPlane);
  LookUpWeightedIndices(int64_t{width} * height, count, records, indexPlane);
}

void DiffuseColoursRgb(int width, int height, int kernel, double strength,
                       const ColourTable& colours, const uint8_t* srcR, const uint8_t* srcG,
                       const uint8_t* srcB, int count, const uint8_t* paletteRed,
                       const uint8_t* paletteGreen, const uint8_t* paletteBlue,
                       const uint8_t* excluded, uint8_t* indexPlane, EngineRun& run, int threads) {
  DiffusionKernel taps;
  if (!KernelFor(kernel, taps) || !Supported(width, height, count)) return;
  PaletteArrays palette;
  for (int e = 0; e < count; ++e) {
    palette.Set(e, paletteRed[e], paletteGreen[e], paletteBlue[e]);
  }
  NearestEntrySearch search;
  search.SetPalette(palette.c0, palette.c1, palette.c2, count);
  search.MakeAllNeighbourLists();
  const double low[3] = {0.0, 0.0, 0.0}, high[3] = {255.0, 255.0, 255.0};
  const CandidateGrid grid(search, low, high, GridCellBudget(colours.pixelCount));
  PlanesSource pixel{srcR, srcG, srcB};
  DiffuseToEntries(width, height, taps, strength, pixel, grid, palette.coordinates, indexPlane,
                   &run, threads, excluded);
  LookUpRgbIndices(int64_t{width} * height, count, paletteRed, paletteGreen, paletteBlue,
                   indexPlane);
}

void DiffuseColoursWeighted(int width, int height, int kernel, double strength,
                            const ColourTable& colours, int count, const PaletteRecord* records,
                            const uint8_t* excluded, uint8_t* indexPlane, EngineRun& run,
                            int threads) {
  DiffusionKernel taps;
  if (!KernelFor(kernel, taps) || !Supported(width, height, count)) return;
  PaletteArrays palette;
  for (int e = 0; e < count; ++e) palette.Set(e, records[e].v, records[e].y, records[e].u);
  NearestEntrySearch search;
  search.SetPalette(palette.c0, palette.c1, palette.c2, count);
  search.MakeAllNeighbourLists();
  // The grid covers the working colours of the picture, in the palette's channel order.
  double low[3] = {HUGE_VAL, HUGE_VAL, HUGE_VAL}, high[3] = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
  for (const ColourTable::Working& w : colours.working) {
    const double value[3] = {w.v, w.y, w.u};
    for (int k = 0; k < 3; ++k) {
      low[k] = std::min(low[k], value[k]);
      high[k] = std::max(high[k], value[k]);
    }
  }
  const CandidateGrid grid(search, low, high, GridCellBudget(colours.pixelCount));
  // Every pixel reads its working colour from the colour table. The colours of a row are
  // read first and the working colours fetched a few pixels ahead, so that the look-ups of
  // neighbouring pixels overlap instead of waiting one by one.
  struct Source {
    const ColourTable& colours;
    std::vector<uint32_t> rowColours[4];  // two rows per thread

    void StartRow(int slot, int64_t rowStart, int rowWidth) {
      std::vector<uint32_t>& row = rowColours[slot];
      row.resize(static_cast<size_t>(rowWidth));
      for (int x = 0; x < rowWidth; ++x) row[x] = colours.ColourOf(rowStart + x);
      for (int x = 0; x < std::min(rowWidth, 8); ++x) __builtin_prefetch(&colours.working[row[x]]);
    }
    void operator()(int slot, int x, int64_t, double* value) {
      const std::vector<uint32_t>& row = rowColours[slot];
      if (static_cast<size_t>(x) + 8 < row.size()) {
        __builtin_prefetch(&colours.working[row[x + 8]]);
      }
      const ColourTable::Working& w = colours.working[row[x]];
      value[0] = w.v;
      value[1] = w.y;
      value[2] = w.u;
    }
  } pixel{colours, {}};
  DiffuseToEntries(width, height, taps, strength, pixel, grid, palette.coordinates, indexPlane,
                   &run, threads, excluded);

  LookUpWeightedIndices(int64_t{width} * height, count, records, indexPlane);
}

}  // namespace genshoku
