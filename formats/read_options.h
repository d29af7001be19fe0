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
};

// What a reader found wrong with the data of the picture it gave all the same, in a few
// words ("the data end before the last row", "damaged compressed data", "no image data",
// ...); empty when the picture is whole.
using DamageNote = std::string;

}  // namespace genshoku
