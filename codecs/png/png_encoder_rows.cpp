#include "codecs/png/png_encoder_rows.h"

namespace genshoku::png {

int64_t PngBytesPerRow(int64_t width, int bitDepth, int colorType) {
  if (width <= 0) return 0;
  switch (colorType) {
    case 0:  // grey
      switch (bitDepth) {
        case 1: return (width + 7) / 8;
        case 2: return (width + 3) / 4;
        case 4: return (width + 1) / 2;
        case 8: return width;
        case 16: return 2 * width;
        default: return 0;
      }
    case 2:  // red, green, blue
      return bitDepth == 8 ? 3 * width : bitDepth == 16 ? 6 * width : 0;
    case 3:  // palette index; packed indices of fewer bits are not produced
      return bitDepth == 8 ? width : 0;
    case 4:  // grey and alpha
      return bitDepth == 8 ? 2 * width : bitDepth == 16 ? 4 * width : 0;
    case 6:  // red, green, blue and alpha
      return bitDepth == 8 ? 4 * width : bitDepth == 16 ? 8 * width : 0;
    default: return 0;
  }
}

}  // namespace genshoku::png
