#pragma once
// Helpers shared by the GIF tests: an independent codec (giflib) to check against, a maker
// of hand-built files whose every byte the test chooses, and a deterministic pseudo-random
// source for pictures.

#include <gif_lib.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace genshoku::giftest {

using Bytes = std::vector<uint8_t>;

// ---------------------------------------------------------------------------------------
// Pseudo-random numbers: the same sequence everywhere, so failures repeat.
class Random {
 public:
  explicit Random(uint32_t seed) : state_(seed * 2654435761u + 1) {}
  uint32_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }
  uint32_t Below(uint32_t limit) { return Next() % limit; }

 private:
  uint32_t state_;
};

// A picture of runs and noise: long enough runs to make LZW strings, enough noise to fill
// the table.
inline Bytes MakeIndices(size_t count, int colors, uint32_t seed) {
  Random random(seed);
  Bytes indices(count);
  size_t i = 0;
  while (i < count) {
    const uint8_t color = static_cast<uint8_t>(random.Below(static_cast<uint32_t>(colors)));
    size_t run = random.Below(4) == 0 ? 1 + random.Below(40) : 1;
    for (; run > 0 && i < count; --run) indices[i++] = color;
  }
  return indices;
}

inline Bytes MakePalette(int entries, uint32_t seed) {
  Random random(seed);
  Bytes palette(static_cast<size_t>(entries) * 3);
  for (uint8_t& byte : palette) byte = static_cast<uint8_t>(random.Next());
  return palette;
}

// ---------------------------------------------------------------------------------------
// Reading with giflib.
struct OracleImage {
  int left = 0, top = 0, width = 0, height = 0;
  bool interlaced = false;
  Bytes raster;        // width x height indices, rows in display order
  Bytes localPalette;  // empty without a local table
  GraphicsControlBlock control{};
  bool hasControl = false;
};

struct OracleFile {
  bool ok = false;
  int width = 0, height = 0;
  Bytes palette;  // global table, 3 bytes per entry
  std::vector<OracleImage> images;
  int loopCount = -1;  // -1 without a NETSCAPE extension
};

inline Bytes PaletteOf(const ColorMapObject* map) {
  Bytes palette;
  if (map == nullptr) return palette;
  for (int i = 0; i < map->ColorCount; ++i) {
    palette.push_back(map->Colors[i].Red);
    palette.push_back(map->Colors[i].Green);
    palette.push_back(map->Colors[i].Blue);
  }
  return palette;
}

inline int LoopCountIn(const ExtensionBlock* blocks, int count) {
  for (int i = 0; i + 1 < count; ++i) {
    if (blocks[i].Function == APPLICATION_EXT_FUNC_CODE && blocks[i].ByteCount == 11 &&
        std::memcmp(blocks[i].Bytes, "NETSCAPE2.0", 11) == 0 && blocks[i + 1].ByteCount >= 3) {
      return blocks[i + 1].Bytes[1] | blocks[i + 1].Bytes[2] << 8;
    }
  }
  return -1;
}

