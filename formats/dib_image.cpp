#include "formats/dib_image.h"

#include <algorithm>
#include <bit>

#include "common/pictures.h"
#include "formats/bmp_layout.h"

namespace genshoku {

namespace {

constexpr uint32_t kWhite = 0xFFFFFFFFu;
constexpr uint32_t kBlack = 0xFF000000u;
constexpr uint32_t kCompressionNone = 0;
constexpr uint32_t kCompressionBitFields = 3;
// With bit fields the three masks follow the 40-byte header, which is also where the
// larger headers keep them.
constexpr size_t kMasksOffset = 40;
constexpr size_t kMasksEnd = kMasksOffset + 12;
// Headers of 56 bytes or more keep an alpha mask after the three colour masks.
constexpr size_t kAlphaMaskEnd = kMasksEnd + 4;

uint32_t Pixel(uint32_t red, uint32_t green, uint32_t blue, uint32_t alpha = 0xFF) {
  return (alpha << 24) | (red << 16) | (green << 8) | blue;
}

// One colour channel held under a bit mask, scaled to 0..255.
struct Channel {
  uint32_t mask = 0;
  int shift = 0;
  uint32_t largest = 0;  // the largest value after masking and shifting

  explicit Channel(uint32_t m) : mask(m) {
    if (mask != 0) {
      shift = std::countr_zero(mask);
      largest = mask >> shift;
    }
  }
  uint32_t Scale(uint32_t value) const {
    if (largest == 0) return 0;
    const uint64_t v = (value & mask) >> shift;
    return static_cast<uint32_t>((v * 255 + largest / 2) / largest);
  }
};

struct Masks {
  Channel red{0}, green{0}, blue{0};
  Channel alpha{0};  // only with DibAlpha::Masked
};

struct Layout {
  DibGeometry geometry;
  int64_t stride = 0;
  // Colour table (1, 4 and 8 bits): where it starts, how many entries the format gives
  // and how many of them are inside the block.
  const uint8_t* table = nullptr;
  uint32_t tableEntries = 0;
  uint32_t tableEntriesPresent = 0;
  Masks masks;
};

bool ReadLayout(const DibSource& source, DibAlpha alpha, Layout* layout) {
  if (source.info == nullptr || source.infoAvailable < kBmpInfoHeaderSize) return false;
  const uint8_t* info = source.info;
  const uint32_t headerSize = ReadLe32(info);
  const int32_t width = static_cast<int32_t>(ReadLe32(info + 4));
  const int32_t height = static_cast<int32_t>(ReadLe32(info + 8));
  const int bits = ReadLe16(info + 14);
  const uint32_t compression = ReadLe32(info + 16);
  const uint32_t coloursUsed = ReadLe32(info + 32);
  if (headerSize < kBmpInfoHeaderSize || headerSize > source.infoAvailable) return false;
  if (width <= 0 || height == 0 || height == INT32_MIN) return false;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) {
    return false;
  }
  const bool bitFields = compression == kCompressionBitFields && (bits == 16 || bits == 32);
  if (compression != kCompressionNone && !bitFields) return false;
  const int32_t rows = height < 0 ? -height : height;
  if (static_cast<int64_t>(width) * rows > kMaxPicturePixels) return false;

