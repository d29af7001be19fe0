#include "formats/gif_reader.h"

#include <vector>

#include "codecs/gif/gif_reader.h"

namespace genshoku {

namespace {

std::optional<RgbaPicture> FirstImage(std::unique_ptr<GifReader> reader, const std::string& name,
                                      Diagnostics& diagnostics) {
  if (!reader) {
    diagnostics.Err("%s: not a GIF picture that can be read\n", name.c_str());
    return std::nullopt;
  }
  const int32_t width = reader->width();
  const int32_t height = reader->height();
  if (!PictureSizeAllowed(width, height)) {
    diagnostics.Err("%s: the picture has no pixels or too many\n", name.c_str());
    return std::nullopt;
  }
  std::vector<uint8_t> frame;
  std::optional<RgbaPicture> picture;
  try {
    frame.resize(static_cast<size_t>(width) * height * 3);
    picture.emplace(width, height);
  } catch (const std::bad_alloc&) {
    diagnostics.Err("Could not allocate frame\n");
    return std::nullopt;
  }
  // Whatever the first image's data hold, damaged or not, is drawn over the screen.
  reader->NextImage();
  reader->Render(frame.data());
  const uint8_t* source = frame.data();
  for (Rgba& pixel : picture->pixels) {
    pixel = {source[0], source[1], source[2], 255};
    source += 3;
  }
  reader->Close();
  return picture;
}

}  // namespace

std::optional<RgbaPicture> ReadGifFile(const std::string& path, Diagnostics& diagnostics) {
  return FirstImage(GifReader::Open(path, diagnostics), path, diagnostics);
}

std::optional<RgbaPicture> DecodeGif(const uint8_t* data, size_t size, const std::string& name,
                                     Diagnostics& diagnostics) {
  return FirstImage(GifReader::OpenMemory(data, size, diagnostics), name, diagnostics);
}

}  // namespace genshoku