inline OracleFile DecodeWithGiflib(const Bytes& bytes) {
  struct Cursor {
    const Bytes* bytes;
    size_t position;
  } cursor{&bytes, 0};
  auto read = [](GifFileType* gif, GifByteType* target, int count) -> int {
    auto* c = static_cast<Cursor*>(gif->UserData);
    const size_t left = c->bytes->size() - c->position;
    const size_t take = static_cast<size_t>(count) < left ? static_cast<size_t>(count) : left;
    std::memcpy(target, c->bytes->data() + c->position, take);
    c->position += take;
    return static_cast<int>(take);
  };
  OracleFile result;
  int error = 0;
  GifFileType* gif = DGifOpen(&cursor, read, &error);
  if (gif == nullptr) return result;
  if (DGifSlurp(gif) == GIF_OK) {
    result.ok = true;
    result.width = gif->SWidth;
    result.height = gif->SHeight;
    result.palette = PaletteOf(gif->SColorMap);
    for (int i = 0; i < gif->ImageCount; ++i) {
      const SavedImage& saved = gif->SavedImages[i];
      OracleImage image;
      image.left = saved.ImageDesc.Left;
      image.top = saved.ImageDesc.Top;
      image.width = saved.ImageDesc.Width;
      image.height = saved.ImageDesc.Height;
      image.interlaced = saved.ImageDesc.Interlace;
      image.raster.assign(saved.RasterBits,
                          saved.RasterBits + static_cast<size_t>(image.width) * image.height);
      image.localPalette = PaletteOf(saved.ImageDesc.ColorMap);
      image.hasControl = DGifSavedExtensionToGCB(gif, i, &image.control) == GIF_OK &&
                         saved.ExtensionBlockCount > 0;
      if (result.loopCount < 0) {
        result.loopCount = LoopCountIn(saved.ExtensionBlocks, saved.ExtensionBlockCount);
      }
      result.images.push_back(std::move(image));
    }
    if (result.loopCount < 0) {
      result.loopCount = LoopCountIn(gif->ExtensionBlocks, gif->ExtensionBlockCount);
    }
  }
  DGifCloseFile(gif, &error);
  return result;
}

// ---------------------------------------------------------------------------------------
// Writing with giflib.
struct OracleFrame {
  int left = 0, top = 0, width = 0, height = 0;
  bool interlaced = false;
  Bytes indices;       // width x height, rows in display order
  Bytes localPalette;  // empty: no local table
  int disposal = -1;   // -1: no graphic control extension
  int transparent = NO_TRANSPARENT_COLOR;
  int delay = 0;
};

struct OracleScreen {
  int width = 0, height = 0;
  Bytes palette;  // a power-of-two number of entries
  int background = 0;
  int loopCount = -1;  // -1: no NETSCAPE extension
  std::string comment;  // written before the first frame when not empty
};

inline ColorMapObject* MakeMap(const Bytes& palette) {
  std::vector<GifColorType> colors(palette.size() / 3);
  for (size_t i = 0; i < colors.size(); ++i) {
    colors[i] = {palette[3 * i], palette[3 * i + 1], palette[3 * i + 2]};
  }
  return GifMakeMapObject(static_cast<int>(colors.size()), colors.data());
}

inline Bytes EncodeWithGiflib(const OracleScreen& screen, const std::vector<OracleFrame>& frames) {
  Bytes out;
  auto write = [](GifFileType* gif, const GifByteType* data, int count) -> int {
    auto* target = static_cast<Bytes*>(gif->UserData);
    target->insert(target->end(), data, data + count);
    return count;
  };
  int error = 0;
  GifFileType* gif = EGifOpen(&out, write, &error);
  if (gif == nullptr) return {};
  EGifSetGifVersion(gif, true);
  ColorMapObject* global = MakeMap(screen.palette);
  bool good = EGifPutScreenDesc(gif, screen.width, screen.height, 8, screen.background, global) ==
              GIF_OK;
  GifFreeMapObject(global);
  if (screen.loopCount >= 0) {
    const uint8_t loop[3] = {1, static_cast<uint8_t>(screen.loopCount & 0xFF),
                             static_cast<uint8_t>(screen.loopCount >> 8)};
    good = good && EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) == GIF_OK &&
           EGifPutExtensionBlock(gif, 11, "NETSCAPE2.0") == GIF_OK &&
           EGifPutExtensionBlock(gif, 3, loop) == GIF_OK &&
           EGifPutExtensionTrailer(gif) == GIF_OK;
  }
  if (!screen.comment.empty()) good = good && EGifPutComment(gif, screen.comment.c_str()) == GIF_OK;
  for (const OracleFrame& frame : frames) {
    if (frame.disposal >= 0) {
      GraphicsControlBlock control{};
      control.DisposalMode = frame.disposal;
      control.DelayTime = frame.delay;
      control.TransparentColor = frame.transparent;
      GifByteType extension[4];
      EGifGCBToExtension(&control, extension);
      good = good && EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, extension) == GIF_OK;
    }
    // giflib drops its copy of the previous image's local table without releasing it.
    GifFreeMapObject(gif->Image.ColorMap);
    gif->Image.ColorMap = nullptr;
    ColorMapObject* local = frame.localPalette.empty() ? nullptr : MakeMap(frame.localPalette);
    good = good && EGifPutImageDesc(gif, frame.left, frame.top, frame.width, frame.height,
                                    frame.interlaced, local) == GIF_OK;
    GifFreeMapObject(local);
    std::vector<int> rows;
    if (frame.interlaced) {
      for (int start : {0, 4, 2, 1}) {
        const int step = start == 0 ? 8 : start == 4 ? 8 : start == 2 ? 4 : 2;
        for (int row = start; row < frame.height; row += step) rows.push_back(row);
      }
    } else {
      for (int row = 0; row < frame.height; ++row) rows.push_back(row);
    }
    for (int row : rows) {
      Bytes line(frame.indices.begin() + static_cast<ptrdiff_t>(row) * frame.width,
                 frame.indices.begin() + static_cast<ptrdiff_t>(row + 1) * frame.width);
      good = good && EGifPutLine(gif, line.data(), frame.width) == GIF_OK;
    }
  }
  // Nor does its close.
  GifFreeMapObject(gif->Image.ColorMap);
  gif->Image.ColorMap = nullptr;
  if (EGifCloseFile(gif, &error) != GIF_OK) good = false;
  return good ? out : Bytes{};
}

