#pragma once
// PNG input through the program's own decoder, made into a picture of red, green, blue and
// alpha samples (grey pictures as equal red, green and blue; opaque where the file has no
// alpha), by the window's rules or, when the options ask, with every format and its
// transparency.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "common/diagnostics.h"
#include "common/pictures.h"
#include "formats/read_options.h"

namespace genshoku {

struct PngInput {
  std::optional<RgbaPicture> picture;
  int colorType = -1;  // the file's colour type (the window reduces only 2 and 6, truecolour)
  DamageNote damage;   // what is wrong with the data of a picture given all the same
};

// Reads the PNG file at `path`. A file that cannot be opened or decoded gives no picture
// and one line naming it on standard error (besides the decoder's own lines). A file whose
// data are damaged or cut short still gives the part that was decoded, unless `options`
// refuse damaged files.
PngInput ReadPngFile(const std::string& path, Diagnostics& diagnostics,
                     const ReadOptions& options = {});

// The same for a PNG file held in memory; `name` is used in messages.
PngInput DecodePng(const uint8_t* data, size_t size, const std::string& name,
                   Diagnostics& diagnostics, const ReadOptions& options = {});

}  // namespace genshoku
