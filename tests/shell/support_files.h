#pragma once
// Helpers for shell tests: a scratch folder, whole-file reads and writes, and BMP files
// built byte by byte.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "shell/picture_state.h"

namespace genshoku::testing {

// A fresh folder under the system's temporary folder, removed on destruction.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  std::string Path(const std::string& name) const { return (folder_ / name).string(); }
  const std::filesystem::path& folder() const { return folder_; }

 private:
  std::filesystem::path folder_;
};

std::vector<uint8_t> ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes);

struct Rgb {
  uint8_t r, g, b;
  bool operator==(const Rgb&) const = default;
};

// The colour of pixel (x, y), y counted from the top.
using PixelFunction = std::function<Rgb(int x, int y)>;

// A 24-bit BMP file with a 40-byte info header. With topDown the height field is negative
// and the top row is stored first. `pixelOffset` above 54 inserts zero bytes before the rows.
std::vector<uint8_t> MakeBmp24(int width, int height, const PixelFunction& pixel,
                               bool topDown = false, uint32_t pixelOffset = 54);

// Pixel (x, y), y counted from the top, of the 24-bit picture on display.
Rgb ShownPixel(const PictureState& state, int x, int y);

// A picture as a finished reduction leaves it: indices from a fixed pseudo-random sequence
// (they do not compress: every writer's file of 100 x 80 is 8 KB or more) and palette
// entry i = (i, 255 - i, i / 2).
PictureState ReducedPicture(int width, int height);

// A colour that differs for every pixel of small pictures.
Rgb TestPattern(int x, int y);

}  // namespace genshoku::testing
