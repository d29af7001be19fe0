#include "shell/input_decoding.h"

#include "shell/bmp_file.h"

// Placeholder until the JPEG, PNG and GIF readers are connected: only BMP files load.
namespace genshoku {

DropOutcome LoadDroppedFile(PictureState& state, const std::string& path,
                            Diagnostics& diagnostics) {
  DropOutcome outcome;
  outcome.reader = ChooseInputReader(path);
  if (outcome.reader != InputReader::Bmp) {
    diagnostics.Err("%s: this kind of file cannot be read yet\n", path.c_str());
    outcome.reduceUnchanged = true;
    return outcome;
  }
  const LoadResult result = LoadBmpFile(state, path, diagnostics);
  outcome.fileOpened = result == LoadResult::Loaded;
  outcome.loaded = result == LoadResult::Loaded;
  if (outcome.loaded) {
    state.sourceKind = SourceKind::BmpFile;
    outcome.reduceEnabled = state.inputBitDepth == 24;
  } else {
    outcome.reduceUnchanged = true;
  }
  return outcome;
}

}  // namespace genshoku
