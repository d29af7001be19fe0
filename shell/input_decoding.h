#pragma once
// A dropped file becomes the current picture: the reader chosen by its extension decodes
// it, and the outcome says how the reduce button and the reduction's source follow.

#include <string>

#include "common/diagnostics.h"
#include "shell/file_names.h"
#include "shell/picture_state.h"

namespace genshoku {

struct DropOutcome {
  InputReader reader = InputReader::Bmp;
  bool loaded = false;           // the picture was read and is now the current one
  bool fileOpened = false;       // for BMP: the file could be opened (else nothing changes)
  bool reduceEnabled = false;    // whether the reduce button may be pressed now
  bool reduceUnchanged = false;  // true when the reduce button keeps its state
  int pngColorType = -1;         // the PNG file's colour type, for PNG files
  // The picture was read, but the file is damaged or cut short: what is shown is the part
  // the reader could decode (or its best guess at the rest).
  bool damaged = false;
};

// Reads `path` with the reader its extension chooses and makes it the current picture.
// Sets the state's sourceKind. A file that cannot be read leaves the state as it was and
// writes one line naming the file on standard error.
DropOutcome LoadDroppedFile(PictureState& state, const std::string& path, Diagnostics& diagnostics);

}  // namespace genshoku
