#pragma once
// The first step of the pipeline: a picture file (or a file's bytes in memory) becomes an
// RgbaPicture, read by the reader of its format.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "common/diagnostics.h"
#include "common/pictures.h"
#include "pipeline/picture_format.h"

namespace genshoku {

// What the file held besides its pixels, for the rules of the program that reads it (the
// window, for one, reduces only truecolour PNG and 24-bit BMP files).
struct PictureSource {
  PictureFormat format = PictureFormat::Bmp;
  int pngColorType = -1;    // PNG: the file's colour type
  int bmpBitsPerPixel = 0;  // BMP: the file's bit depth
};

struct LoadedPicture {
  RgbaPicture picture;
  PictureSource source;
};

enum class LoadStatus {
  Ok,
  CannotOpen,   // the file could not be opened or read
  NotReadable,  // not a picture of a format the program reads, or damaged beyond reading
};

// Reads the file at `path` as `format`, or as the format its first bytes name when `format`
// is empty. Anything but Ok leaves `loaded` untouched and writes at least one line naming
// the file on standard error.
LoadStatus LoadPictureFile(const std::string& path, std::optional<PictureFormat> format,
                           LoadedPicture* loaded, Diagnostics& diagnostics);

// The same for a file's bytes held in memory; `name` is used in messages.
LoadStatus LoadPictureBytes(const uint8_t* data, size_t size, const std::string& name,
                            std::optional<PictureFormat> format, LoadedPicture* loaded,
                            Diagnostics& diagnostics);

}  // namespace genshoku
