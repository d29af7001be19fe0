#include "shell/decoded_picture.h"

#include "formats/bmp_layout.h"
#include "shell/bmp_file.h"

namespace genshoku {

void InstallDecodedPicture(const RgbaPicture& picture, PictureState& state) {
  PictureState scratch;
  MakeImageBlock24(scratch, picture.width, picture.height);
  const int64_t stride = Stride24(picture.width);
  uint8_t* bits = scratch.imageBlock.data() + kBmp24PixelOffset;
  for (int32_t y = 0; y < picture.height; ++y) {
    uint8_t* row = bits + stride * (picture.height - 1 - y);
    const Rgba* source = &picture.At(0, y);
    for (int32_t x = 0; x < picture.width; ++x) {
      row[3 * x] = source[x].blue;
      row[3 * x + 1] = source[x].green;
      row[3 * x + 2] = source[x].red;
    }
  }
  state.imageBlock = std::move(scratch.imageBlock);
  state.ShowImageBlock(kBmpFileHeaderSize, kBmp24PixelOffset);
  state.imageWidth = picture.width;
  state.imageHeight = picture.height;
  state.imageVisible = true;
  state.sourceKind = SourceKind::ImageBlock;
}

}  // namespace genshoku
