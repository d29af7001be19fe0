#include "formats/gif_reader.h"

#include <cstring>
#include <vector>

#include "codecs/gif/gif_reader.h"

namespace genshoku {

namespace {

// The window reads GIF89a files alone; every format's reading takes GIF87a files too.
GifReader::Versions VersionsFor(const ReadOptions& options) {
  return options.everyFormatWithAlpha ? GifReader::Versions::Both : GifReader::Versions::Only89a;
}

// Reads images up to the one `options` ask for; false (with a line naming the file) when
// the file ends or breaks before it, or it is damaged and damage is refused.
bool ReachImage(GifReader& reader, const std::string& name, const ReadOptions& options,
                Diagnostics& diagnostics) {
  for (int image = 0; image <= options.gifImage; ++image) {
    // Whatever an image's data hold, damaged or not, is drawn over the screen.
    const int read = reader.NextImage();
    if (options.refuseDamaged && !reader.damage().empty()) {
      diagnostics.Err("%s: %s\n", name.c_str(), reader.damage().c_str());
      return false;
    }
    // A later image must be there; the first is read whatever NextImage says (a file
    // without one shows its background, as in the window).
    if (read != GifReader::kImageRead && options.gifImage > 0) {
      diagnostics.Err("%s: the file has %d images, not an image %d\n", name.c_str(), image,
                      options.gifImage);
      return false;
    }
  }
  return true;
}

// The picture the reader holds now, opaque red, green and blue or with its alpha.
std::optional<RgbaPicture> Render(const GifReader& reader, const ReadOptions& options,
                                  Diagnostics& diagnostics) {
  std::optional<RgbaPicture> picture;
  try {
    picture.emplace(reader.width(), reader.height());
  } catch (const std::bad_alloc&) {
    diagnostics.Err("Could not allocate frame\n");
    return std::nullopt;
  }
  auto* bytes = reinterpret_cast<uint8_t*>(picture->pixels.data());
  static_assert(sizeof(Rgba) == 4);
  if (options.everyFormatWithAlpha) {
    reader.RenderRgba(bytes);
    return picture;
  }
  // The picture's own memory takes the red-green-blue frame, packed at its start, and
  // each pixel then moves to its place, last first, so that no pixel is overwritten
  // before it moved (pixel i goes from byte 3i to byte 4i).
  reader.Render(bytes);
  for (size_t i = picture->PixelCount(); i-- > 0;) {
    const uint8_t red = bytes[3 * i], green = bytes[3 * i + 1], blue = bytes[3 * i + 2];
    picture->pixels[i] = {red, green, blue, 255};
  }
  return picture;
}

std::optional<RgbaPicture> ChosenImage(std::unique_ptr<GifReader> reader,
                                       const std::string& failure, const std::string& name,
                                       const ReadOptions& options, Diagnostics& diagnostics,
                                       DamageNote* damage) {
  if (!reader) {
    diagnostics.Err("%s: %s\n", name.c_str(), failure.c_str());
    return std::nullopt;
  }
  const int32_t width = reader->width();
  const int32_t height = reader->height();
  if (!PictureSizeAllowed(width, height)) {
    diagnostics.Err("%s: the picture has no pixels or too many\n", name.c_str());
    return std::nullopt;
  }
  reader->RefuseDamagedImages(options.refuseDamaged);
  reader->KeepAlpha(options.everyFormatWithAlpha);
  if (!ReachImage(*reader, name, options, diagnostics)) return std::nullopt;
  std::optional<RgbaPicture> picture = Render(*reader, options, diagnostics);
  if (!picture) return std::nullopt;
  if (damage != nullptr) *damage = reader->damage();
  reader->Close();
  return picture;
}

}  // namespace

std::optional<RgbaPicture> ReadGifFile(const std::string& path, Diagnostics& diagnostics,
                                       const ReadOptions& options, DamageNote* damage) {
  std::string failure;
  auto reader = GifReader::Open(path, diagnostics, &failure, VersionsFor(options));
  return ChosenImage(std::move(reader), failure, path, options, diagnostics, damage);
}

std::optional<RgbaPicture> DecodeGif(const uint8_t* data, size_t size, const std::string& name,
                                     Diagnostics& diagnostics, const ReadOptions& options,
                                     DamageNote* damage) {
  std::string failure;
  auto reader = GifReader::OpenMemory(data, size, diagnostics, &failure, VersionsFor(options));
  return ChosenImage(std::move(reader), failure, name, options, diagnostics, damage);
}

}  // namespace genshoku