// The codes of one image's data (framed in sub-blocks, starting after the minimum code
// size byte), read with the usual width rule, each with the width it was read at.
struct TracedCode {
  int code;
  int width;
};
inline std::vector<TracedCode> TraceCodes(const Bytes& framed, int minimumCodeSize) {
  Bytes data;
  for (size_t at = 0; at < framed.size() && framed[at] != 0; at += framed[at] + 1u) {
    data.insert(data.end(), framed.begin() + static_cast<ptrdiff_t>(at) + 1,
                framed.begin() + static_cast<ptrdiff_t>(at) + 1 + framed[at]);
  }
  const int clear = 1 << minimumCodeSize;
  std::vector<TracedCode> codes;
  int width = minimumCodeSize + 1, next = clear + 2;
  bool first = true;
  for (size_t bit = 0; bit + static_cast<size_t>(width) <= data.size() * 8;) {
    int code = 0;
    for (int i = 0; i < width; ++i, ++bit) code |= ((data[bit / 8] >> (bit % 8)) & 1) << i;
    codes.push_back({code, width});
    if (code == clear + 1) break;
    if (code == clear) {
      width = minimumCodeSize + 1, next = clear + 2, first = true;
      continue;
    }
    if (!first && next < 4096 && ++next == (1 << width) && width < 12) ++width;
    first = false;
  }
  return codes;
}

// ---------------------------------------------------------------------------------------
// Hand-built files.

// LZW codes as an encoder following the usual width rule would send them: widths start at
// minimum code size + 1 and grow when the next table entry reaches the next power of two.
class CodeStream {
 public:
  explicit CodeStream(int minimumCodeSize)
      : minimumCodeSize_(minimumCodeSize), clear_(1 << minimumCodeSize) {
    Restart();
  }
  int clear() const { return clear_; }
  int stop() const { return clear_ + 1; }
  int width() const { return width_; }

  CodeStream& Clear() {
    Put(clear_);
    Restart();
    return *this;
  }
  CodeStream& Data(int code) {
    Put(code);
    if (!first_ && next_ < 4096) {
      ++next_;
      if (next_ == (1 << width_) && width_ < 12) ++width_;
    }
    first_ = false;
    return *this;
  }
  CodeStream& Stop() {
    Put(stop());
    return *this;
  }
  // A code at an explicit width, outside the table's bookkeeping.
  CodeStream& Raw(int code, int width) {
    for (int bit = 0; bit < width; ++bit) bits_.push_back(((code >> bit) & 1) != 0);
    return *this;
  }

