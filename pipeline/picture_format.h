#pragma once
// The kinds of picture file the program reads and writes, and how a file's first bytes tell
// which kind it is.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace genshoku {

enum class PictureFormat { Bmp, Png, Gif, Jpeg };

// The format whose signature the bytes start with ("BM", the PNG signature, "GIF87a" or
// "GIF89a", a JPEG start-of-image marker), or none.
std::optional<PictureFormat> FormatFromSignature(const uint8_t* bytes, size_t size);

// Bytes FormatFromSignature needs to see.
inline constexpr size_t kSignatureProbeSize = 8;

// "BMP", "PNG", "GIF", "JPEG".
const char* PictureFormatName(PictureFormat format);

// The format a name's extension stands for, compared without regard to case: .bmp, .png,
// .gif, .jpg and .jpeg. None for any other extension or none.
std::optional<PictureFormat> FormatFromExtension(std::string_view name);

}  // namespace genshoku
