#include "shell/save_formats.h"

#include "pipeline/save_picture.h"
#include "shell/file_names.h"

namespace genshoku {

namespace {

PictureFormat SaveFormatOf(SaveWriter writer) {
  switch (writer) {
    case SaveWriter::Png: return PictureFormat::Png;
    case SaveWriter::Gif: return PictureFormat::Gif;
    case SaveWriter::Bmp: break;
  }
  return PictureFormat::Bmp;
}

}  // namespace

bool SaveResult(const PictureState& state, const std::string& savePath,
                const std::string& fileTitle, Diagnostics& diagnostics) {
  SaveSettings settings;
  settings.format = SaveFormatOf(ChooseSaveWriter(fileTitle));
  return SavePicture(state.result, savePath, settings, diagnostics);
}

}  // namespace genshoku
