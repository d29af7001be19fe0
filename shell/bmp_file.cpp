#include "shell/bmp_file.h"

#include <cstdio>
#include <memory>

#include "common/atomic_file.h"
#include "shell/bmp_header.h"
#include "shell/bmp_layout.h"

namespace genshoku {

void WriteBmpInfoHeader(uint8_t* header, int32_t width, int32_t height, int bitsPerPixel) {
  for (size_t i = 0; i < kBmpInfoHeaderSize; ++i) header[i] = 0;
  WriteLe32(header + 0, static_cast<uint32_t>(kBmpInfoHeaderSize));
  WriteLe32(header + 4, static_cast<uint32_t>(width));
  WriteLe32(header + 8, static_cast<uint32_t>(height));
  WriteLe16(header + 12, 1);
  WriteLe16(header + 14, static_cast<uint16_t>(bitsPerPixel));
}

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

}  // namespace

LoadResult LoadBmpFile(PictureState& state, const std::string& path, Diagnostics& diagnostics) {
  File file(std::fopen(path.c_str(), "rb"));
  uint64_t size = 0;
  if (!file || !FileSize(file.get(), &size)) {
    diagnostics.Err("%s: cannot open the file\n", path.c_str());
    return LoadResult::CannotOpen;
  }
  uint8_t probe[kBmpHeaderProbeSize] = {};
  const size_t probed = std::fread(probe, 1, sizeof probe, file.get());
  BmpHeader header;
  std::string reason;
  if (!ParseBmpHeader(probe, probed, size, &header, &reason)) {
    diagnostics.Err("%s: %s\n", path.c_str(), reason.c_str());
    return LoadResult::Refused;
  }
  // Whatever follows the last row (a profile, or anything at all) is neither shown nor
  // reduced, and is left on disk however large it is.
  const uint64_t kept = header.rowsEnd();
  std::vector<uint8_t> block;
  try {
    block.resize(kept);
  } catch (const std::bad_alloc&) {
    diagnostics.Err("%s: not enough memory for the picture\n", path.c_str());
    return LoadResult::Refused;
  }
  std::copy(probe, probe + probed, block.begin());
  if (std::fread(block.data() + probed, 1, kept - probed, file.get()) != kept - probed) {
    diagnostics.Err("%s: cannot read the file\n", path.c_str());
    return LoadResult::CannotOpen;
  }
  state.imageBlock = std::move(block);
  state.ShowImageBlock(kBmpFileHeaderSize, header.pixelOffset);
  state.inputBitDepth = header.bitsPerPixel == 24 ? 24 : 8;
  state.imageWidth = header.width;
  state.imageHeight = header.rows();  // a top-down file counts its rows the same way
  state.imageVisible = true;
  return LoadResult::Loaded;
}

void MakeImageBlock24(PictureState& state, int32_t width, int32_t height) {
  const int64_t rowsSize = Stride24(width) * height;
  const size_t size = kBmp24PixelOffset + static_cast<size_t>(rowsSize);
  std::vector<uint8_t> block(size, 0);
  block[0] = 'B';
  block[1] = 'M';
  WriteLe32(block.data() + 2, static_cast<uint32_t>(size));
  WriteLe32(block.data() + 10, static_cast<uint32_t>(kBmp24PixelOffset));
  WriteBmpInfoHeader(block.data() + kBmpFileHeaderSize, width, height, 24);
  state.imageBlock = std::move(block);
  state.ShowImageBlock(kBmpFileHeaderSize, kBmp24PixelOffset);
}

void MakeResultBlock(PictureState& state, int32_t width, int32_t height) {
  const size_t size = kResultBlockPixelOffset + static_cast<size_t>(Stride8(width) * height);
  std::vector<uint8_t> block(size, 0);
  WriteBmpInfoHeader(block.data(), width, height, 8);
  state.resultBlock = std::move(block);
}

bool WriteBmp8(const PictureState& state, const std::string& path, Diagnostics& diagnostics) {
  const std::vector<uint8_t>& block = state.resultBlock;
  if (block.size() < kResultBlockPixelOffset) {
    diagnostics.Err("%s: there is no reduced picture to save\n", path.c_str());
    return false;
  }
  uint8_t fileHeader[kBmpFileHeaderSize] = {};
  fileHeader[0] = 'B';
  fileHeader[1] = 'M';
  WriteLe32(fileHeader + 2, static_cast<uint32_t>(kBmpFileHeaderSize + block.size()));
  WriteLe32(fileHeader + 10, static_cast<uint32_t>(kBmp8PixelOffset));
  AtomicFile file;
  if (!file.Open(path) || !file.Write(fileHeader, sizeof fileHeader) ||
      !file.Write(block.data(), block.size()) || !file.Commit()) {
    diagnostics.Err("%s\n", file.error().c_str());
    return false;
  }
  return true;
}

}  // namespace genshoku
