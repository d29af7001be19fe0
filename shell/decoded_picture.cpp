#include "shell/decoded_picture.h"

#include "shell/bmp_file.h"
#include "shell/bmp_layout.h"

namespace genshoku {

bool PictureSizeAllowed(int64_t width, int64_t height) {
  return width > 0 && height > 0 && width <= kMaxPicturePixels && height <= kMaxPicturePixels &&
         width * height <= kMaxPicturePixels;
}

DecodedPicture::DecodedPicture(int32_t width, int32_t height) : width_(width), height_(height) {
  PictureState scratch;
  MakeImageBlock24(scratch, width, height);
  block_ = std::move(scratch.imageBlock);
}

uint8_t* DecodedPicture::Row(int32_t y) {
  return block_.data() + kBmp24PixelOffset + Stride24(width_) * (height_ - 1 - y);
}

void DecodedPicture::InstallInto(PictureState& state) && {
  state.imageBlock = std::move(block_);
  state.ShowImageBlock(kBmpFileHeaderSize, kBmp24PixelOffset);
  state.imageWidth = width_;
  state.imageHeight = height_;
  state.imageVisible = true;
  state.sourceKind = SourceKind::ImageBlock;
}

}  // namespace genshoku
