#pragma once
// Helpers shared by the GIF tests: giflib (an independent codec) to check against in both
// directions, LZW code streams traced and made by hand, files whose every byte the test
// chooses, and a deterministic pseudo-random source for pictures.

#include <gif_lib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace genshoku::giftest {

using Bytes = std::vector<uint8_t>;

// xorshift32: the same sequence everywhere, so failures repeat.
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

// Runs and noise: long enough runs to make LZW strings, enough noise to fill the table.
inline Bytes MakeIndices(size_t count, int colors, uint32_t seed) {
  Random random(seed);
  Bytes indices;
  while (indices.size() < count) {
    const auto color = static_cast<uint8_t>(random.Below(static_cast<uint32_t>(colors)));
    const size_t run = random.Below(4) == 0 ? 1 + random.Below(40) : 1;
    indices.insert(indices.end(), std::min(run, count - indices.size()), color);
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
// giflib. An image and a file as giflib reads or writes them; the fields marked "reading"
// or "writing" serve that direction only.

struct OracleImage {
  int left = 0, top = 0, width = 0, height = 0;
  Bytes raster;        // width x height indices, rows in display order
  Bytes localPalette;  // writing: empty for none
  int disposal = -1;   // writing: -1 for no graphic control extension
  int transparent = NO_TRANSPARENT_COLOR;
  int delay = 0;
  bool interlaced = false;
  GraphicsControlBlock control{};  // reading
  bool hasControl = false;         // reading
};

inline OracleImage ImageAt(int left, int top, int width, int height, Bytes raster = {}) {
  OracleImage image;
  image.left = left, image.top = top, image.width = width, image.height = height;
  image.raster = std::move(raster);
  return image;
}

struct OracleFile {
  bool ok = false;  // reading
  int width = 0, height = 0;
  Bytes palette;  // the global table; a power-of-two number of entries when writing
  int background = 0;
  int loopCount = -1;   // -1 without a NETSCAPE extension
  std::string comment;  // writing: before the first image when not empty
  std::vector<OracleImage> images;
};

inline Bytes PaletteOf(const ColorMapObject* map) {
  Bytes palette;
  for (int i = 0; map != nullptr && i < map->ColorCount; ++i) {
    palette.insert(palette.end(), {map->Colors[i].Red, map->Colors[i].Green, map->Colors[i].Blue});
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
  std::pair<const Bytes*, size_t> cursor{&bytes, 0};
  auto read = [](GifFileType* gif, GifByteType* target, int count) -> int {
    auto* c = static_cast<std::pair<const Bytes*, size_t>*>(gif->UserData);
    const size_t take = std::min(static_cast<size_t>(count), c->first->size() - c->second);
    std::memcpy(target, c->first->data() + c->second, take);
    c->second += take;
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
    result.loopCount = LoopCountIn(gif->ExtensionBlocks, gif->ExtensionBlockCount);
    for (int i = 0; i < gif->ImageCount; ++i) {
      const SavedImage& saved = gif->SavedImages[i];
      OracleImage image;
      image.left = saved.ImageDesc.Left;
      image.top = saved.ImageDesc.Top;
      image.width = saved.ImageDesc.Width;
      image.height = saved.ImageDesc.Height;
      image.raster.assign(saved.RasterBits,
                          saved.RasterBits + static_cast<size_t>(image.width) * image.height);
      image.hasControl = saved.ExtensionBlockCount > 0 &&
                         DGifSavedExtensionToGCB(gif, i, &image.control) == GIF_OK;
      if (result.loopCount < 0)
        result.loopCount = LoopCountIn(saved.ExtensionBlocks, saved.ExtensionBlockCount);
      result.images.push_back(std::move(image));
    }
  }
  DGifCloseFile(gif, &error);
  return result;
}

inline ColorMapObject* MakeMap(const Bytes& palette) {
  std::vector<GifColorType> colors(palette.size() / 3);
  for (size_t i = 0; i < colors.size(); ++i)
    colors[i] = {palette[3 * i], palette[3 * i + 1], palette[3 * i + 2]};
  return GifMakeMapObject(static_cast<int>(colors.size()), colors.data());
}

// An empty result when giflib refuses.
inline Bytes EncodeWithGiflib(const OracleFile& file) {
  Bytes out;
  auto write = [](GifFileType* gif, const GifByteType* data, int count) -> int {
    static_cast<Bytes*>(gif->UserData)
        ->insert(static_cast<Bytes*>(gif->UserData)->end(), data, data + count);
    return count;
  };
  int error = 0;
  GifFileType* gif = EGifOpen(&out, write, &error);
  if (gif == nullptr) return {};
  EGifSetGifVersion(gif, true);
  ColorMapObject* global = MakeMap(file.palette);
  bool good = EGifPutScreenDesc(gif, file.width, file.height, 8, file.background, global) == GIF_OK;
  GifFreeMapObject(global);
  if (file.loopCount >= 0) {
    const uint8_t loop[3] = {1, static_cast<uint8_t>(file.loopCount & 0xFF),
                             static_cast<uint8_t>(file.loopCount >> 8)};
    good = good && EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) == GIF_OK &&
           EGifPutExtensionBlock(gif, 11, "NETSCAPE2.0") == GIF_OK &&
           EGifPutExtensionBlock(gif, 3, loop) == GIF_OK && EGifPutExtensionTrailer(gif) == GIF_OK;
  }
  if (!file.comment.empty()) good = good && EGifPutComment(gif, file.comment.c_str()) == GIF_OK;
  for (const OracleImage& image : file.images) {
    if (image.disposal >= 0) {
      GraphicsControlBlock control{};
      control.DisposalMode = image.disposal;
      control.DelayTime = image.delay;
      control.TransparentColor = image.transparent;
      GifByteType extension[4];
      EGifGCBToExtension(&control, extension);
      good = good && EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, extension) == GIF_OK;
    }
    // giflib drops its copy of the previous image's local table without releasing it.
    GifFreeMapObject(gif->Image.ColorMap);
    gif->Image.ColorMap = nullptr;
    ColorMapObject* local = image.localPalette.empty() ? nullptr : MakeMap(image.localPalette);
    good = good && EGifPutImageDesc(gif, image.left, image.top, image.width, image.height,
                                    image.interlaced, local) == GIF_OK;
    GifFreeMapObject(local);
    std::vector<int> rows;
    for (const auto& [start, step] :
         image.interlaced ? std::vector<std::pair<int, int>>{{0, 8}, {4, 8}, {2, 4}, {1, 2}}
                          : std::vector<std::pair<int, int>>{{0, 1}}) {
      for (int row = start; row < image.height; row += step) rows.push_back(row);
    }
    for (int row : rows) {
      Bytes line(image.raster.begin() + static_cast<ptrdiff_t>(row) * image.width,
                 image.raster.begin() + static_cast<ptrdiff_t>(row + 1) * image.width);
      good = good && EGifPutLine(gif, line.data(), image.width) == GIF_OK;
    }
  }
  GifFreeMapObject(gif->Image.ColorMap);  // nor does its close
  gif->Image.ColorMap = nullptr;
  if (EGifCloseFile(gif, &error) != GIF_OK) good = false;
  return good ? out : Bytes{};
}

// ---------------------------------------------------------------------------------------
// LZW codes under the usual width rule: widths start at minimum code size + 1 and grow
// when the next table entry reaches the next power of two; a clear code starts over.

class CodeWidth {
 public:
  explicit CodeWidth(int minimumCodeSize) : minimumCodeSize_(minimumCodeSize) { Restart(); }
  int clear() const { return 1 << minimumCodeSize_; }
  int width() const { return width_; }
  void Restart() {
    width_ = minimumCodeSize_ + 1;
    next_ = clear() + 2;
    first_ = true;
  }
  // After a code that is neither clear nor stop: the entry it makes may widen the codes.
  void Count() {
    if (!first_ && next_ < 4096 && ++next_ == (1 << width_) && width_ < 12) ++width_;
    first_ = false;
  }

 private:
  int minimumCodeSize_;
  int width_ = 0;
  int next_ = 0;
  bool first_ = true;
};

struct TracedCode {
  int code;
  int width;
};

// The codes of one image's data (in sub-blocks, after the minimum code size byte), each
// with the width it was read at, up to the stop code.
inline std::vector<TracedCode> TraceCodes(const Bytes& framed, int minimumCodeSize) {
  Bytes data;
  for (size_t at = 0; at < framed.size() && framed[at] != 0; at += framed[at] + 1u) {
    data.insert(data.end(), framed.begin() + static_cast<ptrdiff_t>(at) + 1,
                framed.begin() + static_cast<ptrdiff_t>(at) + 1 + framed[at]);
  }
  CodeWidth rule(minimumCodeSize);
  std::vector<TracedCode> codes;
  for (size_t bit = 0; bit + static_cast<size_t>(rule.width()) <= data.size() * 8;) {
    int code = 0;
    const int width = rule.width();
    for (int i = 0; i < width; ++i, ++bit) code |= ((data[bit / 8] >> (bit % 8)) & 1) << i;
    codes.push_back({code, width});
    if (code == rule.clear() + 1) break;
    if (code == rule.clear()) {
      rule.Restart();
    } else {
      rule.Count();
    }
  }
  return codes;
}

// Makes codes as an encoder following the width rule would send them.
class CodeStream {
 public:
  explicit CodeStream(int minimumCodeSize) : rule_(minimumCodeSize) {}
  int width() const { return rule_.width(); }
  CodeStream& Clear() {
    Put(rule_.clear(), rule_.width());
    rule_.Restart();
    return *this;
  }
  CodeStream& Data(int code) {
    Put(code, rule_.width());
    rule_.Count();
    return *this;
  }
  CodeStream& Stop() {
    Put(rule_.clear() + 1, rule_.width());
    return *this;
  }
  // In sub-blocks of at most `chunk` bytes, each after its length, then a 0.
  Bytes Framed(size_t chunk = 255) const;

 private:
  void Put(int code, int width) {
    for (int bit = 0; bit < width; ++bit) bits_.push_back(((code >> bit) & 1) != 0);
  }
  CodeWidth rule_;
  std::vector<bool> bits_;
};

inline Bytes SubBlocks(const Bytes& data, size_t chunk = 255) {
  Bytes out;
  for (size_t at = 0; at < data.size(); at += chunk) {
    const size_t length = std::min(chunk, data.size() - at);
    out.push_back(static_cast<uint8_t>(length));
    out.insert(out.end(), data.begin() + static_cast<ptrdiff_t>(at),
               data.begin() + static_cast<ptrdiff_t>(at + length));
  }
  out.push_back(0);
  return out;
}

inline Bytes CodeStream::Framed(size_t chunk) const {
  Bytes packed((bits_.size() + 7) / 8, 0);
  for (size_t i = 0; i < bits_.size(); ++i)
    packed[i / 8] |= static_cast<uint8_t>(bits_[i] << (i % 8));
  return SubBlocks(packed, chunk);
}

// ---------------------------------------------------------------------------------------
// Hand-built files.

class FileBuilder {
 public:
  // Header "GIF89a" and a screen with a global table of 2^(sizeBits+1) entries.
  FileBuilder(int width, int height, const Bytes& palette, int sizeBits, int background = 0) {
    Append({'G', 'I', 'F', '8', '9', 'a'}).Le16(width).Le16(height);
    Append({static_cast<uint8_t>(0xF0 | sizeBits), static_cast<uint8_t>(background), 0});
    Bytes table(size_t(3) << (sizeBits + 1), 0);
    std::copy_n(palette.begin(), std::min(palette.size(), table.size()), table.begin());
    Append(table);
  }
  FileBuilder& Control(int disposal, bool transparent, int transparentIndex, int delay = 0) {
    Append({0x21, 0xF9, 4, static_cast<uint8_t>(disposal << 2 | (transparent ? 1 : 0))})
        .Le16(delay);
    return Append({static_cast<uint8_t>(transparentIndex), 0});
  }
  // An image descriptor without a local table and its data as given.
  FileBuilder& Image(int left, int top, int width, int height, bool interlaced, int minimumCodeSize,
                     const Bytes& framedData) {
    Append({0x2C}).Le16(left).Le16(top).Le16(width).Le16(height);
    Append({static_cast<uint8_t>(interlaced ? 0x40 : 0), static_cast<uint8_t>(minimumCodeSize)});
    return Append(framedData);
  }
  FileBuilder& Image(int left, int top, int width, int height, bool interlaced,
                     const CodeStream& codes, int minimumCodeSize) {
    return Image(left, top, width, height, interlaced, minimumCodeSize, codes.Framed());
  }
  FileBuilder& Append(const Bytes& bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
  }
  FileBuilder& Le16(int value) {
    return Append({static_cast<uint8_t>(value & 0xFF), static_cast<uint8_t>(value >> 8)});
  }
  FileBuilder& Trailer() { return Append({0x3B}); }
  const Bytes& bytes() const { return bytes_; }

 private:
  Bytes bytes_;
};

}  // namespace genshoku::giftest
