#pragma once
// Why a file could not be opened or saved, found out afterwards by looking at the file and
// its folder, so that the window can tell the user in a word what to do about it. The
// readers and writers have already printed their own lines; this adds nothing to them.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "pipeline/picture_format.h"
#include "shell/file_names.h"

namespace genshoku {

enum class LoadProblem {
  Missing,        // no such file
  Folder,         // a folder, not a file
  NotPermitted,   // the file may not be read
  Empty,          // the file holds no bytes
  OtherFormat,    // a picture of another format than its extension chooses (`content`)
  NotAPicture,    // no format the program knows starts the file
  CompressedBmp,  // a BMP file with run-length (or other) compression
  OldGif,         // a GIF87a file: only GIF89a files are read
  TooLarge,       // more than 100,000,000 pixels
  Unreadable,     // the right format, but damaged or of a kind not supported
};

struct LoadFailure {
  LoadProblem problem = LoadProblem::Unreadable;
  InputReader reader = InputReader::Bmp;       // the reader the extension chose
  PictureFormat content = PictureFormat::Bmp;  // what the file holds, for OtherFormat
  // Whether the file's extension names the reader's format (else the reader is BMP, the
  // reader of every name the other readers do not claim).
  bool extensionNamesReader = true;
};

// Looks at the file at `path`, which the reader `reader` could not read.
LoadFailure ExplainLoadFailure(const std::string& path, InputReader reader);

// The number of pixels the headers at the start of a file announce; none when the bytes
// do not reach that far. A JPEG file's frame header may follow its metadata segments, so
// up to kPixelCountProbeSize bytes are worth looking at.
std::optional<int64_t> AnnouncedPixelCount(const uint8_t* bytes, size_t size, PictureFormat format);
inline constexpr size_t kPixelCountProbeSize = 256 * 1024;

enum class SaveProblem {
  FolderMissing,  // the folder to save in does not exist
  IsFolder,       // the name is that of a folder
  NotPermitted,   // the folder may not be written
  GifTooLarge,    // GIF files hold at most 65535 x 65535 pixels
  Unwritable,     // anything else: a place that takes no files, a full disk, ...
};

// Looks at the place a save to `path` with `writer` failed to write.
SaveProblem ExplainSaveFailure(const std::string& path, SaveWriter writer, int32_t width,
                               int32_t height);

}  // namespace genshoku
