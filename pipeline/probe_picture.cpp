#include "pipeline/probe_picture.h"

#include <cstdio>
#include <memory>

#include "formats/bmp_header.h"
#include "formats/jpeg_reader.h"
#include "pipeline/picture_format.h"

namespace genshoku {

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

uint32_t BigEndian32(const uint8_t* bytes) {
  return uint32_t{bytes[0]} << 24 | uint32_t{bytes[1]} << 16 | uint32_t{bytes[2]} << 8 | bytes[3];
}

}  // namespace

std::optional<PictureSize> ProbePictureSize(const std::string& path) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) return std::nullopt;
  uint8_t header[kBmpHeaderProbeSize] = {};
  const size_t probed = std::fread(header, 1, sizeof header, file.get());
  const std::optional<PictureFormat> format = FormatFromSignature(header, probed);
  if (!format) return std::nullopt;
  switch (*format) {
    case PictureFormat::Png:
      // The header chunk comes first: its length and type, then width and height.
      if (probed < 24 || header[12] != 'I' || header[13] != 'H' || header[14] != 'D' ||
          header[15] != 'R') {
        return std::nullopt;
      }
      return PictureSize{BigEndian32(header + 16), BigEndian32(header + 20)};
    case PictureFormat::Gif:
      if (probed < 10) return std::nullopt;
      return PictureSize{header[6] | header[7] << 8, header[8] | header[9] << 8};
    case PictureFormat::Jpeg: {
      file.reset();
      const std::optional<JpegSize> size = ReadJpegSize(path);
      if (!size) return std::nullopt;
      return PictureSize{size->width, size->height};
    }
    case PictureFormat::Bmp: break;
  }
  if (std::fseek(file.get(), 0, SEEK_END) != 0) return std::nullopt;
  const long fileSize = std::ftell(file.get());
  BmpHeader bmp;
  std::string reason;
  if (fileSize < 0 ||
      !ParseBmpHeader(header, probed, static_cast<uint64_t>(fileSize), &bmp, &reason)) {
    return std::nullopt;
  }
  return PictureSize{bmp.width, bmp.rows()};
}

}  // namespace genshoku
