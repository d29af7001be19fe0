#pragma once
// Where the decoded pixels of one image land on the screen.
//
// The LZW data produce a run of colour indices; the n-th index belongs to column
// n mod rectWidth of the n-th decoded row, and the n-th decoded row is a row of the image
// rectangle (the same row, or the one the interlace order gives). Files may describe
// rectangles that reach past the screen or carry more pixels than the rectangle holds: such
// pixels are dropped, so every write stays inside the screen's index plane.

#include <cstdint>
#include <vector>

namespace genshoku::gif {

struct ImageRectangle {
  uint16_t left = 0;
  uint16_t top = 0;
  uint16_t width = 0;
  uint16_t height = 0;
};

// The rows of an interlaced image in the order they are stored: every 8th row from 0, every
// 8th from 4, every 4th from 2, every 2nd from 1.
std::vector<uint16_t> InterlacedRowOrder(uint16_t height);

class ImagePlacement {
 public:
  // `screenIndices` holds screenWidth x screenHeight bytes, top row first.
  ImagePlacement(uint8_t* screenIndices, uint16_t screenWidth, uint16_t screenHeight,
                 const ImageRectangle& rectangle, bool interlaced);

  // Whether any of the `count` pixels from decoding position `position` on lands on the
  // screen. Costs one step per rectangle row the run touches, so a run that would be
  // dropped anyway can be skipped without spelling it out.
  bool AnyVisible(uint64_t position, uint64_t count) const;

  // Stores one index at a decoding position; dropped when it falls outside the rectangle or
  // the screen.
  void Put(uint64_t position, uint8_t index) const;

 private:
  // Screen row of a rectangle row, or -1 when it is off the screen.
  int64_t ScreenRow(uint64_t rectangleRow) const;

  uint8_t* screenIndices_;
  uint16_t screenWidth_;
  ImageRectangle rectangle_;
  uint64_t pixelCount_;             // rectangle width x height: positions past it are dropped
  uint32_t visibleColumns_;         // leading columns of the rectangle that lie on the screen
  uint32_t visibleRows_;            // rectangle rows (after the interlace order) on the screen
  std::vector<uint16_t> rowOrder_;  // empty when not interlaced
};

}  // namespace genshoku::gif
