#pragma once
// GIF input: the first image of a GIF file, drawn over its screen, as a 24-bit picture.
// GIF pictures are shown but not reduced.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "common/diagnostics.h"
#include "common/pictures.h"

namespace genshoku {

// Reads the first image of the GIF file at `path`. A file that cannot be opened or is not
// a GIF89a file gives no picture and one line naming it on standard error (after the
// reader's own line). An image whose data are damaged shows what was decoded of it.
std::optional<RgbaPicture> ReadGifFile(const std::string& path, Diagnostics& diagnostics);

// The same for a GIF file held in memory; `name` is used in messages.
std::optional<RgbaPicture> DecodeGif(const uint8_t* data, size_t size, const std::string& name,
                                     Diagnostics& diagnostics);

}  // namespace genshoku
