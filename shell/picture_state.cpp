#include "shell/picture_state.h"

#include "formats/bmp_layout.h"

namespace genshoku {

namespace {

DisplayView ViewOf(const std::vector<uint8_t>* block, size_t infoOffset, size_t bitsOffset,
                   bool visible) {
  DisplayView view;
  view.imageVisible = visible;
  if (block == nullptr || block->empty() || bitsOffset > block->size() ||
      infoOffset >= block->size()) {
    return view;
  }
  view.info = block->data() + infoOffset;
  view.bits = block->data() + bitsOffset;
  view.bitsSize = block->size() - bitsOffset;
  return view;
}

}  // namespace

DisplayView PictureState::View() const {
  const std::vector<uint8_t>* block = nullptr;
  if (shown_ == Shown::ImageBlock) block = &imageBlock;
  if (shown_ == Shown::ResultBlock) block = &resultBlock;
  return ViewOf(block, infoOffset_, bitsOffset_, imageVisible);
}

DisplayView PictureState::OriginalView() const {
  return ViewOf(&originalBlock, originalInfoOffset_, originalBitsOffset_,
                imageVisible && !originalBlock.empty());
}

void PictureState::KeepImageBlockAsOriginal() {
  ForgetOriginal();
  if (shown_ == Shown::ImageBlock) {
    originalBlock = std::move(imageBlock);
    originalInfoOffset_ = infoOffset_;
    originalBitsOffset_ = bitsOffset_;
  }
  imageBlock.clear();
  imageBlock.shrink_to_fit();
}

void PictureState::ForgetOriginal() {
  originalBlock.clear();
  originalBlock.shrink_to_fit();
  originalInfoOffset_ = 0;
  originalBitsOffset_ = 0;
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
