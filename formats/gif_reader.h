#pragma once
// GIF input: the first image of a GIF file (or the one the options choose), drawn over its
// screen, as a 24-bit picture (the window's way, which shows GIF pictures but does not
// reduce them) or with the transparency viewers show.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "common/diagnostics.h"
#include "common/pictures.h"
#include "formats/read_options.h"

namespace genshoku {

// Reads the first image (options.gifImage) of the GIF file at `path`. A file that cannot be opened
// or is not a GIF89a file gives no picture and one line naming it on standard error (after the
// reader's own line). An image whose data are damaged shows what was decoded of it.
// With `damage` given, what is wrong with the data of a picture given all the same lands
// there; `options` may refuse such files instead.
std::optional<RgbaPicture> ReadGifFile(const std::string& path, Diagnostics& diagnostics,
                                       const ReadOptions& options = {},
                                       DamageNote* damage = nullptr);

// The same for a GIF file held in memory; `name` is used in messages.
std::optional<RgbaPicture> DecodeGif(const uint8_t* data, size_t size, const std::string& name,
                                     Diagnostics& diagnostics, const ReadOptions& options = {},
                                     DamageNote* damage = nullptr);

}  // namespace genshoku
