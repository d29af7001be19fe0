// genshoku_encode: a result as the bytes of a PNG, GIF or BMP file, made by the pipeline's
// save step.

#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include "codecs/gif/gif_writer.h"
#include "library/errors.h"
#include "library/handles.h"
#include "library/log_diagnostics.h"
#include "pipeline/save_picture.h"

namespace genshoku::library {

namespace {

std::optional<PictureFormat> FormatOf(genshoku_format format) {
  switch (format) {
    case GENSHOKU_FORMAT_PNG: return PictureFormat::Png;
    case GENSHOKU_FORMAT_GIF: return PictureFormat::Gif;
    case GENSHOKU_FORMAT_BMP: return PictureFormat::Bmp;
    case GENSHOKU_FORMAT_INT_: break;
  }
  return std::nullopt;
}

genshoku_error Encode(genshoku_context& context, const IndexedPicture& picture,
                      PictureFormat format, void** bytes, size_t* size) {
  LogDiagnostics log(context, LogSource::Library);
  if (format == PictureFormat::Gif &&
      (picture.width > GifWriter::kMaxSide || picture.height > GifWriter::kMaxSide)) {
    log.Err("picture: GIF files cannot hold pictures wider or higher than %d pixels\n",
            GifWriter::kMaxSide);
    return GENSHOKU_ERROR_TOO_LARGE;
  }
  const std::optional<std::vector<uint8_t>> file = EncodePicture(picture, {format}, "picture", log);
  if (!file) return GENSHOKU_ERROR_ENCODING;
  // The caller releases the bytes with genshoku_free, that is with free().
  void* copy = std::malloc(file->size());
  if (copy == nullptr) return GENSHOKU_ERROR_OUT_OF_MEMORY;
  std::memcpy(copy, file->data(), file->size());
  *bytes = copy;
  *size = file->size();
  return GENSHOKU_OK;
}

}  // namespace

}  // namespace genshoku::library

extern "C" {

genshoku_error genshoku_encode(genshoku_context* context, const genshoku_result* result,
                               genshoku_format format, void** bytes, size_t* size) {
  if (bytes != nullptr) *bytes = nullptr;
  if (size != nullptr) *size = 0;
  if (context == nullptr || result == nullptr || bytes == nullptr || size == nullptr) {
    return GENSHOKU_ERROR_NULL_ARGUMENT;
  }
  const std::optional<genshoku::PictureFormat> picked = genshoku::library::FormatOf(format);
  if (!picked) return GENSHOKU_ERROR_BAD_FORMAT;
  return genshoku::library::Guarded(
      [&] { return genshoku::library::Encode(*context, result->picture, *picked, bytes, size); });
}

void genshoku_free(void* bytes) { std::free(bytes); }

}  // extern "C"
