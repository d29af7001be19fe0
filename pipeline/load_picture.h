#pragma once
// The first step of the pipeline: a picture file (or a file's bytes in memory) becomes an
// RgbaPicture, read by the reader of its format.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "common/diagnostics.h"
#include "common/pictures.h"
#include "formats/read_options.h"
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
  DamageNote damage;  // what is wrong with the data of a picture loaded all the same
};

enum class LoadStatus {
  Ok,
  CannotOpen,   // the file could not be opened or read
  NotReadable,  // not a picture of a format the program reads, or damaged beyond reading
};

// Reads the file at `path` as `format`, or as the format its first bytes name when `format`
// is empty. Anything but Ok leaves `loaded` untouched and writes at least one line naming
// the file on standard error ("NAME: why"). A file with damaged data is loaded as far as it
// decodes, with loaded->damage saying what is wrong, unless `options` refuse it.
LoadStatus LoadPictureFile(const std::string& path, std::optional<PictureFormat> format,
                           LoadedPicture* loaded, Diagnostics& diagnostics,
                           const ReadOptions& options = {});

// The same for a file's bytes held in memory; `name` is used in messages.
LoadStatus LoadPictureBytes(const uint8_t* data, size_t size, const std::string& name,
                            std::optional<PictureFormat> format, LoadedPicture* loaded,
                            Diagnostics& diagnostics, const ReadOptions& options = {});

}  // namespace genshoku
