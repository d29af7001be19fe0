#include "tests/engine/reference/error_diffusion.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <vector>

// Both variants scan the picture in raster order (no serpentine), add the error carried to
// each pixel, pick the nearest palette entry (lowest index on ties), and push the full
// error of that choice to the unmapped neighbours through error rows with margins. The
// margins catch what would fall off the left or right edge; nothing ever reads them.
//
// The picture's index is then found again from the chosen colour, by looking the colour up
// in the palette, so that entries with the same colour all map to one index. The chosen
// colour depends only on the chosen entry, so the lookup is made once per entry and each
// pixel takes the result of its entry.
namespace genshoku::reference {

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

using Colour = std::array<double, kChannels>;

// The entry nearest to `value` by squared distance, summed in channel order; the first of
// equal distances wins.
int NearestEntry(const Colour& value, const std::vector<Colour>& palette) {
  double best = std::numeric_limits<double>::max();
  int bestIndex = 0;
  for (int e = 0; e < static_cast<int>(palette.size()); ++e) {
    const double d0 = value[0] - palette[e][0];
    const double d1 = value[1] - palette[e][1];
    const double d2 = value[2] - palette[e][2];
    const double distance = d0 * d0 + d1 * d1 + d2 * d2;
    if (distance < best) {
      best = distance;
      bestIndex = e;
    }
  }
  return bestIndex;
}

// The error rows of one channel: `rows` rows of width + 2 * margin cells.
class ErrorRows {
 public:
  ErrorRows(int width, const DiffusionKernel& kernel)
      : stride_(width + 2 * kernel.margin),
        margin_(kernel.margin),
        cells_(static_cast<size_t>(kernel.rows) * stride_, 0.0) {}

  double& At(int row, int x) { return cells_[static_cast<size_t>(row) * stride_ + x + margin_]; }

  // Next image row: every row moves up by one, margins included; the last one starts empty.
  void MoveUp() {
    std::copy(cells_.begin() + stride_, cells_.end(), cells_.begin());
    std::fill(cells_.end() - stride_, cells_.end(), 0.0);
  }

 private:
  int stride_;
  int margin_;
  std::vector<double> cells_;
};

// Maps every pixel to a palette entry with error diffusion and writes the entry numbers
// into `chosen`. `pixel(i)` gives pixel i's colour in the palette's channel order.
template <typename PixelColour>
void DiffuseToEntries(int width, int height, const DiffusionKernel& kernel, double strength,
                      PixelColour pixel, const std::vector<Colour>& palette, uint8_t* chosen) {
  // The error is stored whole and divided on reading; a strength of 0 still lets a tiny
  // share through, which only matters for a pixel almost exactly between two entries.
  const double k = kernel.divisor / (strength + 0.0000001);
  std::vector<ErrorRows> errors(kChannels, ErrorRows(width, kernel));

  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const int64_t i = static_cast<int64_t>(y) * width + x;
      const Colour source = pixel(i);
      Colour value{};
      for (int c = 0; c < kChannels; ++c) value[c] = source[c] + errors[c].At(0, x) / k;

      const int entry = NearestEntry(value, palette);
      for (int c = 0; c < kChannels; ++c) {
        const double error = value[c] - palette[entry][c];
        for (const KernelTap& tap : kernel.taps) {
          errors[c].At(tap.row, x + tap.dx) += error * tap.weight;
        }
      }
      chosen[i] = static_cast<uint8_t>(entry);
    }
    for (ErrorRows& rows : errors) rows.MoveUp();
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

bool Supported(int width, int height, int count) {
  return width > 0 && height > 0 && count >= 1 && count <= kPaletteSize;
}

}  // namespace

void DiffuseToIndicesRgb(int width, int height, int kernel, double strength, const uint8_t* srcR,
                         const uint8_t* srcG, const uint8_t* srcB, int count,
                         const uint8_t* paletteRed, const uint8_t* paletteGreen,
                         const uint8_t* paletteBlue, uint8_t* indexPlane) {
  DiffusionKernel taps;
  if (!KernelFor(kernel, taps) || !Supported(width, height, count)) return;

  std::vector<Colour> palette(count);
  for (int e = 0; e < count; ++e) {
    palette[e] = {static_cast<double>(paletteRed[e]), static_cast<double>(paletteGreen[e]),
                  static_cast<double>(paletteBlue[e])};
  }
  auto pixel = [&](int64_t i) {
    return Colour{static_cast<double>(srcR[i]), static_cast<double>(srcG[i]),
                  static_cast<double>(srcB[i])};
  };
  DiffuseToEntries(width, height, taps, strength, pixel, palette, indexPlane);

  // The index of a colour is the last entry that has it.
  std::array<uint8_t, kPaletteSize> indexOfEntry{};
  for (int e = 0; e < count; ++e) {
    for (int j = 0; j < count; ++j) {
      if (paletteRed[j] == paletteRed[e] && paletteGreen[j] == paletteGreen[e] &&
          paletteBlue[j] == paletteBlue[e]) {
        indexOfEntry[e] = static_cast<uint8_t>(j);
      }
    }
  }
  const int64_t n = static_cast<int64_t>(width) * height;
  for (int64_t i = 0; i < n; ++i) indexPlane[i] = indexOfEntry[indexPlane[i]];
}

void DiffuseToIndicesWeighted(int width, int height, int kernel, double strength,
                              const double* planeV, const double* planeY, const double* planeU,
                              int count, const PaletteRecord* records, uint8_t* indexPlane) {
  DiffusionKernel taps;
  if (!KernelFor(kernel, taps) || !Supported(width, height, count)) return;

  std::vector<Colour> palette(count);
  for (int e = 0; e < count; ++e) palette[e] = {records[e].v, records[e].y, records[e].u};
  auto pixel = [&](int64_t i) { return Colour{planeV[i], planeY[i], planeU[i]}; };
  DiffuseToEntries(width, height, taps, strength, pixel, palette, indexPlane);

  // The index of a colour is found in a table of the entries' integer parts sorted by
  // (v, y, u). The sort is stable, so among entries with the same integer parts the lowest
  // record comes first and is the one found.
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
  const int64_t n = static_cast<int64_t>(width) * height;
  for (int64_t i = 0; i < n; ++i) indexPlane[i] = indexOfEntry[indexPlane[i]];
}

}  // namespace genshoku::reference
