#include "codecs/gif/image_placement.h"

#include <algorithm>

namespace genshoku::gif {

std::vector<uint16_t> InterlacedRowOrder(uint16_t height) {
  struct Pass {
    uint32_t start;
    uint32_t step;
  };
  static constexpr Pass kPasses[] = {{0, 8}, {4, 8}, {2, 4}, {1, 2}};
  std::vector<uint16_t> order;
  order.reserve(height);
  for (const Pass& pass : kPasses) {
    for (uint32_t row = pass.start; row < height; row += pass.step) {
      order.push_back(static_cast<uint16_t>(row));
    }
  }
  return order;
}

ImagePlacement::ImagePlacement(uint8_t* screenIndices, uint16_t screenWidth, uint16_t screenHeight,
                               const ImageRectangle& rectangle, bool interlaced)
    : screenIndices_(screenIndices),
      screenWidth_(screenWidth),
      rectangle_(rectangle),
      pixelCount_(static_cast<uint64_t>(rectangle.width) * rectangle.height) {
  visibleColumns_ = rectangle.left < screenWidth
                        ? std::min<uint32_t>(rectangle.width, screenWidth - rectangle.left)
                        : 0;
  visibleRows_ = rectangle.top < screenHeight ? screenHeight - rectangle.top : 0;
  if (interlaced) rowOrder_ = InterlacedRowOrder(rectangle.height);
}

int64_t ImagePlacement::ScreenRow(uint64_t rectangleRow) const {
  const uint64_t row = rowOrder_.empty() ? rectangleRow : rowOrder_[rectangleRow];
  return row < visibleRows_ ? static_cast<int64_t>(rectangle_.top + row) : -1;
}

bool ImagePlacement::AnyVisible(uint64_t position, uint64_t count) const {
  if (visibleColumns_ == 0 || position >= pixelCount_) return false;
  const uint64_t end = std::min(pixelCount_, position + count);
  const uint64_t width = rectangle_.width;
  for (uint64_t row = position / width; row * width < end; ++row) {
    const uint64_t firstColumn = row * width < position ? position - row * width : 0;
    if (firstColumn < visibleColumns_ && ScreenRow(row) >= 0) return true;
  }
  return false;
}

void ImagePlacement::Put(uint64_t position, uint8_t index) const {
  if (position >= pixelCount_) return;
  const uint64_t column = position % rectangle_.width;
  if (column >= visibleColumns_) return;
  const int64_t screenRow = ScreenRow(position / rectangle_.width);
  if (screenRow < 0) return;
  screenIndices_[static_cast<uint64_t>(screenRow) * screenWidth_ + rectangle_.left + column] =
      index;
}

}  // namespace genshoku::gif
