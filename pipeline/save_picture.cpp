#include "pipeline/save_picture.h"

#include <algorithm>
#include <memory>
#include <new>

#include "codecs/gif/gif_writer.h"
#include "codecs/png/compact_png_writer.h"
#include "codecs/png/png_encoder.h"
#include "common/atomic_file.h"
#include "formats/bmp_writer.h"

namespace genshoku {

namespace {

bool CanBeSaved(const IndexedPicture& picture, const SaveSettings& settings,
                const std::string& name, Diagnostics& diagnostics) {
  if (picture.width <= 0 || picture.height <= 0 || picture.indices.size() < picture.PixelCount() ||
      picture.palette.empty() || picture.palette.size() > 256) {
    diagnostics.Err("%s: there is no reduced picture to save\n", name.c_str());
    return false;
  }
  if (settings.format == PictureFormat::Jpeg) {
    diagnostics.Err("%s: reduced pictures are saved as BMP, PNG or GIF, not JPEG\n", name.c_str());
    return false;
  }
  if (settings.format == PictureFormat::Gif &&
      (picture.width > GifWriter::kMaxSide || picture.height > GifWriter::kMaxSide)) {
    diagnostics.Err("%s: GIF files cannot hold pictures wider or higher than 65535 pixels\n",
                    name.c_str());
    return false;
  }
  return true;
}

// The palette as the writers take it: red, green, blue per entry, `entries` entries (the
// ones past the picture's palette black).
std::vector<uint8_t> PaletteTriples(const IndexedPicture& picture, size_t entries) {
  std::vector<uint8_t> triples(3 * entries, 0);
  for (size_t i = 0; i < std::min(entries, picture.palette.size()); ++i) {
    triples[3 * i] = picture.palette[i].red;
    triples[3 * i + 1] = picture.palette[i].green;
    triples[3 * i + 2] = picture.palette[i].blue;
  }
  return triples;
}

std::span<const uint8_t> Indices(const IndexedPicture& picture) {
  return {picture.indices.data(), picture.PixelCount()};
}

// Bits per entry of the GIF colour table: the smallest table that holds the palette.
int GifTableBits(const IndexedPicture& picture) {
  int bits = 1;
  while ((size_t{1} << bits) < picture.palette.size()) ++bits;
  return bits;
}

// The window's GIF file loops endlessly through its one frame, shown for a tenth of a
// second; a still GIF has neither the looping extension nor a frame delay.
int GifLoopCount(const SaveSettings& settings) { return settings.stillGif ? -1 : 0; }

// A GIF shows a pixel either fully or not at all: the first entry less than half opaque is
// its transparent index, and the pixels of every such entry take it. -1 when every entry is
// at least half opaque.
int GifTransparentIndex(const IndexedPicture& picture) {
  for (size_t e = 0; e < picture.palette.size(); ++e) {
    if (picture.palette[e].alpha < 128) return static_cast<int>(e);
  }
  return -1;
}

bool WriteGif(std::unique_ptr<GifWriter> writer, const IndexedPicture& picture,
              const SaveSettings& settings) {
  if (!writer) return false;
  std::copy_n(picture.indices.begin(), picture.PixelCount(), writer->currentFrame());
  if (const int transparent = GifTransparentIndex(picture); transparent >= 0) {
    writer->SetTransparentIndex(transparent);
    uint8_t* frame = writer->currentFrame();
    for (size_t i = 0; i < picture.PixelCount(); ++i) {
      if (picture.palette[frame[i]].alpha < 128) frame[i] = static_cast<uint8_t>(transparent);
    }
  }
  const bool written = writer->WriteFrame(settings.stillGif ? 0 : 10);
  return writer->Finish() && written;
}

bool EncodeCompact(const IndexedPicture& picture, int threads, const std::string& name,
                   std::vector<uint8_t>& bytes, Diagnostics& diagnostics) {
  const png::CompactPngImage image{picture.width, picture.height, Indices(picture),
                                   picture.palette};
  png::CompactPngOptions options;
  options.threads = threads;
  const png::CompactPngStatus status = png::EncodeCompactPng(image, options, bytes);
  if (status == png::CompactPngStatus::kOutOfMemory) throw std::bad_alloc();
  if (status != png::CompactPngStatus::kOk) {
    diagnostics.Err("%s: %s\n", name.c_str(), png::CompactPngStatusText(status));
    return false;
  }
  return true;
}

// The window's classic PNG stream holds 256 opaque entries at 8 bits; a palette of another
// size or with transparency is written as the compact stream, which holds just the entries
// used at the smallest depth, with their alpha.
bool UsesCompactPng(const IndexedPicture& picture, const SaveSettings& settings) {
  return settings.compactPng || picture.palette.size() != 256 || picture.HasTransparency();
}

// A BMP file holds no alpha: the entries' colours are written, and one line says so.
void WarnOfLostTransparency(const IndexedPicture& picture, const SaveSettings& settings,
                            const std::string& name, Diagnostics& diagnostics) {
  if (settings.format == PictureFormat::Bmp && picture.HasTransparency()) {
    diagnostics.Err(
        "%s: warning: BMP files cannot hold transparency; the colours are written "
        "without it\n",
        name.c_str());
  }
}

std::vector<uint8_t> EncodeBmpFile(const IndexedPicture& picture, const SaveSettings& settings) {
  return EncodeBmp(picture, settings.smallestBmp ? SmallestBmpDepth(picture.palette.size()) : 8);
}

bool WriteBytes(const std::vector<uint8_t>& bytes, const std::string& path, ExistingTarget existing,
                Diagnostics& diagnostics, bool* targetExists) {
  AtomicFile file;
  if (!file.Open(path, existing) || !file.Write(bytes.data(), bytes.size()) || !file.Commit()) {
    diagnostics.Err("%s\n", file.error().c_str());
    if (targetExists != nullptr) *targetExists = file.targetExists();
    return false;
  }
  return true;
}

}  // namespace

bool SavePicture(const IndexedPicture& picture, const std::string& path,
                 const SaveSettings& settings, Diagnostics& diagnostics, bool* targetExists) {
  if (targetExists != nullptr) *targetExists = false;
  if (!CanBeSaved(picture, settings, path, diagnostics)) return false;
  if (settings.existing == ExistingTarget::Keep ||
      (settings.format == PictureFormat::Png && UsesCompactPng(picture, settings))) {
    const std::optional<std::vector<uint8_t>> bytes =
        EncodePicture(picture, settings, path, diagnostics);
    return bytes && WriteBytes(*bytes, path, settings.existing, diagnostics, targetExists);
  }
  switch (settings.format) {
    case PictureFormat::Png: {
      png::VxRawPngEncoder encoder(diagnostics);
      encoder.storeOnly = 0;
      return encoder.Encode(path, picture.width, picture.height, 8, 3, Indices(picture),
                            PaletteTriples(picture, 256)) == 1;
    }
    case PictureFormat::Gif: {
      const int bits = GifTableBits(picture);
      const std::vector<uint8_t> table = PaletteTriples(picture, size_t{1} << bits);
      return WriteGif(GifWriter::Create(path, picture.width, picture.height, table.data(), bits,
                                        GifLoopCount(settings), diagnostics),
                      picture, settings);
    }
    case PictureFormat::Bmp:
    case PictureFormat::Jpeg: break;
  }
  WarnOfLostTransparency(picture, settings, path, diagnostics);
  std::vector<uint8_t> bytes;
  try {
    bytes = EncodeBmpFile(picture, settings);
  } catch (const std::bad_alloc&) {
    diagnostics.Err("%s: not enough memory to write the file\n", path.c_str());
    return false;
  }
  return WriteBytes(bytes, path, settings.existing, diagnostics, targetExists);
}

bool SaveEncodedPicture(const std::vector<uint8_t>& bytes, const std::string& path,
                        ExistingTarget existing, Diagnostics& diagnostics, bool* targetExists) {
  if (targetExists != nullptr) *targetExists = false;
  return WriteBytes(bytes, path, existing, diagnostics, targetExists);
}

std::optional<std::vector<uint8_t>> EncodePicture(const IndexedPicture& picture,
                                                  const SaveSettings& settings,
                                                  const std::string& name,
                                                  Diagnostics& diagnostics) {
  if (!CanBeSaved(picture, settings, name, diagnostics)) return std::nullopt;
  std::vector<uint8_t> bytes;
  try {
    switch (settings.format) {
      case PictureFormat::Png: {
        if (UsesCompactPng(picture, settings)) {
          if (!EncodeCompact(picture, settings.threads, name, bytes, diagnostics)) {
            return std::nullopt;
          }
          return bytes;
        }
        png::VxRawPngEncoder encoder(diagnostics);
        encoder.storeOnly = 0;
        if (encoder.EncodeToMemory(bytes, picture.width, picture.height, 8, 3, Indices(picture),
                                   PaletteTriples(picture, 256)) != 1) {
          diagnostics.Err("%s: the PNG file could not be made\n", name.c_str());
          return std::nullopt;
        }
        return bytes;
      }
      case PictureFormat::Gif: {
        const int bits = GifTableBits(picture);
        const std::vector<uint8_t> table = PaletteTriples(picture, size_t{1} << bits);
        if (!WriteGif(GifWriter::Create(bytes, picture.width, picture.height, table.data(), bits,
                                        GifLoopCount(settings), diagnostics),
                      picture, settings)) {
          diagnostics.Err("%s: the GIF file could not be made\n", name.c_str());
          return std::nullopt;
        }
        return bytes;
      }
      case PictureFormat::Bmp:
      case PictureFormat::Jpeg: break;
    }
    WarnOfLostTransparency(picture, settings, name, diagnostics);
    return EncodeBmpFile(picture, settings);
  } catch (const std::bad_alloc&) {
    diagnostics.Err("%s: not enough memory to make the file\n", name.c_str());
    return std::nullopt;
  }
}

}  // namespace genshoku