  Layout l;
  l.geometry = {width, rows, height < 0, bits};
  l.stride = StrideForBits(width, bits);
  if (bits <= 8) {
    const uint32_t full = 1u << bits;
    l.tableEntries = coloursUsed != 0 && coloursUsed < full ? coloursUsed : full;
    l.table = info + headerSize;
    l.tableEntriesPresent = static_cast<uint32_t>(
        std::min<size_t>(l.tableEntries, (source.infoAvailable - headerSize) / 4));
  } else if (bitFields) {
    if (source.infoAvailable < kMasksEnd) return false;
    l.masks = {Channel(ReadLe32(info + kMasksOffset)), Channel(ReadLe32(info + kMasksOffset + 4)),
               Channel(ReadLe32(info + kMasksOffset + 8))};
    if (alpha == DibAlpha::Masked && headerSize >= kAlphaMaskEnd) {
      l.masks.alpha = Channel(ReadLe32(info + kMasksEnd));
    }
  } else if (bits == 16) {
    l.masks = {Channel(0x7C00), Channel(0x03E0), Channel(0x001F)};
  } else {
    l.masks = {Channel(0xFF0000), Channel(0x00FF00), Channel(0x0000FF)};
  }
  *layout = l;
  return true;
}

uint32_t TableColour(const Layout& l, uint32_t index) {
  if (index >= l.tableEntries) return kBlack;
  if (index >= l.tableEntriesPresent) return kWhite;
  const uint8_t* entry = l.table + 4 * static_cast<size_t>(index);
  return Pixel(entry[2], entry[1], entry[0]);
}

// Converts one stored row, of which only `available` bytes are inside the block.
void ConvertRow(const Layout& l, const uint8_t* row, size_t available, uint32_t* out) {
  const int32_t width = l.geometry.width;
  const int bits = l.geometry.bitsPerPixel;
  // Pixels whose bytes are all inside the block; the rest stay white.
  const size_t complete = std::min<size_t>(width, available * 8 / bits);
  std::fill(out + complete, out + width, kWhite);
  switch (bits) {
    case 1:
    case 4: {
      const int perByte = 8 / bits;
      const uint32_t low = (1u << bits) - 1;
      for (size_t x = 0; x < complete; ++x) {
        const int shift = 8 - bits * (static_cast<int>(x % perByte) + 1);
        out[x] = TableColour(l, (row[x / perByte] >> shift) & low);
      }
      break;
    }
    case 8:
      for (size_t x = 0; x < complete; ++x) out[x] = TableColour(l, row[x]);
      break;
    case 24:
      for (size_t x = 0; x < complete; ++x) {
        const uint8_t* p = row + 3 * x;
        out[x] = Pixel(p[2], p[1], p[0]);
      }
      break;
    case 16:
    case 32: {
      const bool masked = l.masks.alpha.mask != 0;
      for (size_t x = 0; x < complete; ++x) {
        const uint32_t v = bits == 16 ? ReadLe16(row + 2 * x) : ReadLe32(row + 4 * x);
        out[x] = Pixel(l.masks.red.Scale(v), l.masks.green.Scale(v), l.masks.blue.Scale(v),
                       masked ? l.masks.alpha.Scale(v) : 0xFF);
      }
      break;
    }
  }
}

}  // namespace

bool ReadDibGeometry(const DibSource& source, DibGeometry* geometry) {
  Layout layout;
  if (!ReadLayout(source, DibAlpha::Opaque, &layout)) return false;
  *geometry = layout.geometry;
  return true;
}

bool ConvertDibPixels(const DibSource& source, uint32_t* dest, size_t destStride, DibAlpha alpha) {
  Layout l;
  if (!ReadLayout(source, alpha, &l)) return false;
  const int32_t rows = l.geometry.height;
  for (int32_t y = 0; y < rows; ++y) {
    const int64_t stored = l.geometry.topDown ? y : rows - 1 - y;
    const uint64_t offset = static_cast<uint64_t>(stored) * static_cast<uint64_t>(l.stride);
    uint32_t* out = dest + static_cast<size_t>(y) * destStride;
    if (source.bits == nullptr || offset >= source.bitsSize) {
      std::fill(out, out + l.geometry.width, kWhite);
      continue;
    }
    const size_t available =
        std::min<uint64_t>(static_cast<uint64_t>(l.stride), source.bitsSize - offset);
    ConvertRow(l, source.bits + offset, available, out);
  }
  return true;
}

bool ConvertDib(const DibSource& source, DibGeometry* geometry, std::vector<uint32_t>* pixels) {
  DibGeometry g;
  if (!ReadDibGeometry(source, &g)) return false;
  pixels->assign(static_cast<size_t>(g.width) * static_cast<size_t>(g.height), kWhite);
  if (!ConvertDibPixels(source, pixels->data(), static_cast<size_t>(g.width))) return false;
  *geometry = g;
  return true;
}

}  // namespace genshoku