  // The packed bytes, without sub-block framing.
  Bytes Packed() const {
    Bytes bytes((bits_.size() + 7) / 8, 0);
    for (size_t i = 0; i < bits_.size(); ++i) {
      if (bits_[i]) bytes[i / 8] |= static_cast<uint8_t>(1u << (i % 8));
    }
    return bytes;
  }

 private:
  void Restart() {
    width_ = minimumCodeSize_ + 1;
    next_ = clear_ + 2;
    first_ = true;
  }
  void Put(int code) { Raw(code, width_); }

  int minimumCodeSize_;
  int clear_;
  int width_ = 0;
  int next_ = 0;
  bool first_ = true;
  std::vector<bool> bits_;
};

// Sub-block framing: runs of at most `chunk` bytes, each after its length, then a 0.
inline Bytes SubBlocks(const Bytes& data, size_t chunk = 255, bool terminate = true) {
  Bytes out;
  for (size_t at = 0; at < data.size(); at += chunk) {
    const size_t length = std::min(chunk, data.size() - at);
    out.push_back(static_cast<uint8_t>(length));
    out.insert(out.end(), data.begin() + static_cast<ptrdiff_t>(at),
               data.begin() + static_cast<ptrdiff_t>(at + length));
  }
  if (terminate) out.push_back(0);
  return out;
}

class FileBuilder {
 public:
  // Header "GIF89a" and a screen with a global table of 2^(sizeBits+1) entries.
  FileBuilder(int width, int height, const Bytes& palette, int sizeBits, int background = 0) {
    Append({'G', 'I', 'F', '8', '9', 'a'});
    Le16(width);
    Le16(height);
    Append({static_cast<uint8_t>(0x80 | 0x70 | sizeBits), static_cast<uint8_t>(background), 0});
    Bytes table(size_t(3) << (sizeBits + 1), 0);
    std::copy(palette.begin(), palette.begin() + std::min(palette.size(), table.size()),
              table.begin());
    Append(table);
  }

  FileBuilder& Control(int disposal, bool transparent, int transparentIndex, int delay = 0) {
    Append({0x21, 0xF9, 4, static_cast<uint8_t>(disposal << 2 | (transparent ? 1 : 0))});
    Le16(delay);
    Append({static_cast<uint8_t>(transparentIndex), 0});
    return *this;
  }

  // An image descriptor (optionally with a local table) and its data as given.
  FileBuilder& Image(int left, int top, int width, int height, bool interlaced,
                     int minimumCodeSize, const Bytes& framedData, const Bytes& localPalette = {},
                     int localSizeBits = 0) {
    Append({0x2C});
    Le16(left);
    Le16(top);
    Le16(width);
    Le16(height);
    uint8_t packed = interlaced ? 0x40 : 0;
    if (!localPalette.empty()) packed |= static_cast<uint8_t>(0x80 | localSizeBits);
    Append({packed});
    if (!localPalette.empty()) {
      Bytes table(size_t(3) << (localSizeBits + 1), 0);
      std::copy(localPalette.begin(),
                localPalette.begin() + std::min(localPalette.size(), table.size()), table.begin());
      Append(table);
    }
    Append({static_cast<uint8_t>(minimumCodeSize)});
    Append(framedData);
    return *this;
  }
  FileBuilder& Image(int left, int top, int width, int height, bool interlaced,
                     const CodeStream& codes, int minimumCodeSize) {
    return Image(left, top, width, height, interlaced, minimumCodeSize, SubBlocks(codes.Packed()));
  }

  FileBuilder& Append(const Bytes& bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
  }
  FileBuilder& Le16(int value) {
    return Append({static_cast<uint8_t>(value & 0xFF), static_cast<uint8_t>((value >> 8) & 0xFF)});
  }
  FileBuilder& Trailer() { return Append({0x3B}); }

  const Bytes& bytes() const { return bytes_; }

 private:
  Bytes bytes_;
};

}  // namespace genshoku::giftest
