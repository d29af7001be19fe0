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
#include "formats/read_options.h"

namespace genshoku {

// Reads the JPEG file at `path`. On failure writes one line naming the file on standard
// error and returns nothing. Of the library's warnings (corrupt or truncated data) only
// the first is printed, once the picture is complete, and decoding goes on; a file that
// fails after a warning prints only its failure.
// With `damage` given, what is wrong with the data of a picture given all the same (the
// first warning about the data) lands there; `options` may refuse such files instead, at
// the first such warning, or at once when the file is far too short for its header's size.
// Reading ends with the last row: whatever follows is not read.
std::optional<RgbaPicture> ReadJpegFile(const std::string& path, Diagnostics& diagnostics,
                                        const ReadOptions& options = {},
                                        DamageNote* damage = nullptr);

// The same for a JPEG file held in memory; `name` is used in messages.
std::optional<RgbaPicture> DecodeJpeg(const uint8_t* data, size_t size, const std::string& name,
                                      Diagnostics& diagnostics, const ReadOptions& options = {},
                                      DamageNote* damage = nullptr);

// The width and height the header of the JPEG file at `path` gives, read without decoding
// anything; none when the header cannot be read.
struct JpegSize {
  uint32_t width = 0;
  uint32_t height = 0;
};
std::optional<JpegSize> ReadJpegSize(const std::string& path);

}  // namespace genshoku
