#include "pipeline/load_picture.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
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
  struct stat info;
  if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
    diagnostics.Err("%s: a folder, not a picture file\n", path.c_str());
    *status = LoadStatus::CannotOpen;
    return std::nullopt;
  }
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    diagnostics.Err("%s: cannot open the file: %s\n", path.c_str(), std::strerror(errno));
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

LoadStatus Take(std::optional<RgbaPicture> picture, const PictureSource& source, DamageNote damage,
                LoadedPicture* loaded) {
  if (!picture) return LoadStatus::NotReadable;
  loaded->picture = std::move(*picture);
  loaded->source = source;
  loaded->damage = std::move(damage);
  return LoadStatus::Ok;
}

LoadStatus TakeBmp(BmpReadStatus status, const BmpFileImage& image, const std::string& name,
                   const ReadOptions& options, LoadedPicture* loaded, Diagnostics& diagnostics) {
  if (status == BmpReadStatus::CannotOpen) return LoadStatus::CannotOpen;
  if (status != BmpReadStatus::Ok) return LoadStatus::NotReadable;
  PictureSource source{PictureFormat::Bmp, -1, image.header.bitsPerPixel};
  const DibAlpha alpha = options.everyFormatWithAlpha ? DibAlpha::Masked : DibAlpha::Opaque;
  return Take(PictureFromBmpImage(image, name, diagnostics, alpha), source, {}, loaded);
}

// Only GIF files hold more than one image.
bool ImageExists(PictureFormat format, const std::string& name, const ReadOptions& options,
                 Diagnostics& diagnostics) {
  if (format == PictureFormat::Gif || options.gifImage == 0) return true;
  diagnostics.Err("%s: a %s file holds a single image, not an image %d\n", name.c_str(),
                  PictureFormatName(format), options.gifImage);
  return false;
}

}  // namespace

LoadStatus LoadPictureFile(const std::string& path, std::optional<PictureFormat> format,
                           LoadedPicture* loaded, Diagnostics& diagnostics,
                           const ReadOptions& options) {
  if (!format) {
    LoadStatus status = LoadStatus::Ok;
    format = SniffFile(path, &status, diagnostics);
    if (!format) return status;
  }
  if (!ImageExists(*format, path, options, diagnostics)) return LoadStatus::NotReadable;
  DamageNote damage;
  switch (*format) {
    case PictureFormat::Jpeg: {
      auto picture = ReadJpegFile(path, diagnostics, options, &damage);
      return Take(std::move(picture), {PictureFormat::Jpeg}, damage, loaded);
    }
    case PictureFormat::Png: {
      PngInput input = ReadPngFile(path, diagnostics, options);
      return Take(std::move(input.picture), {PictureFormat::Png, input.colorType}, input.damage,
                  loaded);
    }
    case PictureFormat::Gif: {
      auto picture = ReadGifFile(path, diagnostics, options, &damage);
      return Take(std::move(picture), {PictureFormat::Gif}, damage, loaded);
    }
    case PictureFormat::Bmp: break;
  }
  // (A BMP file too short for its rows is refused whole, damaged or not.)
  BmpFileImage image;
  const BmpReadStatus status = ReadBmpFileImage(path, &image, diagnostics);
  return TakeBmp(status, image, path, options, loaded, diagnostics);
}

LoadStatus LoadPictureBytes(const uint8_t* data, size_t size, const std::string& name,
                            std::optional<PictureFormat> format, LoadedPicture* loaded,
                            Diagnostics& diagnostics, const ReadOptions& options) {
  if (!format) format = FormatFromSignature(data, size);
  if (!format) {
    diagnostics.Err("%s: not a JPEG, PNG, GIF or BMP file\n", name.c_str());
    return LoadStatus::NotReadable;
  }
  if (!ImageExists(*format, name, options, diagnostics)) return LoadStatus::NotReadable;
  DamageNote damage;
  switch (*format) {
    case PictureFormat::Jpeg: {
      auto picture = DecodeJpeg(data, size, name, diagnostics, options, &damage);
      return Take(std::move(picture), {PictureFormat::Jpeg}, damage, loaded);
    }
    case PictureFormat::Png: {
      PngInput input = DecodePng(data, size, name, diagnostics, options);
      return Take(std::move(input.picture), {PictureFormat::Png, input.colorType}, input.damage,
                  loaded);
    }
    case PictureFormat::Gif: {
      auto picture = DecodeGif(data, size, name, diagnostics, options, &damage);
      return Take(std::move(picture), {PictureFormat::Gif}, damage, loaded);
    }
    case PictureFormat::Bmp: break;
  }
  BmpFileImage image;
  const BmpReadStatus status = BmpFileImageFromMemory(data, size, name, &image, diagnostics);
  return TakeBmp(status, image, name, options, loaded, diagnostics);
}

}  // namespace genshoku
