#include "formats/bmp_writer.h"

#include <algorithm>

#include "formats/bmp_layout.h"

namespace genshoku {

namespace {

// One stored row: indices packed from the high bits of each byte; the padding stays zero.
void PackRow(const uint8_t* indices, int32_t width, int bitsPerPixel, uint8_t* row) {
  if (bitsPerPixel == 8) {
    std::copy(indices, indices + width, row);
    return;
  }
  const int perByte = 8 / bitsPerPixel;
  for (int32_t x = 0; x < width; ++x) {
    const int shift = 8 - bitsPerPixel * (x % perByte + 1);
    row[x / perByte] |= static_cast<uint8_t>(indices[x] << shift);
  }
}

}  // namespace

int SmallestBmpDepth(size_t paletteEntries) {
  if (paletteEntries <= 2) return 1;
  if (paletteEntries <= 16) return 4;
  return 8;
}

std::vector<uint8_t> EncodeBmp(const IndexedPicture& picture, int bitsPerPixel) {
  const size_t entries = picture.palette.size();
  const size_t tableSize = 4 * entries;
  const size_t rowsOffset = kBmpFileHeaderSize + kBmpInfoHeaderSize + tableSize;
  const int64_t stride = StrideForBits(picture.width, bitsPerPixel);
  const size_t size = rowsOffset + static_cast<size_t>(stride) * picture.height;
  std::vector<uint8_t> file(size, 0);

  file[0] = 'B';
  file[1] = 'M';
  WriteLe32(file.data() + 2, static_cast<uint32_t>(size));
  WriteLe32(file.data() + 10, static_cast<uint32_t>(rowsOffset));
  uint8_t* info = file.data() + kBmpFileHeaderSize;
  WriteBmpInfoHeader(info, picture.width, picture.height, bitsPerPixel);
  // 0 means a full table of 2^bits entries.
  if (entries != (size_t{1} << bitsPerPixel)) WriteLe32(info + 32, static_cast<uint32_t>(entries));

  uint8_t* table = info + kBmpInfoHeaderSize;
  for (size_t i = 0; i < entries; ++i) {
    table[4 * i] = picture.palette[i].blue;
    table[4 * i + 1] = picture.palette[i].green;
    table[4 * i + 2] = picture.palette[i].red;
  }
  uint8_t* rows = file.data() + rowsOffset;
  for (int32_t r = 0; r < picture.height; ++r) {
    const uint8_t* source =
        picture.indices.data() + static_cast<size_t>(picture.height - 1 - r) * picture.width;
    PackRow(source, picture.width, bitsPerPixel, rows + stride * r);
  }
  return file;
}

std::vector<uint8_t> EncodeBmp8(const IndexedPicture& picture) { return EncodeBmp(picture, 8); }

}  // namespace genshoku
