#pragma once
// What a caller asks of the picture readers besides the pixels.

#include <string>

namespace genshoku {

struct ReadOptions {
  // A file whose data are damaged (cut short, corrupt, missing) gives no picture: the
  // reader stops at the first damage it meets, says what it is in its one line naming the
  // file, and sets nothing aside for a picture it already knows cannot be whole. When not
  // set (the window's way), such a file gives what was decoded of it, without a line.
  bool refuseDamaged = false;

  // Every picture as its format means it, transparency included, instead of the window's
  // reading. PNG: every colour type and bit depth, 16-bit samples rounded to 8 bits, the
  // transparency chunk as alpha, interlaced files of fewer than 8 bits per pixel drawn
  // (the window reads ten formats, takes a 16-bit sample's high byte and leaves alpha of
  // palettes and keys aside). GIF: the transparent index and what no image covers are
  // transparent (the window draws over the background colour), and GIF87a files are read
  // too. BMP: a 16- or 32-bit file
  // with an alpha mask keeps its alpha (the window shows it opaque).
  bool everyFormatWithAlpha = false;

  // GIF: the image to read, 0 for the first; the images before it are drawn underneath as
  // a viewer shows them. The window reads the first.
  int gifImage = 0;
};

// What a reader found wrong with the data of the picture it gave all the same, in a few
// words ("the data end before the last row", "damaged compressed data", "no image data",
// ...); empty when the picture is whole.
using DamageNote = std::string;

}  // namespace genshoku
