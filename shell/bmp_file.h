#pragma once
// The window's picture blocks: a dropped BMP file loaded as stored, and the 24-bit and 8-bit
// blocks made for decoded pictures and reduction results.

#include <string>

#include "common/diagnostics.h"
#include "shell/picture_state.h"

namespace genshoku {

enum class LoadResult {
  Loaded,
  CannotOpen,  // the file could not be opened or read
  Refused,     // not a picture this reader can take (bad headers, too large, ...)
};

// Reads a BMP file up to the end of its last pixel row into a new image block and shows it:
// inputBitDepth becomes 24 for a 24-bit file and 8 for any other; imageWidth and imageHeight
// come from the info header.
// A file that cannot be opened or is not a BMP file leaves the state untouched and writes
// one line naming the file to standard error.
LoadResult LoadBmpFile(PictureState& state, const std::string& path, Diagnostics& diagnostics);

// Replaces the image block by a zero-filled 24-bit picture of width x height with its file
// and info headers, and shows it. The caller writes the rows (bottom row first).
void MakeImageBlock24(PictureState& state, int32_t width, int32_t height);

// Replaces the result block by a zero-filled 8-bit block (info header, colour table, rows)
// with its info header written.
void MakeResultBlock(PictureState& state, int32_t width, int32_t height);

}  // namespace genshoku
