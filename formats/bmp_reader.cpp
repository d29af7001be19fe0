#include "formats/bmp_reader.h"

#include <cerrno>
#include <cstring>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "formats/bmp_layout.h"
#include "formats/dib_image.h"

namespace genshoku {

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

bool FileSize(std::FILE* file, uint64_t* size) {
  if (std::fseek(file, 0, SEEK_END) != 0) return false;
  const long end = std::ftell(file);
  if (end < 0 || std::fseek(file, 0, SEEK_SET) != 0) return false;
  *size = static_cast<uint64_t>(end);
  return true;
}

bool AllocateRows(const BmpHeader& header, const std::string& name, BmpFileImage* image,
                  Diagnostics& diagnostics) {
  try {
    image->bytes.resize(header.rowsEnd());
  } catch (const std::bad_alloc&) {
    diagnostics.Err("%s: not enough memory for the picture\n", name.c_str());
    return false;
  }
  image->header = header;
  return true;
}

}  // namespace

BmpReadStatus ReadBmpFileImage(const std::string& path, BmpFileImage* image,
                               Diagnostics& diagnostics) {
  File file(std::fopen(path.c_str(), "rb"));
  uint64_t size = 0;
  if (!file || !FileSize(file.get(), &size)) {
    diagnostics.Err("%s: cannot open the file: %s\n", path.c_str(), std::strerror(errno));
    return BmpReadStatus::CannotOpen;
  }
  uint8_t probe[kBmpHeaderProbeSize] = {};
  const size_t probed = std::fread(probe, 1, sizeof probe, file.get());
  BmpHeader header;
  std::string reason;
  if (!ParseBmpHeader(probe, probed, size, &header, &reason)) {
    diagnostics.Err("%s: %s\n", path.c_str(), reason.c_str());
    return BmpReadStatus::Refused;
  }
  BmpFileImage read;
  if (!AllocateRows(header, path, &read, diagnostics)) return BmpReadStatus::Refused;
  const size_t kept = read.bytes.size();
  std::copy(probe, probe + probed, read.bytes.begin());
  if (std::fread(read.bytes.data() + probed, 1, kept - probed, file.get()) != kept - probed) {
    diagnostics.Err("%s: cannot read the file\n", path.c_str());
    return BmpReadStatus::CannotOpen;
  }
  *image = std::move(read);
  return BmpReadStatus::Ok;
}

BmpReadStatus BmpFileImageFromMemory(const uint8_t* data, size_t size, const std::string& name,
                                     BmpFileImage* image, Diagnostics& diagnostics) {
  BmpHeader header;
  std::string reason;
  if (!ParseBmpHeader(data, size, size, &header, &reason)) {
    diagnostics.Err("%s: %s\n", name.c_str(), reason.c_str());
    return BmpReadStatus::Refused;
  }
  BmpFileImage read;
  if (!AllocateRows(header, name, &read, diagnostics)) return BmpReadStatus::Refused;
  std::copy(data, data + read.bytes.size(), read.bytes.begin());
  *image = std::move(read);
  return BmpReadStatus::Ok;
}

std::optional<RgbaPicture> PictureFromBmpImage(const BmpFileImage& image, const std::string& name,
                                               Diagnostics& diagnostics, DibAlpha alpha) {
  const std::vector<uint8_t>& bytes = image.bytes;
  const size_t offset = image.header.pixelOffset;
  if (bytes.size() < offset || bytes.size() < kBmpFileHeaderSize) {
    diagnostics.Err("%s: the picture rows are not inside the file\n", name.c_str());
    return std::nullopt;
  }
  DibSource source;
  source.info = bytes.data() + kBmpFileHeaderSize;
  source.infoAvailable = bytes.size() - kBmpFileHeaderSize;
  source.bits = bytes.data() + offset;
  source.bitsSize = bytes.size() - offset;
  DibGeometry geometry;
  if (!ReadDibGeometry(source, &geometry)) {
    diagnostics.Err("%s: not a BMP picture that can be read\n", name.c_str());
    return std::nullopt;
  }
  std::optional<RgbaPicture> picture;
  std::vector<uint32_t> row;
  try {
    picture.emplace(geometry.width, geometry.height);
    row.resize(static_cast<size_t>(geometry.width) * geometry.height);
  } catch (const std::bad_alloc&) {
    diagnostics.Err("%s: not enough memory for the picture\n", name.c_str());
    return std::nullopt;
  }
  if (!ConvertDibPixels(source, row.data(), static_cast<size_t>(geometry.width), alpha)) {
    diagnostics.Err("%s: not a BMP picture that can be read\n", name.c_str());
    return std::nullopt;
  }
  const bool noAlpha =
      std::all_of(row.begin(), row.end(), [](uint32_t word) { return word >> 24 == 0; });
  // 0xAARRGGBB words, top row first.
  for (size_t i = 0; i < row.size(); ++i) {
    const uint32_t word = row[i];
    const auto opacity = noAlpha ? uint8_t{255} : static_cast<uint8_t>(word >> 24);
    picture->pixels[i] = {static_cast<uint8_t>(word >> 16), static_cast<uint8_t>(word >> 8),
                          static_cast<uint8_t>(word), opacity};
  }
  return picture;
}

}  // namespace genshoku
