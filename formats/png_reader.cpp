#include "formats/png_reader.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "codecs/png/png_pixel_formats.h"
#include "codecs/png/png_streams.h"
#include "codecs/png/raw_png_decoder.h"

namespace genshoku {

namespace {

// Why the decoder made no picture, in a few words.
std::string WhyNoPicture(const png::VxRawPngDecoder& decoder, bool decoded) {
  if (!decoded) return decoder.hasHeader ? "damaged palette chunk" : "not a PNG file";
  if (!decoder.damage.empty()) return decoder.damage;
  png::PngPixelFormat format;
  if (!png::FindPngPixelFormat(decoder.colorType, decoder.bitDepth, format, decoder.pixelRules)) {
    return "unsupported PNG format (colour type " + std::to_string(decoder.colorType) +
           ", bit depth " + std::to_string(decoder.bitDepth) + ")";
  }
  if (!PictureSizeAllowed(decoder.width, decoder.height)) {
    return "the picture has no pixels or more than 100,000,000";
  }
  return "not enough memory for the picture";
}

void Configure(png::VxRawPngDecoder& decoder, const ReadOptions& options) {
  decoder.refuseDamaged = options.refuseDamaged;
  decoder.pixelRules =
      options.everyFormatWithAlpha ? png::PngPixelRules::Standard : png::PngPixelRules::Window;
}

PngInput Convert(png::VxRawPngDecoder& decoder, bool decoded, const std::string& name,
                 const ReadOptions& options, Diagnostics& diagnostics) {
  PngInput input;
  input.colorType = decoder.hasHeader ? decoder.colorType : -1;
  const bool refused = options.refuseDamaged && !decoder.damage.empty();
  if (!decoded || !decoder.HasPicture() || refused) {
    // The window's line stays as it was; other callers hear the reason.
    const bool windowReading = !options.refuseDamaged && !options.everyFormatWithAlpha;
    const std::string why =
        windowReading ? "not a PNG picture that can be read" : WhyNoPicture(decoder, decoded);
    diagnostics.Err("%s: %s\n", name.c_str(), why.c_str());
    return input;
  }
  const int32_t width = static_cast<int32_t>(decoder.outWidth);
  const int32_t height = static_cast<int32_t>(decoder.outHeight);
  try {
    input.picture.emplace(width, height);
  } catch (const std::bad_alloc&) {
    diagnostics.Err("%s: not enough memory for the picture\n", name.c_str());
    return input;
  }
  const uint8_t* source = decoder.pixels.data();
  for (Rgba& pixel : input.picture->pixels) {
    pixel = {source[0], source[1], source[2], source[3]};
    source += 4;
  }
  input.damage = decoder.damage;
  return input;
}

}  // namespace

PngInput ReadPngFile(const std::string& path, Diagnostics& diagnostics,
                     const ReadOptions& options) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
  if (!file) {
    diagnostics.Err("%s: cannot open the file: %s\n", path.c_str(), std::strerror(errno));
    return {};
  }
  png::VxRawPngDecoder decoder(diagnostics);
  Configure(decoder, options);
  png::VxPngBinaryFileStream stream(file.get());
  const bool decoded = decoder.DecodeStream(stream);
  return Convert(decoder, decoded, path, options, diagnostics);
}

PngInput DecodePng(const uint8_t* data, size_t size, const std::string& name,
                   Diagnostics& diagnostics, const ReadOptions& options) {
  png::VxRawPngDecoder decoder(diagnostics);
  Configure(decoder, options);
  png::VxPngMemoryStream stream(data, size);
  const bool decoded = decoder.DecodeStream(stream);
  return Convert(decoder, decoded, name, options, diagnostics);
}

}  // namespace genshoku
