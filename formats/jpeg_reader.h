#pragma once
// JPEG input through libjpeg. Greyscale files come out as RGB; CMYK and YCCK files are
// converted per pixel. A file the library cannot decode is refused with the library's
// message; the program goes on. Progressive files of more than 100 scans are refused, so
// that reading time stays in proportion to the picture.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "common/diagnostics.h"
#include "common/pictures.h"

namespace genshoku {

// Reads the JPEG file at `path`. On failure writes one line naming the file on standard
// error and returns nothing. Of the library's warnings (corrupt or truncated data) only
// the first is printed, once the picture is complete, and decoding goes on; a file that
// fails after a warning prints only its failure.
std::optional<RgbaPicture> ReadJpegFile(const std::string& path, Diagnostics& diagnostics);

// The same for a JPEG file held in memory; `name` is used in messages.
std::optional<RgbaPicture> DecodeJpeg(const uint8_t* data, size_t size, const std::string& name,
                                      Diagnostics& diagnostics);

}  // namespace genshoku
