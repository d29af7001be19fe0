#pragma once
// Where the picture is drawn in the client area and how large: unscaled at the place the
// scroll positions give, or scaled as a whole into the area under the buttons.

#include "shell/window_scroll.h"

namespace genshoku {

struct PictureFrame {
  int x = 0;  // the picture's top-left corner in the client area
  int y = 0;
  int width = 0;  // drawn size; the picture's own size when not scaled
  int height = 0;
  bool scaled = false;
};

// The picture at its own size, its top-left pixel where the scroll positions put it.
PictureFrame ScrolledFrame(const WindowScroll& scroll, int imageWidth, int imageHeight);

// The whole picture under the buttons, as large as the client area allows with its aspect
// kept (smaller pictures are enlarged too), at the left edge and kPictureTop from the top.
// Each side is at least one pixel while the area has room.
PictureFrame FittedFrame(int clientWidth, int clientHeight, int imageWidth, int imageHeight);

}  // namespace genshoku
