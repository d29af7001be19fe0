#include "codecs/png/compact_png_file.h"

#include <vector>

#include "common/atomic_file.h"

namespace genshoku::png {

CompactPngStatus WriteCompactPngFile(const std::string& path, const CompactPngImage& image,
                                     const CompactPngOptions& options, std::string* error) {
  std::vector<uint8_t> png;
  const CompactPngStatus status = EncodeCompactPng(image, options, png);
  if (status != CompactPngStatus::kOk) return status;
  AtomicFile file;
  if (!file.Open(path) || !file.Write(png.data(), png.size()) || !file.Commit()) {
    if (error != nullptr) *error = file.error();
    return CompactPngStatus::kCannotWriteFile;
  }
  return CompactPngStatus::kOk;
}

}  // namespace genshoku::png
