#include "pipeline/load_picture.h"

#include <cstdio>
#include <memory>

#include "formats/bmp_reader.h"
#include "formats/gif_reader.h"
#include "formats/jpeg_reader.h"
#include "formats/png_reader.h"

namespace genshoku {

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// The format named by the first bytes of the file; a line naming the file when there is
// none or the file cannot be read.
std::optional<PictureFormat> SniffFile(const std::string& path, LoadStatus* status,
                                       Diagnostics& diagnostics) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    diagnostics.Err("%s: cannot open the file\n", path.c_str());
    *status = LoadStatus::CannotOpen;
    return std::nullopt;
  }
  uint8_t probe[kSignatureProbeSize] = {};
  const size_t probed = std::fread(probe, 1, sizeof probe, file.get());
  const std::optional<PictureFormat> format = FormatFromSignature(probe, probed);
  if (!format) {
    diagnostics.Err("%s: not a JPEG, PNG, GIF or BMP file\n", path.c_str());
    *status = LoadStatus::NotReadable;
  }
  return format;
}

LoadStatus Take(std::optional<RgbaPicture> picture, const PictureSource& source,
                LoadedPicture* loaded) {
  if (!picture) return LoadStatus::NotReadable;
  loaded->picture = std::move(*picture);
  loaded->source = source;
  return LoadStatus::Ok;
}

LoadStatus TakeBmp(BmpReadStatus status, const BmpFileImage& image, const std::string& name,
                   LoadedPicture* loaded, Diagnostics& diagnostics) {
  if (status == BmpReadStatus::CannotOpen) return LoadStatus::CannotOpen;
  if (status != BmpReadStatus::Ok) return LoadStatus::NotReadable;
  PictureSource source{PictureFormat::Bmp, -1, image.header.bitsPerPixel};
  return Take(PictureFromBmpImage(image, name, diagnostics), source, loaded);
}

}  // namespace

LoadStatus LoadPictureFile(const std::string& path, std::optional<PictureFormat> format,
                           LoadedPicture* loaded, Diagnostics& diagnostics) {
  if (!format) {
    LoadStatus status = LoadStatus::Ok;
    format = SniffFile(path, &status, diagnostics);
    if (!format) return status;
  }
  switch (*format) {
    case PictureFormat::Jpeg:
      return Take(ReadJpegFile(path, diagnostics), {PictureFormat::Jpeg}, loaded);
    case PictureFormat::Png: {
      PngInput input = ReadPngFile(path, diagnostics);
      return Take(std::move(input.picture), {PictureFormat::Png, input.colorType}, loaded);
    }
    case PictureFormat::Gif:
      return Take(ReadGifFile(path, diagnostics), {PictureFormat::Gif}, loaded);
    case PictureFormat::Bmp: break;
  }
  BmpFileImage image;
  const BmpReadStatus status = ReadBmpFileImage(path, &image, diagnostics);
  return TakeBmp(status, image, path, loaded, diagnostics);
}

LoadStatus LoadPictureBytes(const uint8_t* data, size_t size, const std::string& name,
                            std::optional<PictureFormat> format, LoadedPicture* loaded,
                            Diagnostics& diagnostics) {
  if (!format) format = FormatFromSignature(data, size);
  if (!format) {
    diagnostics.Err("%s: not a JPEG, PNG, GIF or BMP file\n", name.c_str());
    return LoadStatus::NotReadable;
  }
  switch (*format) {
    case PictureFormat::Jpeg:
      return Take(DecodeJpeg(data, size, name, diagnostics), {PictureFormat::Jpeg}, loaded);
    case PictureFormat::Png: {
      PngInput input = DecodePng(data, size, name, diagnostics);
      return Take(std::move(input.picture), {PictureFormat::Png, input.colorType}, loaded);
    }
    case PictureFormat::Gif:
      return Take(DecodeGif(data, size, name, diagnostics), {PictureFormat::Gif}, loaded);
    case PictureFormat::Bmp: break;
  }
  BmpFileImage image;
  const BmpReadStatus status = BmpFileImageFromMemory(data, size, name, &image, diagnostics);
  return TakeBmp(status, image, name, loaded, diagnostics);
}

}  // namespace genshoku
