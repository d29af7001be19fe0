#include "shell/gif_file_reader.h"

#include <vector>

#include "codecs/gif/gif_reader.h"

namespace genshoku {

namespace {

std::optional<DecodedPicture> FirstImage(std::unique_ptr<GifReader> reader, const std::string& name,
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
  std::optional<DecodedPicture> picture;
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
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x, source += 3) {
      picture->SetPixel(x, y, source[0], source[1], source[2]);
    }
  }
  reader->Close();
  return picture;
}

}  // namespace

std::optional<DecodedPicture> ReadGifFile(const std::string& path, Diagnostics& diagnostics) {
  return FirstImage(GifReader::Open(path, diagnostics), path, diagnostics);
}

std::optional<DecodedPicture> DecodeGif(const uint8_t* data, size_t size, const std::string& name,
                                        Diagnostics& diagnostics) {
  return FirstImage(GifReader::OpenMemory(data, size, diagnostics), name, diagnostics);
}

}  // namespace genshoku
