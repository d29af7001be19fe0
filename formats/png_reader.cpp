#include "formats/png_reader.h"

#include <cstdio>
#include <memory>

#include "codecs/png/png_streams.h"
#include "codecs/png/raw_png_decoder.h"

namespace genshoku {

namespace {

PngInput Convert(png::VxRawPngDecoder& decoder, bool decoded, const std::string& name,
                 Diagnostics& diagnostics) {
  PngInput input;
  input.colorType = decoder.hasHeader ? decoder.colorType : -1;
  if (!decoded || !decoder.HasPicture()) {
    diagnostics.Err("%s: not a PNG picture that can be read\n", name.c_str());
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
  return input;
}

}  // namespace

PngInput ReadPngFile(const std::string& path, Diagnostics& diagnostics) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
  if (!file) {
    diagnostics.Err("%s: cannot open the file\n", path.c_str());
    return {};
  }
  png::VxRawPngDecoder decoder(diagnostics);
  png::VxPngBinaryFileStream stream(file.get());
  const bool decoded = decoder.DecodeStream(stream);
  return Convert(decoder, decoded, path, diagnostics);
}

PngInput DecodePng(const uint8_t* data, size_t size, const std::string& name,
                   Diagnostics& diagnostics) {
  png::VxRawPngDecoder decoder(diagnostics);
  png::VxPngMemoryStream stream(data, size);
  const bool decoded = decoder.DecodeStream(stream);
  return Convert(decoder, decoded, name, diagnostics);
}

}  // namespace genshoku
