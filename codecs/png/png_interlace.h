#pragma once
// The seven passes of Adam7 interlacing: each pass holds the pixels of a regular grid
// (a first column and row, a step between columns and rows) as lines of their own.

#include <cstdint>

namespace genshoku::png {

inline constexpr int kAdam7PassCount = 7;

struct Adam7Pass {
  uint32_t firstColumn;
  uint32_t columnStep;
  uint32_t firstRow;
  uint32_t rowStep;

  // Lines of the pass in a picture `height` high, and pixels per line for `width`.
  uint32_t LineCount(uint32_t height) const { return Span(height, firstRow, rowStep); }
  uint32_t PixelsPerLine(uint32_t width) const { return Span(width, firstColumn, columnStep); }
  bool IsEmpty(uint32_t width, uint32_t height) const {
    return LineCount(height) == 0 || PixelsPerLine(width) == 0;
  }
  // Where pixel x of line y of the pass lies in the picture.
  uint32_t Column(uint32_t x) const { return firstColumn + x * columnStep; }
  uint32_t Row(uint32_t y) const { return firstRow + y * rowStep; }

 private:
  static uint32_t Span(uint32_t size, uint32_t first, uint32_t step) {
    return size > first ? (size - first + step - 1) / step : 0;
  }
};

// `pass` runs from 1 to 7.
const Adam7Pass& Adam7PassOf(int pass);

}  // namespace genshoku::png
