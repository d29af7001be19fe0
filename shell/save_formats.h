#pragma once
// Saving the reduced picture under a chosen name: the name's extension picks the writer.

#include <string>

#include "common/diagnostics.h"
#include "shell/picture_state.h"

namespace genshoku {

// Writes the result at `savePath` with the writer that the extension of `fileTitle` (the
// chosen name without its folder) selects. The target is replaced only by a complete
// file; on failure one line goes to standard error and false is returned.
bool SaveResult(const PictureState& state, const std::string& savePath,
                const std::string& fileTitle, Diagnostics& diagnostics);

}  // namespace genshoku
