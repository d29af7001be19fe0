#include "shell/save_formats.h"

#include "shell/bmp_file.h"
#include "shell/file_names.h"

// Placeholder until the PNG and GIF writers are connected: every name is written as BMP.
namespace genshoku {

bool SaveResult(const PictureState& state, const std::string& savePath, const std::string&,
                Diagnostics& diagnostics) {
  return WriteBmp8(state, savePath, diagnostics);
}

}  // namespace genshoku
