#pragma once
// The benchmark photos of bench/make-photos (photo1.png, photo4.png, photo12.png: 1, 4 and
// 12 megapixels), read from $GENSHOKU_PHOTOS_DIR or build/photos under the working
// directory. Where they have not been made, generated pictures of the same sizes stand
// in, so that the benchmarks always run.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "codecs/png/png_encoder.h"
#include "codecs/png/raw_png_decoder.h"

namespace bench_photos {

struct Picture {
  std::string name;  // the photo's file, or "generated"
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgba;  // 4 bytes per pixel
};

inline std::string PhotosDir() {
  const char* dir = std::getenv("GENSHOKU_PHOTOS_DIR");
  return dir != nullptr ? dir : "build/photos";
}

inline std::string PhotoPath(int megapixels) {
  return PhotosDir() + "/photo" + std::to_string(megapixels) + ".png";
}

// The sizes of the photos, kept for the stand-ins.
inline void SizeOf(int megapixels, int& width, int& height) {
  width = megapixels == 1 ? 1224 : megapixels == 4 ? 2560 : 4256;
  height = megapixels == 1 ? 816 : megapixels == 4 ? 1600 : 2848;
}

// Smooth shading with a fine grain, like a photo.
inline Picture GeneratedPicture(int megapixels) {
  Picture picture;
  picture.name = "generated";
  SizeOf(megapixels, picture.width, picture.height);
  picture.rgba.resize(static_cast<size_t>(picture.width) * picture.height * 4);
  uint32_t state = 12345;
  size_t at = 0;
  for (int y = 0; y < picture.height; ++y) {
    for (int x = 0; x < picture.width; ++x) {
      state = state * 1103515245u + 12345u;
      const int grain = static_cast<int>((state >> 16) & 7) - 3;
      const double shade = 50.0 * std::sin(x / 310.0) * std::cos(y / 270.0);
      const int channels[3] = {
          static_cast<int>(128 + shade) + grain,
          static_cast<int>(100 + 0.6 * shade + 40.0 * std::sin((x + 2 * y) / 520.0)) + grain,
          static_cast<int>(90 - 0.4 * shade + 0.02 * (x - y)) + grain};
      for (int channel : channels)
        picture.rgba[at++] = static_cast<uint8_t>(std::clamp(channel, 0, 255));
      picture.rgba[at++] = 255;
    }
  }
  return picture;
}

// The photo decoded, or the stand-in; made once per size.
inline const Picture& PictureOf(int megapixels) {
  static std::map<int, Picture> pictures;
  auto found = pictures.find(megapixels);
  if (found != pictures.end()) return found->second;
  Picture picture;
  genshoku::png::VxRawPngDecoder decoder(genshoku::SilentDiagnostics());
  if (decoder.DecodeFile(PhotoPath(megapixels)) && decoder.HasPicture()) {
    picture.name = "photo" + std::to_string(megapixels) + ".png";
    picture.width = static_cast<int>(decoder.outWidth);
    picture.height = static_cast<int>(decoder.outHeight);
    picture.rgba = std::move(decoder.pixels);
  } else {
    picture = GeneratedPicture(megapixels);
  }
  return pictures.emplace(megapixels, std::move(picture)).first->second;
}

// A crude reduction to the 3-3-2 palette with Floyd-Steinberg error diffusion: an index
// picture with the grain of a reduced photo.
inline std::vector<uint8_t> ReducedCrudely(const Picture& picture) {
  static constexpr int kLevels[3] = {8, 8, 4};
  static constexpr int kShifts[3] = {5, 2, 0};
  const int width = picture.width;
  std::vector<uint8_t> indices(static_cast<size_t>(width) * picture.height);
  std::vector<int> current((static_cast<size_t>(width) + 2) * 3, 0);
  std::vector<int> next(current.size(), 0);
  for (int y = 0; y < picture.height; ++y) {
    std::fill(next.begin(), next.end(), 0);
    for (int x = 0; x < width; ++x) {
      const size_t pixel = static_cast<size_t>(y) * width + x;
      int index = 0;
      for (int c = 0; c < 3; ++c) {
        const size_t slot = (static_cast<size_t>(x) + 1) * 3 + c;
        const int wanted = std::clamp(picture.rgba[pixel * 4 + c] + current[slot] / 16, 0, 255);
        const int top = kLevels[c] - 1;
        const int level = (wanted * top + 127) / 255;
        const int error = wanted - level * 255 / top;
        current[slot + 3] += error * 7;
        next[slot - 3] += error * 3;
        next[slot] += error * 5;
        next[slot + 3] += error;
        index |= level << kShifts[c];
      }
      indices[pixel] = static_cast<uint8_t>(index);
    }
    std::swap(current, next);
  }
  return indices;
}

inline std::vector<uint8_t> Palette332() {
  std::vector<uint8_t> palette(256 * 3);
  for (int i = 0; i < 256; ++i) {
    palette[i * 3] = static_cast<uint8_t>((i >> 5) * 255 / 7);
    palette[i * 3 + 1] = static_cast<uint8_t>(((i >> 2) & 7) * 255 / 7);
    palette[i * 3 + 2] = static_cast<uint8_t>((i & 3) * 255 / 3);
  }
  return palette;
}

}  // namespace bench_photos
