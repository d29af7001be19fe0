#pragma once
// A picture decoded from a JPEG, PNG or GIF file, already laid out as the 24-bit image
// block the window shows and the reduction reads: file and info headers, then rows
// bottom first, blue, green, red, padded to four bytes. It becomes the current picture
// only once decoding succeeded, so a failed file leaves the previous picture alone.

#include <cstdint>
#include <vector>

#include "shell/picture_state.h"

namespace genshoku {

class DecodedPicture {
 public:
  // A zero-filled picture. width and height must be positive and within the pixel limit.
  DecodedPicture(int32_t width, int32_t height);

  int32_t width() const { return width_; }
  int32_t height() const { return height_; }

  // Row y counted from the top: 3 x width bytes blue, green, red.
  uint8_t* Row(int32_t y);
  void SetPixel(int32_t x, int32_t y, uint8_t red, uint8_t green, uint8_t blue) {
    uint8_t* pixel = Row(y) + 3 * static_cast<int64_t>(x);
    pixel[0] = blue;
    pixel[1] = green;
    pixel[2] = red;
  }

  // Makes the picture the current one and shows it; sets imageWidth, imageHeight,
  // imageVisible and the reduction's source (the picture in memory).
  void InstallInto(PictureState& state) &&;

 private:
  int32_t width_;
  int32_t height_;
  std::vector<uint8_t> block_;
};

// True when a picture of width x height can be held: both positive and at most the
// pixel limit in all.
bool PictureSizeAllowed(int64_t width, int64_t height);

}  // namespace genshoku
