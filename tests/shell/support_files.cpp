#include "support_files.h"

#include <stdlib.h>

#include <fstream>
#include <iterator>
#include <stdexcept>

#include "formats/bmp_layout.h"
#include "shell/reduction_entry.h"

namespace genshoku::testing {

ScratchFolder::ScratchFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "genshoku-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  folder_ = pattern;
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

std::vector<uint8_t> ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> MakeBmp24(int width, int height, const PixelFunction& pixel, bool topDown,
                               uint32_t pixelOffset) {
  const int64_t stride = Stride24(width);
  std::vector<uint8_t> file(pixelOffset + stride * height, 0);
  file[0] = 'B';
  file[1] = 'M';
  WriteLe32(&file[2], static_cast<uint32_t>(file.size()));
  WriteLe32(&file[10], pixelOffset);
  WriteBmpInfoHeader(&file[14], width, topDown ? -height : height, 24);
  for (int stored = 0; stored < height; ++stored) {
    const int y = topDown ? stored : height - 1 - stored;
    uint8_t* row = &file[pixelOffset + stride * stored];
    for (int x = 0; x < width; ++x) {
      const Rgb colour = pixel(x, y);
      row[3 * x] = colour.b;
      row[3 * x + 1] = colour.g;
      row[3 * x + 2] = colour.r;
    }
  }
  return file;
}

Rgb ShownPixel(const PictureState& state, int x, int y) {
  const DisplayView view = state.View();
  const uint8_t* p = view.bits + Stride24(state.imageWidth) * (state.imageHeight - 1 - y) + 3 * x;
  return {p[2], p[1], p[0]};
}

PictureState ReducedPicture(int width, int height) {
  PictureState state;
  ReductionOutput output;
  output.result = ReduceResult::Ok;
  IndexedPicture& picture = output.picture;
  picture.width = width;
  picture.height = height;
  picture.indices.resize(static_cast<size_t>(width) * height);
  uint32_t seed = 12345;
  for (uint8_t& index : picture.indices) {
    seed = seed * 1103515245u + 12345u;
    index = static_cast<uint8_t>(seed >> 23);
  }
  picture.palette.resize(256);
  for (int i = 0; i < 256; ++i) {
    picture.palette[i] = {static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i),
                          static_cast<uint8_t>(i / 2), 255};
  }
  ApplyReduction(state, std::move(output));
  return state;
}

Rgb TestPattern(int x, int y) {
  return {static_cast<uint8_t>(10 + x * 20 + y), static_cast<uint8_t>(100 + y * 7),
          static_cast<uint8_t>(200 - x - y * 3)};
}

}  // namespace genshoku::testing
