#include "shell/bmp_file.h"

#include "formats/bmp_reader.h"
#include "formats/bmp_layout.h"

namespace genshoku {

LoadResult LoadBmpFile(PictureState& state, const std::string& path, Diagnostics& diagnostics) {
  BmpFileImage image;
  switch (ReadBmpFileImage(path, &image, diagnostics)) {
    case BmpReadStatus::Ok: break;
    case BmpReadStatus::CannotOpen: return LoadResult::CannotOpen;
    case BmpReadStatus::Refused: return LoadResult::Refused;
  }
  state.imageBlock = std::move(image.bytes);
  state.ShowImageBlock(kBmpFileHeaderSize, image.header.pixelOffset);
  state.inputBitDepth = image.header.bitsPerPixel == 24 ? 24 : 8;
  state.imageWidth = image.header.width;
  state.imageHeight = image.header.rows();  // a top-down file counts its rows the same way
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

}  // namespace genshoku
