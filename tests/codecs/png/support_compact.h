#pragma once
// What the compact writer's tests share: palette pictures of every kind, and the pixels a
// PNG file decodes to with libpng and with the project's own reader.

#include <cstdint>
#include <string>
#include <vector>

#include "codecs/png/compact_png_writer.h"
#include "common/pictures.h"

namespace genshoku::png::compacttest {

enum class Content { kFlat, kNoise, kPhotoLike, kStripes };

struct TestPicture {
  int64_t width = 0;
  int64_t height = 0;
  std::vector<uint8_t> indices;
  std::vector<Rgba> palette;

  CompactPngImage Image() const { return CompactPngImage{width, height, indices, palette}; }
};

// A picture of `content` over a palette of `entries` entries, some of them not opaque
// when `transparency` is set. Deterministic.
TestPicture MakePicture(int64_t width, int64_t height, int entries, bool transparency,
                        Content content, uint64_t seed);

// The RGBA bytes the picture stands for.
std::vector<uint8_t> ExpectedRgba(const TestPicture& picture);

// The RGBA bytes of a PNG file as libpng decodes it (empty when libpng refuses it).
std::vector<uint8_t> LibpngRgba(const std::vector<uint8_t>& file, uint32_t& width, uint32_t& height,
                                std::string& error);
// The same with the project's PNG reader.
std::vector<uint8_t> OwnReaderRgba(const std::vector<uint8_t>& file, uint32_t& width,
                                   uint32_t& height);

// The chunks of a PNG file in order: type and data.
struct ChunkView {
  std::string type;
  std::vector<uint8_t> data;
};
std::vector<ChunkView> ChunksOf(const std::vector<uint8_t>& file);

}  // namespace genshoku::png::compacttest
