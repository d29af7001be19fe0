#include "shell/failure_causes.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

#include "codecs/gif/gif_writer.h"
#include "common/file_paths.h"
#include "common/pictures.h"
#include "formats/bmp_layout.h"

namespace genshoku {

namespace {

namespace fs = std::filesystem;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

uint32_t ReadBe16(const uint8_t* p) { return (uint32_t{p[0]} << 8) | p[1]; }
uint32_t ReadBe32(const uint8_t* p) { return (ReadBe16(p) << 16) | ReadBe16(p + 2); }

// Walks the JPEG segments up to the first frame header (any SOFn marker).
std::optional<int64_t> JpegPixelCount(const uint8_t* bytes, size_t size) {
  size_t at = 2;  // after the start-of-image marker
  while (at + 4 <= size) {
    if (bytes[at] != 0xFF) return std::nullopt;
    const uint8_t marker = bytes[at + 1];
    if (marker == 0xFF) {  // fill byte before a marker
      ++at;
      continue;
    }
    const bool frameHeader =
        marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (frameHeader) {
      if (at + 9 > size) return std::nullopt;
      return int64_t{ReadBe16(bytes + at + 5)} * ReadBe16(bytes + at + 7);
    }
    at += 2 + ReadBe16(bytes + at + 2);
  }
  return std::nullopt;
}

// The first bytes of a file (at most `limit`), and its size.
bool ReadStart(std::FILE* file, size_t limit, std::vector<uint8_t>* bytes) {
  bytes->resize(limit);
  const size_t read = std::fread(bytes->data(), 1, limit, file);
  bytes->resize(read);
  return !std::ferror(file);
}

}  // namespace

std::optional<int64_t> AnnouncedPixelCount(const uint8_t* bytes, size_t size,
                                           PictureFormat format) {
  switch (format) {
    case PictureFormat::Png:  // the IHDR chunk comes first
      if (size < 24) return std::nullopt;
      return int64_t{ReadBe32(bytes + 16)} * ReadBe32(bytes + 20);
    case PictureFormat::Gif:  // the logical screen
      if (size < 10) return std::nullopt;
      return int64_t{ReadLe16(bytes + 6)} * ReadLe16(bytes + 8);
    case PictureFormat::Bmp: {
      if (size < 26) return std::nullopt;
      const int64_t height = static_cast<int32_t>(ReadLe32(bytes + 22));
      return int64_t{static_cast<int32_t>(ReadLe32(bytes + 18))} * (height < 0 ? -height : height);
    }
    case PictureFormat::Jpeg: return JpegPixelCount(bytes, size);
  }
  return std::nullopt;
}

LoadFailure ExplainLoadFailure(const std::string& path, InputReader reader) {
  LoadFailure failure;
  failure.reader = reader;
  failure.extensionNamesReader = FormatFromExtension(path) == InputReaderFormat(reader);
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  if (!fs::exists(status)) {
    failure.problem = LoadProblem::Missing;
    return failure;
  }
  if (fs::is_directory(status)) {
    failure.problem = LoadProblem::Folder;
    return failure;
  }
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    failure.problem =
        errno == EACCES || errno == EPERM ? LoadProblem::NotPermitted : LoadProblem::Unreadable;
    return failure;
  }
  std::vector<uint8_t> start;
  if (!ReadStart(file.get(), kPixelCountProbeSize, &start)) return failure;
  if (start.empty()) {
    failure.problem = LoadProblem::Empty;
    return failure;
  }
  const std::optional<PictureFormat> content = FormatFromSignature(start.data(), start.size());
  if (!content) {
    failure.problem = LoadProblem::NotAPicture;
    return failure;
  }
  if (*content != InputReaderFormat(reader)) {
    failure.problem = LoadProblem::OtherFormat;
    failure.content = *content;
    return failure;
  }
  const std::optional<int64_t> pixels = AnnouncedPixelCount(start.data(), start.size(), *content);
  if (pixels && *pixels > kMaxPicturePixels) {
    failure.problem = LoadProblem::TooLarge;
    return failure;
  }
  if (*content == PictureFormat::Bmp && start.size() >= 34) {
    // 0 is no compression, 3 bit fields; 1 and 2 are run-length coding, 4 and 5 a JPEG or
    // PNG stream inside the file.
    const uint32_t compression = ReadLe32(start.data() + 30);
    if (compression != 0 && compression != 3) failure.problem = LoadProblem::CompressedBmp;
  }
  if (*content == PictureFormat::Gif && std::memcmp(start.data(), "GIF87a", 6) == 0) {
    failure.problem = LoadProblem::OldGif;
  }
  return failure;
}

SaveProblem ExplainSaveFailure(const std::string& path, SaveWriter writer, int32_t width,
                               int32_t height) {
  if (writer == SaveWriter::Gif && (width > GifWriter::kMaxSide || height > GifWriter::kMaxSide)) {
    return SaveProblem::GifTooLarge;
  }
  std::error_code error;
  if (fs::is_directory(path, error)) return SaveProblem::IsFolder;
  std::string folder = SplitFilePath(path).folder;
  if (folder.empty()) folder = ".";
  if (!fs::is_directory(folder, error)) return SaveProblem::FolderMissing;
  // The file is written beside its target and renamed over it: the folder must take it.
  if (::access(folder.c_str(), W_OK) != 0 && errno == EACCES) return SaveProblem::NotPermitted;
  return SaveProblem::Unwritable;
}

}  // namespace genshoku
