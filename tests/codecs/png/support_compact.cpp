#include "tests/codecs/png/support_compact.h"

#include <png.h>

#include <cmath>

#include "codecs/png/png_streams.h"
#include "codecs/png/raw_png_decoder.h"
#include "tests/codecs/png/support_png.h"

namespace genshoku::png::compacttest {

TestPicture MakePicture(int64_t width, int64_t height, int entries, bool transparency,
                        Content content, uint64_t seed) {
  pngtest::TestRandom random(seed);
  TestPicture picture;
  picture.width = width;
  picture.height = height;
  for (int i = 0; i < entries; ++i) {
    Rgba colour{static_cast<uint8_t>(random.Below(256)), static_cast<uint8_t>(random.Below(256)),
                static_cast<uint8_t>(random.Below(256)), 255};
    // Every third entry translucent, and the last one fully transparent.
    if (transparency && (i % 3 == 1 || i == entries - 1)) {
      colour.alpha = static_cast<uint8_t>(i == entries - 1 ? 0 : random.Below(255));
    }
    picture.palette.push_back(colour);
  }
  picture.indices.resize(static_cast<size_t>(width * height));
  for (int64_t y = 0; y < height; ++y) {
    for (int64_t x = 0; x < width; ++x) {
      uint32_t index = 0;
      switch (content) {
        case Content::kFlat: index = static_cast<uint32_t>(seed % entries); break;
        case Content::kNoise: index = random.Below(static_cast<uint32_t>(entries)); break;
        case Content::kPhotoLike: {
          // A smooth field over the palette with a little dithering noise.
          const double shade = 0.5 + 0.3 * std::sin(x / 37.0) * std::cos(y / 23.0) +
                               0.15 * std::sin((x + 2 * y) / 61.0);
          const double noisy = shade * entries + (random.Below(1000) / 1000.0 - 0.5) * 2.5;
          index = static_cast<uint32_t>(std::clamp<double>(noisy, 0, entries - 1));
          break;
        }
        case Content::kStripes: index = static_cast<uint32_t>((x / 3 + y / 5) % entries); break;
      }
      picture.indices[static_cast<size_t>(y * width + x)] = static_cast<uint8_t>(index);
    }
  }
  return picture;
}

std::vector<uint8_t> ExpectedRgba(const TestPicture& picture) {
  std::vector<uint8_t> rgba;
  rgba.reserve(picture.indices.size() * 4);
  for (uint8_t index : picture.indices) {
    const Rgba& colour = picture.palette[index];
    rgba.insert(rgba.end(), {colour.red, colour.green, colour.blue, colour.alpha});
  }
  return rgba;
}

std::vector<uint8_t> LibpngRgba(const std::vector<uint8_t>& file, uint32_t& width, uint32_t& height,
                                std::string& error) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  std::vector<uint8_t> rgba;
  if (!png_image_begin_read_from_memory(&image, file.data(), file.size())) {
    error = image.message;
    return rgba;
  }
  image.format = PNG_FORMAT_RGBA;
  width = image.width;
  height = image.height;
  rgba.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr)) {
    error = image.message;
    rgba.clear();
  }
  return rgba;
}

std::vector<uint8_t> OwnReaderRgba(const std::vector<uint8_t>& file, uint32_t& width,
                                   uint32_t& height) {
  VxRawPngDecoder decoder(SilentDiagnostics());
  VxPngMemoryStream stream(file.data(), file.size());
  if (!decoder.DecodeStream(stream) || !decoder.HasPicture()) return {};
  width = decoder.outWidth;
  height = decoder.outHeight;
  return decoder.pixels;
}

std::vector<ChunkView> ChunksOf(const std::vector<uint8_t>& file) {
  std::vector<ChunkView> chunks;
  size_t offset = 8;
  while (offset + 12 <= file.size()) {
    const uint32_t length = uint32_t{file[offset]} << 24 | uint32_t{file[offset + 1]} << 16 |
                            uint32_t{file[offset + 2]} << 8 | file[offset + 3];
    if (offset + 12 + length > file.size()) break;
    ChunkView chunk;
    chunk.type.assign(reinterpret_cast<const char*>(file.data() + offset + 4), 4);
    chunk.data.assign(file.begin() + static_cast<std::ptrdiff_t>(offset + 8),
                      file.begin() + static_cast<std::ptrdiff_t>(offset + 8 + length));
    chunks.push_back(std::move(chunk));
    offset += 12 + length;
  }
  return chunks;
}

}  // namespace genshoku::png::compacttest
