#include "support_read_png.h"

#include <algorithm>
#include <cstdlib>
#include <random>

namespace genshoku::png::pngtest {

namespace {

int Predict(int filter, int left, int up, int upperLeft) {
  switch (filter) {
    case 1: return left;
    case 2: return up;
    case 3: return (left + up) / 2;
    case 4: {
      const int p = left + up - upperLeft;
      const int pa = std::abs(p - left), pb = std::abs(p - up), pc = std::abs(p - upperLeft);
      if (pa <= pb && pa <= pc) return left;
      return pb <= pc ? up : upperLeft;
    }
    default: return 0;
  }
}

// Appends filter byte and filtered line for each of the `rowCount` rows.
void FilterRows(const Bytes& rows, size_t rowBytes, uint32_t rowCount, size_t unit, int filter,
                Bytes& out) {
  for (uint32_t y = 0; y < rowCount; ++y) {
    const uint8_t* row = &rows[y * rowBytes];
    const uint8_t* above = y > 0 ? row - rowBytes : nullptr;
    const int type = filter >= 0 ? filter : static_cast<int>(y % 5);
    out.push_back(static_cast<uint8_t>(type));
    for (size_t i = 0; i < rowBytes; ++i) {
      const int left = i >= unit ? row[i - unit] : 0;
      const int up = above ? above[i] : 0;
      const int upperLeft = above && i >= unit ? above[i - unit] : 0;
      out.push_back(static_cast<uint8_t>(row[i] - Predict(type, left, up, upperLeft)));
    }
  }
}

// Copies the packed bits of pixel (sx, sy) of `from` to (dx, dy) of `to`.
void CopyPixel(const SourceImage& from, uint32_t sx, uint32_t sy, SourceImage& to, uint32_t dx,
               uint32_t dy) {
  const int bits = from.BitsPerPixel();
  if (bits >= 8) {
    const size_t bytes = bits / 8;
    std::copy_n(&from.rows[sy * from.RowBytes() + sx * bytes], bytes,
                &to.rows[dy * to.RowBytes() + dx * bytes]);
    return;
  }
  const size_t bit = size_t{dx} * bits;
  to.rows[dy * to.RowBytes() + bit / 8] |=
      static_cast<uint8_t>(from.PackedSample(sx, sy) << (8 - bits - static_cast<int>(bit % 8)));
}

}  // namespace

int SourceImage::BitsPerPixel() const {
  const int channels = colorType == 2 ? 3 : colorType == 4 ? 2 : colorType == 6 ? 4 : 1;
  return channels * bitDepth;
}

uint32_t SourceImage::PackedSample(uint32_t x, uint32_t y) const {
  const int bits = BitsPerPixel();
  const uint8_t* row = &rows[y * RowBytes()];
  if (bits >= 8) return row[x * (bits / 8)];
  const size_t bit = size_t{x} * bits;
  return (row[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
}

SourceImage RandomImage(uint32_t width, uint32_t height, int colorType, int bitDepth, uint32_t seed,
                        int paletteEntries) {
  SourceImage image{width, height, colorType, bitDepth, {}, {}};
  std::mt19937 random(seed);
  image.rows.resize(image.RowBytes() * height);
  for (size_t i = 0; i < image.rows.size(); ++i) {
    image.rows[i] = static_cast<uint8_t>((i * 7 / 5) + (random() % 4 == 0 ? random() : 0));
  }
  if (colorType == 3) {
    const int entries = paletteEntries >= 0 ? paletteEntries : 1 << bitDepth;
    for (int i = 0; i < entries * 3; ++i) image.palette.push_back(static_cast<uint8_t>(random()));
  }
  return image;
}

Bytes ExpectedRgba(const SourceImage& image) {
  Bytes rgba;
  const size_t bytesPerPixel = static_cast<size_t>(std::max(image.BitsPerPixel() / 8, 1));
  for (uint32_t y = 0; y < image.height; ++y) {
    for (uint32_t x = 0; x < image.width; ++x) {
      const uint8_t* in = &image.rows[y * image.RowBytes() + x * bytesPerPixel];
      const uint32_t sample = image.PackedSample(x, y);
      const int step = image.bitDepth / 8;  // the first byte of each 16-bit sample
      uint8_t pixel[4] = {0, 0, 0, 255};
      switch (image.colorType) {
        case 0:
          pixel[0] = pixel[1] = pixel[2] = image.bitDepth == 1 ? (sample ? 255 : 0) : sample;
          break;
        case 2:
          for (int c = 0; c < 3; ++c) pixel[c] = in[c * step];
          break;
        case 3:
          if (sample * 3 < image.palette.size()) std::copy_n(&image.palette[sample * 3], 3, pixel);
          break;
        case 4:
          pixel[0] = pixel[1] = pixel[2] = in[0];
          pixel[3] = in[1];
          break;
        case 6: std::copy_n(in, 4, pixel); break;
      }
      rgba.insert(rgba.end(), pixel, pixel + 4);
    }
  }
  return rgba;
}

Bytes FilteredData(const SourceImage& image, const EncodeOptions& options) {
  const size_t unit = static_cast<size_t>(std::max(1, image.BitsPerPixel() / 8));
  Bytes out;
  if (!options.interlaced) {
    FilterRows(image.rows, image.RowBytes(), image.height, unit, options.filter, out);
    return out;
  }
  // Adam7: first column, column step, first row, row step of each pass.
  static const uint32_t kPass[7][4] = {{0, 8, 0, 8}, {4, 8, 0, 8}, {0, 4, 4, 8}, {2, 4, 0, 4},
                                       {0, 2, 2, 4}, {1, 2, 0, 2}, {0, 1, 1, 2}};
  for (const auto& pass : kPass) {
    SourceImage sub = image;
    sub.width = image.width > pass[0] ? (image.width - pass[0] + pass[1] - 1) / pass[1] : 0;
    sub.height = image.height > pass[2] ? (image.height - pass[2] + pass[3] - 1) / pass[3] : 0;
    if (sub.width == 0 || sub.height == 0) continue;
    sub.rows.assign(sub.RowBytes() * sub.height, 0);
    for (uint32_t y = 0; y < sub.height; ++y) {
      for (uint32_t x = 0; x < sub.width; ++x) {
        CopyPixel(image, pass[0] + x * pass[1], pass[2] + y * pass[3], sub, x, y);
      }
    }
    FilterRows(sub.rows, sub.RowBytes(), sub.height, unit, options.filter, out);
  }
  return out;
}

Bytes EncodePng(const SourceImage& image, const EncodeOptions& options) {
  Bytes file = Signature();
  Append(file, HeaderChunk(image.width, image.height, image.bitDepth, image.colorType,
                           options.interlaced ? 1 : 0));
  if (!image.palette.empty()) Append(file, Chunk("PLTE", image.palette));
  const Bytes compressed =
      ZlibCompress(FilteredData(image, options), options.zlibLevel, options.zlibStrategy);
  const size_t piece = options.idatPiece > 0 ? options.idatPiece : compressed.size();
  for (size_t at = 0; at < compressed.size(); at += piece) {
    const size_t end = std::min(compressed.size(), at + piece);
    Append(file, Chunk("IDAT", Bytes(compressed.begin() + at, compressed.begin() + end)));
  }
  Append(file, Chunk("IEND", {}));
  return file;
}

Bytes FileWithData(uint32_t width, uint32_t height, int bitDepth, int colorType,
                   const Bytes& filtered, int interlace, const Bytes& palette, int level) {
  std::vector<Bytes> chunks = {HeaderChunk(width, height, bitDepth, colorType, interlace)};
  if (!palette.empty()) chunks.push_back(Chunk("PLTE", palette));
  chunks.push_back(Chunk("IDAT", ZlibCompress(filtered, level)));
  chunks.push_back(Chunk("IEND", {}));
  return PngFile(chunks);
}

void BitWriter::Bits(uint32_t value, int count) {
  for (int i = 0; i < count; ++i) {
    if (used_ == 8) {
      bytes_.push_back(0);
      used_ = 0;
    }
    bytes_.back() |= static_cast<uint8_t>(((value >> i) & 1u) << used_++);
  }
}

void BitWriter::Code(uint32_t code, int length) {
  for (int i = length - 1; i >= 0; --i) Bits((code >> i) & 1u, 1);
}

void BitWriter::FixedSymbol(int symbol) {
  if (symbol <= 143) return Code(0x30 + symbol, 8);
  if (symbol <= 255) return Code(0x190 + (symbol - 144), 9);
  if (symbol <= 279) return Code(symbol - 256, 7);
  Code(0xC0 + (symbol - 280), 8);
}

Bytes BitWriter::Stream(uint8_t cmf) const {
  Bytes stream = {cmf, 0x01};
  Append(stream, bytes_);
  return stream;
}

std::vector<Bytes> FilesOfEveryFormat() {
  const struct {
    int colorType, bitDepth;
  } formats[] = {{0, 1}, {0, 8}, {2, 8}, {2, 16}, {3, 1},  {3, 2},
                 {3, 4}, {3, 8}, {4, 8}, {6, 8},  {0, 16}, {4, 16}};
  std::vector<Bytes> files;
  uint32_t seed = 500;
  for (const auto& format : formats) {
    for (uint32_t width : {1u, 3u, 8u, 13u, 40u}) {
      for (int filter : {-1, 0, 1, 2, 3, 4}) {
        for (bool interlaced : {false, true}) {
          EncodeOptions options;
          options.interlaced = interlaced;
          options.filter = filter;
          options.zlibLevel = static_cast<int>(seed % 3) * 4;
          options.idatPiece = seed % 5 == 0 ? 17 : 0;
          const uint32_t height = 1 + seed % 11;
          files.push_back(EncodePng(
              RandomImage(width, height, format.colorType, format.bitDepth, ++seed, 5), options));
        }
      }
    }
  }
  return files;
}

}  // namespace genshoku::png::pngtest
