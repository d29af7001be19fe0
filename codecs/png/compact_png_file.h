#pragma once
// Writes a compact PNG file (compact_png_writer.h) so that it is either complete or not
// there at all: the bytes are made in memory first, then go through AtomicFile.

#include <string>

#include "codecs/png/compact_png_writer.h"

namespace genshoku::png {

// Writes `image` to `path`. On kCannotWriteFile, `error` (when not null) says why in
// words that name the file; the previous file at `path`, if any, is then untouched.
CompactPngStatus WriteCompactPngFile(const std::string& path, const CompactPngImage& image,
                                     const CompactPngOptions& options, std::string* error);

}  // namespace genshoku::png
