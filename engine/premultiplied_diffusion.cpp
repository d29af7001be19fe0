#include "engine/premultiplied_diffusion.h"

#include <algorithm>
#include <array>
#include <cfloat>

#include "engine/nearest_of_four.h"
#include "engine/premultiplied_palette.h"

namespace genshoku {

namespace {

constexpr int kAxes = 4;
using Point = PremultipliedColour;

}  // namespace

// One loop over the picture, kept whole: the error rows, the scan direction and the
// skipped pixels all meet in it.
void DiffusePremultiplied(const PremultipliedPlanes& planes, const uint8_t* mapped,
                          const std::vector<Rgba>& palette, double strength, int firstEntry,
                          uint8_t* indices) {
  const int width = planes.width;
  if (palette.empty() || width <= 0 || planes.height <= 0) return;
  std::vector<Point> entries;
  for (const Rgba& entry : palette) {
    entries.push_back(Premultiplied(entry.red, entry.green, entry.blue, entry.alpha));
  }
  // Two error rows with a cell of margin on each side, in sixteenths.
  const size_t stride = static_cast<size_t>(width) + 2;
  std::vector<Point> errors(2 * stride, Point{});
  Point* rows[2] = {errors.data() + 1, errors.data() + stride + 1};
  const NearestOfFour nearest(entries);
  size_t lastEntry = 0;
  for (int y = 0; y < planes.height; ++y) {
    Point* here = rows[y & 1];
    Point* below = rows[1 - (y & 1)];
    const bool backwards = (y & 1) == 1;
    const int step = backwards ? -1 : 1;
    const size_t rowStart = static_cast<size_t>(y) * width;
    for (int i = 0; i < width; ++i) {
      const int x = backwards ? width - 1 - i : i;
      const size_t at = rowStart + x;
      if (mapped[at] == 0) continue;
      Point value =
          Premultiplied(planes.red[at], planes.green[at], planes.blue[at], planes.alpha[at]);
      // The corrected alpha first: a premultiplied colour never exceeds its alpha.
      value[3] = std::clamp(value[3] + here[x][3] / 16.0, 0.0, 255.0 * kAlphaWeight);
      const double shownAlpha = value[3] / kAlphaWeight;
      for (int k = 0; k < 3; ++k) {
        value[k] = std::clamp(value[k] + here[x][k] / 16.0, 0.0, shownAlpha);
      }
      const int entry = static_cast<int>(nearest.Find(value, lastEntry));
      lastEntry = static_cast<size_t>(entry);
      indices[at] = static_cast<uint8_t>(firstEntry + entry);
      // The shares of neighbours that are not mapped here are dropped.
      const auto pass = [&](Point* row, int column, double weight, const Point& error) {
        if (column < 0 || column >= width) return;
        const size_t target = (row == here ? rowStart : rowStart + width) + column;
        if (y + (row == here ? 0 : 1) >= planes.height || mapped[target] == 0) return;
        for (int k = 0; k < kAxes; ++k) row[column][k] += error[k] * weight;
      };
      Point error;
      for (int k = 0; k < kAxes; ++k) error[k] = (value[k] - entries[entry][k]) * strength;
      pass(here, x + step, 7.0, error);
      pass(below, x - step, 3.0, error);
      pass(below, x, 5.0, error);
      pass(below, x + step, 1.0, error);
    }
    std::fill(here - 1, here - 1 + stride, Point{});
  }
}

}  // namespace genshoku
