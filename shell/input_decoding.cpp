#include "shell/input_decoding.h"

#include "pipeline/load_picture.h"
#include "shell/bmp_file.h"
#include "shell/decoded_picture.h"

namespace genshoku {

namespace {

DropOutcome LoadBmp(PictureState& state, const std::string& path, Diagnostics& diagnostics) {
  DropOutcome outcome;
  outcome.reader = InputReader::Bmp;
  const LoadResult result = LoadBmpFile(state, path, diagnostics);
  outcome.fileOpened = result != LoadResult::CannotOpen;
  outcome.loaded = result == LoadResult::Loaded;
  if (outcome.loaded) {
    state.sourceKind = SourceKind::BmpFile;
    outcome.reduceEnabled = state.inputBitDepth == 24;
  } else {
    outcome.reduceUnchanged = true;
  }
  return outcome;
}

PictureFormat FormatOf(InputReader reader) {
  switch (reader) {
    case InputReader::Jpeg: return PictureFormat::Jpeg;
    case InputReader::Png: return PictureFormat::Png;
    case InputReader::Gif: return PictureFormat::Gif;
    case InputReader::Bmp: break;
  }
  return PictureFormat::Bmp;
}

// Which decoded pictures the reduce button takes: JPEG and truecolour PNG pictures (with or
// without alpha). GIF pictures have 256 colours or fewer already: shown, never reduced.
bool Reducible(const PictureSource& source) {
  switch (source.format) {
    case PictureFormat::Jpeg: return true;
    case PictureFormat::Png: return source.pngColorType == 2 || source.pngColorType == 6;
    case PictureFormat::Gif:
    case PictureFormat::Bmp: break;
  }
  return false;
}

// A decoded picture replaces the current one; a failed file changes nothing.
DropOutcome LoadDecoded(PictureState& state, const std::string& path, InputReader reader,
                        Diagnostics& diagnostics) {
  DropOutcome outcome;
  outcome.reader = reader;
  LoadedPicture loaded;
  const LoadStatus status = LoadPictureFile(path, FormatOf(reader), &loaded, diagnostics);
  if (reader == InputReader::Png) outcome.pngColorType = loaded.source.pngColorType;
  if (status != LoadStatus::Ok) {
    outcome.reduceUnchanged = true;
    return outcome;
  }
  try {
    InstallDecodedPicture(loaded.picture, state);
  } catch (const std::bad_alloc&) {
    diagnostics.Err("%s: not enough memory for the picture\n", path.c_str());
    outcome.reduceUnchanged = true;
    return outcome;
  }
  outcome.fileOpened = true;
  outcome.loaded = true;
  outcome.reduceEnabled = Reducible(loaded.source);
  return outcome;
}

}  // namespace

DropOutcome LoadDroppedFile(PictureState& state, const std::string& path,
                            Diagnostics& diagnostics) {
  const InputReader reader = ChooseInputReader(path);
  if (reader == InputReader::Bmp) return LoadBmp(state, path, diagnostics);
  return LoadDecoded(state, path, reader, diagnostics);
}

}  // namespace genshoku
