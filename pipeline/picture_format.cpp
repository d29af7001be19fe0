#include "pipeline/picture_format.h"

#include <cctype>
#include <cstring>
#include <string>

namespace genshoku {

std::optional<PictureFormat> FormatFromSignature(const uint8_t* bytes, size_t size) {
  static constexpr uint8_t kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (size >= 8 && std::memcmp(bytes, kPng, 8) == 0) return PictureFormat::Png;
  if (size >= 6 && (std::memcmp(bytes, "GIF87a", 6) == 0 || std::memcmp(bytes, "GIF89a", 6) == 0)) {
    return PictureFormat::Gif;
  }
  if (size >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF) {
    return PictureFormat::Jpeg;
  }
  if (size >= 2 && bytes[0] == 'B' && bytes[1] == 'M') return PictureFormat::Bmp;
  return std::nullopt;
}

const char* PictureFormatName(PictureFormat format) {
  switch (format) {
    case PictureFormat::Bmp: return "BMP";
    case PictureFormat::Png: return "PNG";
    case PictureFormat::Gif: return "GIF";
    case PictureFormat::Jpeg: return "JPEG";
  }
  return "?";
}

std::optional<PictureFormat> FormatFromExtension(std::string_view name) {
  const size_t slash = name.find_last_of('/');
  const std::string_view file = slash == std::string_view::npos ? name : name.substr(slash + 1);
  const size_t dot = file.find_last_of('.');
  if (dot == std::string_view::npos) return std::nullopt;
  std::string extension(file.substr(dot + 1));
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (extension == "bmp") return PictureFormat::Bmp;
  if (extension == "png") return PictureFormat::Png;
  if (extension == "gif") return PictureFormat::Gif;
  if (extension == "jpg" || extension == "jpeg") return PictureFormat::Jpeg;
  return std::nullopt;
}

}  // namespace genshoku
