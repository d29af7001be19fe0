#pragma once
// The pictures the program holds: the current picture as a bitmap file image, the 8-bit
// result of the last reduction, what is on display, and the flags that follow them.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/pictures.h"
#include "formats/dib_image.h"

namespace genshoku {

// Where the reduction takes its pixels from.
enum class SourceKind {
  BmpFile = 0,     // re-read the dropped BMP file from disk
  ImageBlock = 1,  // the decoded 24-bit picture in memory
};

// What painting draws: a bitmap info header (with its colour table where the bit depth
// has one) and the first stored pixel row (the bottom row).
struct DisplayView {
  const uint8_t* info = nullptr;
  const uint8_t* bits = nullptr;
  size_t bitsSize = 0;  // bytes from `bits` to the end of the block
  bool imageVisible = false;
};

// The view's info header and rows lie in one block that ends where the rows' bytes end.
DibSource DibSourceFromView(const DisplayView& view);

class PictureState {
 public:
  // The current picture: a complete BMP file image (a dropped BMP file as stored, or a
  // 24-bit picture made for a decoded JPEG, PNG or GIF file). Empty when there is none.
  std::vector<uint8_t> imageBlock;
  // The 8-bit result: info header, 256-entry colour table, rows. Empty before the first
  // reduction.
  std::vector<uint8_t> resultBlock;

  int32_t imageWidth = 0;
  int32_t imageHeight = 0;
  int inputBitDepth = 24;  // 24 for a dropped 24-bit BMP file, else 8; set by LoadBmpFile
  bool imageVisible = false;
  bool resultReady = false;  // set by the first completed reduction, never cleared
  SourceKind sourceKind = SourceKind::BmpFile;
  int32_t resultWidth = 0;
  int32_t resultHeight = 0;

  // The last reduction's indexed picture: one palette index per pixel (row-major, top row
  // first) and its palette.
  IndexedPicture result;

  bool imageBlockOwned() const { return !imageBlock.empty(); }
  bool resultBlockOwned() const { return !resultBlock.empty(); }

  // The view of the block on display.
  DisplayView View() const;

  // Makes a block the one on display. `bitsOffset` is where its rows start.
  void ShowImageBlock(size_t infoOffset, size_t bitsOffset);
  void ShowResultBlock();

 private:
  enum class Shown { Nothing, ImageBlock, ResultBlock };
  Shown shown_ = Shown::Nothing;
  size_t infoOffset_ = 0;
  size_t bitsOffset_ = 0;
};

}  // namespace genshoku
