#include "support_read_png_builder.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <random>

namespace genshoku::png::readtest {

namespace {

int Channels(int colorType) {
  switch (colorType) {
    case 2: return 3;
    case 4: return 2;
    case 6: return 4;
    default: return 1;
  }
}

void PutBigEndian32(Bytes& to, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) to.push_back(static_cast<uint8_t>(value >> shift));
}

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

// Filters `rows` (each `rowBytes` long) and appends filter byte and line for each row.
void FilterRows(const Bytes& rows, size_t rowBytes, uint32_t rowCount, int unit, int filter,
                Bytes& out) {
  for (uint32_t y = 0; y < rowCount; ++y) {
    const uint8_t* row = &rows[y * rowBytes];
    const uint8_t* above = y > 0 ? &rows[(y - 1) * rowBytes] : nullptr;
    const int type = filter >= 0 ? filter : static_cast<int>(y % 5);
    out.push_back(static_cast<uint8_t>(type));
    for (size_t i = 0; i < rowBytes; ++i) {
      const int left = i >= static_cast<size_t>(unit) ? row[i - unit] : 0;
      const int up = above ? above[i] : 0;
      const int upperLeft = above && i >= static_cast<size_t>(unit) ? above[i - unit] : 0;
      out.push_back(static_cast<uint8_t>(row[i] - Predict(type, left, up, upperLeft)));
    }
  }
}

// Copies the packed bits of one pixel from (sx, sy) of `from` to (dx, dy) of `to`.
void CopyPixel(const SourceImage& from, uint32_t sx, uint32_t sy, SourceImage& to, uint32_t dx,
               uint32_t dy) {
  const int bits = from.BitsPerPixel();
  if (bits >= 8) {
    const size_t bytes = bits / 8;
    for (size_t i = 0; i < bytes; ++i) {
      to.rows[dy * to.RowBytes() + dx * bytes + i] = from.rows[sy * from.RowBytes() + sx * bytes + i];
    }
    return;
  }
  const uint32_t value = from.PackedSample(sx, sy);
  const size_t bit = size_t{dx} * bits;
  const int shift = 8 - bits - static_cast<int>(bit % 8);
  to.rows[dy * to.RowBytes() + bit / 8] |= static_cast<uint8_t>(value << shift);
}

}  // namespace

int SourceImage::BitsPerPixel() const { return Channels(colorType) * bitDepth; }

uint32_t SourceImage::PackedSample(uint32_t x, uint32_t y) const {
  const int bits = BitsPerPixel();
  const uint8_t* row = &rows[y * RowBytes()];
  if (bits >= 8) return row[x * (bits / 8)];
  const size_t bit = size_t{x} * bits;
  return (row[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
}

SourceImage RandomImage(uint32_t width, uint32_t height, int colorType, int bitDepth,
                        uint32_t seed, int paletteEntries) {
  SourceImage image{width, height, colorType, bitDepth, {}, {}};
  std::mt19937 random(seed);
  image.rows.resize(image.RowBytes() * height);
  // Smooth ramps with noise, so that filters and copies both have work to do.
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
  Bytes rgba(size_t{image.width} * image.height * 4, 0);
  for (uint32_t y = 0; y < image.height; ++y) {
    for (uint32_t x = 0; x < image.width; ++x) {
      uint8_t* out = &rgba[(size_t{y} * image.width + x) * 4];
      const size_t bytesPerPixel = image.BitsPerPixel() >= 8 ? image.BitsPerPixel() / 8 : 0;
      const uint8_t* in = &image.rows[y * image.RowBytes() + x * bytesPerPixel];
      out[3] = 255;
      switch (image.colorType) {
        case 0: {
          const uint32_t sample = image.PackedSample(x, y);
          out[0] = out[1] = out[2] = image.bitDepth == 1 ? (sample ? 255 : 0) : sample;
          break;
        }
        case 2: {
          const int step = image.bitDepth / 8;
          for (int c = 0; c < 3; ++c) out[c] = in[c * step];
          break;
        }
        case 3: {
          const uint32_t index = image.PackedSample(x, y);
          if (index * 3 < image.palette.size()) {
            for (int c = 0; c < 3; ++c) out[c] = image.palette[index * 3 + c];
          }
          break;
        }
        case 4:
          out[0] = out[1] = out[2] = in[0];
          out[3] = in[1];
          break;
        case 6:
          for (int c = 0; c < 4; ++c) out[c] = in[c];
          break;
      }
    }
  }
  return rgba;
}

Bytes FilteredData(const SourceImage& image, const EncodeOptions& options) {
  const int unit = std::max(1, image.BitsPerPixel() / 8);
  Bytes out;
  if (!options.interlaced) {
    FilterRows(image.rows, image.RowBytes(), image.height, unit, options.filter, out);
    return out;
  }
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

Bytes ZlibCompress(const Bytes& data, int level, int strategy) {
  z_stream stream{};
  if (deflateInit2(&stream, level, Z_DEFLATED, 15, 8, strategy) != Z_OK) std::abort();
  Bytes out(deflateBound(&stream, data.size()));
  stream.next_in = const_cast<uint8_t*>(data.data());
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = out.data();
  stream.avail_out = static_cast<uInt>(out.size());
  if (deflate(&stream, Z_FINISH) != Z_STREAM_END) std::abort();
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

Bytes Chunk(const std::string& type, const Bytes& data) {
  Bytes out;
  PutBigEndian32(out, static_cast<uint32_t>(data.size()));
  out.insert(out.end(), type.begin(), type.end());
  out.insert(out.end(), data.begin(), data.end());
  uLong crc = crc32(0, reinterpret_cast<const Bytef*>(type.data()), 4);
  crc = crc32(crc, data.data(), static_cast<uInt>(data.size()));
  PutBigEndian32(out, static_cast<uint32_t>(crc));
  return out;
}

Bytes HeaderChunk(uint32_t width, uint32_t height, int bitDepth, int colorType,
                  int interlaceMethod) {
  Bytes data;
  PutBigEndian32(data, width);
  PutBigEndian32(data, height);
  for (int value : {bitDepth, colorType, 0, 0, interlaceMethod}) {
    data.push_back(static_cast<uint8_t>(value));
  }
  return Chunk("IHDR", data);
}

Bytes Signature() { return {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}; }

void Append(Bytes& to, const Bytes& what) { to.insert(to.end(), what.begin(), what.end()); }

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

void BitWriter::Bits(uint32_t value, int count) {
  for (int i = 0; i < count; ++i) {
    if (used_ == 8) {
      bytes_.push_back(0);
      used_ = 0;
    }
    bytes_.back() |= static_cast<uint8_t>(((value >> i) & 1u) << used_);
    ++used_;
  }
}

void BitWriter::Code(uint32_t code, int length) {
  for (int i = length - 1; i >= 0; --i) Bits((code >> i) & 1u, 1);
}

void BitWriter::FixedSymbol(int symbol) {
  if (symbol <= 143) {
    Code(0x30 + symbol, 8);
  } else if (symbol <= 255) {
    Code(0x190 + (symbol - 144), 9);
  } else if (symbol <= 279) {
    Code(symbol - 256, 7);
  } else {
    Code(0xC0 + (symbol - 280), 8);
  }
}

void BitWriter::AlignToByte() { used_ = 8; }

}  // namespace genshoku::png::readtest
