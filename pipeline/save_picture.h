#pragma once
// The last step of the pipeline: an indexed picture is written as a palette BMP, a palette
// PNG or a GIF file, or encoded as such a file's bytes in memory.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/atomic_file.h"
#include "common/diagnostics.h"
#include "common/pictures.h"
#include "pipeline/picture_format.h"

namespace genshoku {

struct SaveSettings {
  PictureFormat format = PictureFormat::Bmp;  // BMP, PNG or GIF
  // Keep: a file under the name, even one that appears while the picture is written, is
  // kept and the save fails (the file is then made in memory first and placed at once).
  ExistingTarget existing = ExistingTarget::Replace;
  // PNG: the compact stream (the smallest file the writer makes: palette entries reordered
  // and trimmed to those used, the smallest bit depth, chosen filters) instead of the
  // window's classic one. A palette of other than 256 entries, or one with transparency,
  // is always written so: the classic stream holds 256 opaque entries only.
  bool compactPng = false;
  // GIF: a still picture without the looping extension and frame delay the window writes.
  bool stillGif = false;
  // BMP: 1 or 4 bits per pixel where the palette fits (2 or 16 entries), instead of the
  // window's 8 bits for every palette.
  bool smallestBmp = false;
  // Threads the compact PNG stream may use: 0 as many as help (up to two), 1 one. The
  // bytes are the same either way.
  int threads = 0;
};

// Transparency: a PNG keeps the entries' alpha; a GIF shows the pixels of entries less than
// half opaque as transparent; a BMP cannot hold it, which one warning line says.
//
// Writes `picture` at `path`. The target is replaced only by a complete file; on failure
// at least one line naming the file goes to standard error, the target keeps what it held
// and false is returned; `targetExists`, when given, tells a failure for a file that
// settings.existing kept.
bool SavePicture(const IndexedPicture& picture, const std::string& path,
                 const SaveSettings& settings, Diagnostics& diagnostics,
                 bool* targetExists = nullptr);

// Writes the bytes EncodePicture made at `path`, as SavePicture writes a file: complete or
// not at all, keeping or replacing what is there as `existing` says.
bool SaveEncodedPicture(const std::vector<uint8_t>& bytes, const std::string& path,
                        ExistingTarget existing, Diagnostics& diagnostics,
                        bool* targetExists = nullptr);

// The file's bytes in memory; none (with a line naming `name`) on failure.
std::optional<std::vector<uint8_t>> EncodePicture(const IndexedPicture& picture,
                                                  const SaveSettings& settings,
                                                  const std::string& name,
                                                  Diagnostics& diagnostics);

}  // namespace genshoku
