#include "shell/input_decoding.h"

#include <string_view>

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

// Passes every line on and notes whether the reader complained on standard error.
class ComplaintWatch final : public Diagnostics {
 public:
  explicit ComplaintWatch(Diagnostics& next) : next_(next) {}
  void Write(DiagnosticStream stream, std::string_view text) override {
    if (stream == DiagnosticStream::Err) complained_ = true;
    next_.Write(stream, text);
  }
  bool complained() const { return complained_; }

 private:
  Diagnostics& next_;
  bool complained_ = false;
};

// Whether a picture that was read came from a damaged file: the reader's own note, or,
// for JPEG files, libjpeg's warning, which is the reader's one line on standard error for a
// corrupt or truncated file (a clean file prints nothing).
bool Damaged(const LoadedPicture& loaded, bool readerComplained) {
  if (!loaded.damage.empty()) return true;
  return loaded.source.format == PictureFormat::Jpeg && readerComplained;
}

// A decoded picture replaces the current one; a failed file changes nothing.
DropOutcome LoadDecoded(PictureState& state, const std::string& path, InputReader reader,
                        Diagnostics& diagnostics) {
  DropOutcome outcome;
  outcome.reader = reader;
  LoadedPicture loaded;
  ComplaintWatch watch(diagnostics);
  const LoadStatus status = LoadPictureFile(path, InputReaderFormat(reader), &loaded, watch);
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
  outcome.damaged = Damaged(loaded, watch.complained());
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
