#include "shell/save_formats.h"

#include <vector>

#include "codecs/gif/gif_writer.h"
#include "codecs/png/png_encoder.h"
#include "shell/bmp_file.h"
#include "shell/file_names.h"

namespace genshoku {

namespace {

// 256 triples red, green, blue: the palette as the PNG and GIF writers take it.
std::vector<uint8_t> SavePalette(const PictureState& state) {
  std::vector<uint8_t> palette(256 * 3);
  for (int i = 0; i < 256; ++i) {
    palette[3 * i] = state.paletteRed[i];
    palette[3 * i + 1] = state.paletteGreen[i];
    palette[3 * i + 2] = state.paletteBlue[i];
  }
  return palette;
}

bool HasIndices(const PictureState& state, const std::string& savePath, Diagnostics& diagnostics) {
  const size_t needed =
      static_cast<size_t>(state.resultWidth) * static_cast<size_t>(state.resultHeight);
  if (state.resultWidth <= 0 || state.resultHeight <= 0 || state.indexPlane.size() < needed) {
    diagnostics.Err("%s: there is no reduced picture to save\n", savePath.c_str());
    return false;
  }
  return true;
}

bool SavePng(const PictureState& state, const std::string& savePath, Diagnostics& diagnostics) {
  if (!HasIndices(state, savePath, diagnostics)) return false;
  const std::vector<uint8_t> palette = SavePalette(state);
  png::VxRawPngEncoder encoder(diagnostics);
  encoder.storeOnly = 0;
  const size_t count = static_cast<size_t>(state.resultWidth) * state.resultHeight;
  // The index plane is already in the row order PNG wants: no copy.
  return encoder.Encode(savePath, state.resultWidth, state.resultHeight, 8, 3,
                        std::span<const uint8_t>(state.indexPlane.data(), count), palette) == 1;
}

bool SaveGif(const PictureState& state, const std::string& savePath, Diagnostics& diagnostics) {
  if (!HasIndices(state, savePath, diagnostics)) return false;
  if (state.resultWidth > GifWriter::kMaxSide || state.resultHeight > GifWriter::kMaxSide) {
    diagnostics.Err("%s: GIF files cannot hold pictures wider or higher than 65535 pixels\n",
                    savePath.c_str());
    return false;
  }
  const std::vector<uint8_t> palette = SavePalette(state);
  std::unique_ptr<GifWriter> writer = GifWriter::Create(
      savePath, state.resultWidth, state.resultHeight, palette.data(), 8, 0, diagnostics);
  if (!writer) return false;
  const size_t count = static_cast<size_t>(state.resultWidth) * state.resultHeight;
  std::copy(state.indexPlane.begin(), state.indexPlane.begin() + count, writer->currentFrame());
  const bool written = writer->WriteFrame(10);
  return writer->Finish() && written;
}

}  // namespace

bool SaveResult(const PictureState& state, const std::string& savePath,
                const std::string& fileTitle, Diagnostics& diagnostics) {
  switch (ChooseSaveWriter(fileTitle)) {
    case SaveWriter::Png: return SavePng(state, savePath, diagnostics);
    case SaveWriter::Gif: return SaveGif(state, savePath, diagnostics);
    case SaveWriter::Bmp: break;
  }
  return WriteBmp8(state, savePath, diagnostics);
}

}  // namespace genshoku
