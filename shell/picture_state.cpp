#include "shell/picture_state.h"

#include "formats/bmp_layout.h"

namespace genshoku {

DisplayView PictureState::View() const {
  DisplayView view;
  view.imageVisible = imageVisible;
  const std::vector<uint8_t>* block = nullptr;
  if (shown_ == Shown::ImageBlock) block = &imageBlock;
  if (shown_ == Shown::ResultBlock) block = &resultBlock;
  if (block == nullptr || block->empty() || bitsOffset_ > block->size() ||
      infoOffset_ >= block->size()) {
    return view;
  }
  view.info = block->data() + infoOffset_;
  view.bits = block->data() + bitsOffset_;
  view.bitsSize = block->size() - bitsOffset_;
  return view;
}

void PictureState::ShowImageBlock(size_t infoOffset, size_t bitsOffset) {
  shown_ = Shown::ImageBlock;
  infoOffset_ = infoOffset;
  bitsOffset_ = bitsOffset;
}

void PictureState::ShowResultBlock() {
  shown_ = Shown::ResultBlock;
  infoOffset_ = 0;
  bitsOffset_ = kResultBlockPixelOffset;
}

DibSource DibSourceFromView(const DisplayView& view) {
  DibSource source;
  if (view.info == nullptr || view.bits == nullptr) return source;
  const uint8_t* end = view.bits + view.bitsSize;
  if (view.info >= end) return source;
  source.info = view.info;
  source.infoAvailable = static_cast<size_t>(end - view.info);
  source.bits = view.bits;
  source.bitsSize = view.bitsSize;
  return source;
}

}  // namespace genshoku
