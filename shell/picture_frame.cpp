#include "shell/picture_frame.h"

#include <algorithm>
#include <cstdint>

namespace genshoku {

PictureFrame ScrolledFrame(const WindowScroll& scroll, int imageWidth, int imageHeight) {
  const PicturePlacement placement = PlacePicture(scroll);
  return {placement.x, placement.y, imageWidth, imageHeight, false};
}

PictureFrame FittedFrame(int clientWidth, int clientHeight, int imageWidth, int imageHeight) {
  PictureFrame frame{0, kPictureTop, 0, 0, true};
  const int64_t areaWidth = clientWidth;
  const int64_t areaHeight = clientHeight - kPictureTop;
  if (areaWidth <= 0 || areaHeight <= 0 || imageWidth <= 0 || imageHeight <= 0) return frame;
  // The side that reaches the area's edge first sets the scale; the other is rounded.
  if (int64_t{imageWidth} * areaHeight <= int64_t{imageHeight} * areaWidth) {
    frame.height = static_cast<int>(areaHeight);
    frame.width = static_cast<int>((2 * int64_t{imageWidth} * areaHeight + imageHeight) /
                                   (2 * int64_t{imageHeight}));
  } else {
    frame.width = static_cast<int>(areaWidth);
    frame.height = static_cast<int>((2 * int64_t{imageHeight} * areaWidth + imageWidth) /
                                    (2 * int64_t{imageWidth}));
  }
  frame.width = std::max(frame.width, 1);
  frame.height = std::max(frame.height, 1);
  frame.scaled = frame.width != imageWidth || frame.height != imageHeight;
  return frame;
}

}  // namespace genshoku
