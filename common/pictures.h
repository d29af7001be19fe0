#pragma once
// The two pictures the program passes between reading, reducing and saving: a picture of
// red, green, blue and alpha samples as it was read, and an indexed picture with its
// palette as it is written.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace genshoku {

// Pictures with more pixels than this are refused when they are read.
inline constexpr int64_t kMaxPicturePixels = 100'000'000;

// True when a picture of width x height can be held: both positive and at most the pixel
// limit in all.
inline bool PictureSizeAllowed(int64_t width, int64_t height) {
  return width > 0 && height > 0 && width <= kMaxPicturePixels && height <= kMaxPicturePixels &&
         width * height <= kMaxPicturePixels;
}

// Red, green, blue and alpha, 8 bits each; alpha 255 is opaque, 0 fully transparent.
struct Rgba {
  uint8_t red = 0;
  uint8_t green = 0;
  uint8_t blue = 0;
  uint8_t alpha = 255;

  friend bool operator==(const Rgba&, const Rgba&) = default;
};

// A picture as it was read: width x height pixels, row-major, top row first, no gaps.
struct RgbaPicture {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<Rgba> pixels;

  RgbaPicture() = default;
  // An opaque black picture; the size must be allowed (PictureSizeAllowed). May throw
  // std::bad_alloc.
  RgbaPicture(int32_t w, int32_t h) : width(w), height(h), pixels(PixelCount()) {}

  size_t PixelCount() const { return static_cast<size_t>(width) * static_cast<size_t>(height); }
  Rgba& At(int32_t x, int32_t y) { return pixels[static_cast<size_t>(y) * width + x]; }
  const Rgba& At(int32_t x, int32_t y) const { return pixels[static_cast<size_t>(y) * width + x]; }
  // True when some pixel is not fully opaque.
  bool HasTransparency() const;
};

// A picture of palette indices: one byte per pixel, row-major, top row first, no gaps;
// every index is below palette.size(), which is 1 to 256.
struct IndexedPicture {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> indices;
  std::vector<Rgba> palette;

  size_t PixelCount() const { return static_cast<size_t>(width) * static_cast<size_t>(height); }
  // True when some palette entry is not fully opaque.
  bool HasTransparency() const;
};

}  // namespace genshoku
