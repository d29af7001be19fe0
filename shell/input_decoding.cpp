#include "shell/input_decoding.h"

#include "shell/bmp_file.h"
#include "shell/gif_file_reader.h"
#include "shell/jpeg_reader.h"
#include "shell/png_reader.h"

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

// A decoded picture replaces the current one; a failed file changes nothing.
DropOutcome Install(std::optional<DecodedPicture> picture, InputReader reader, bool reducible,
                    PictureState& state) {
  DropOutcome outcome;
  outcome.reader = reader;
  outcome.fileOpened = picture.has_value();
  if (!picture) {
    outcome.reduceUnchanged = true;
    return outcome;
  }
  std::move(*picture).InstallInto(state);
  outcome.loaded = true;
  outcome.reduceEnabled = reducible;
  return outcome;
}

}  // namespace

DropOutcome LoadDroppedFile(PictureState& state, const std::string& path,
                            Diagnostics& diagnostics) {
  switch (ChooseInputReader(path)) {
    case InputReader::Jpeg:
      return Install(ReadJpegFile(path, diagnostics), InputReader::Jpeg, true, state);
    case InputReader::Png: {
      PngInput input = ReadPngFile(path, diagnostics);
      // Only truecolour pictures (with or without alpha) are reduced.
      const bool truecolour = input.colorType == 2 || input.colorType == 6;
      DropOutcome outcome = Install(std::move(input.picture), InputReader::Png, truecolour, state);
      outcome.pngColorType = input.colorType;
      return outcome;
    }
    case InputReader::Gif:
      // GIF pictures have 256 colours or fewer already: shown, never reduced.
      return Install(ReadGifFile(path, diagnostics), InputReader::Gif, false, state);
    case InputReader::Bmp: break;
  }
  return LoadBmp(state, path, diagnostics);
}

}  // namespace genshoku
