#pragma once
// The size of the picture in a file, from its header alone: lets a caller refuse work whose
// result could not be written (a GIF file holds at most 65535 pixels a side) before the
// picture is decoded and reduced.

#include <cstdint>
#include <optional>
#include <string>

namespace genshoku {

struct PictureSize {
  int64_t width = 0;
  int64_t height = 0;
};

// None when the file cannot be opened or its header not read: decoding it will say why.
std::optional<PictureSize> ProbePictureSize(const std::string& path);

}  // namespace genshoku
