#include "formats/bmp_writer.h"

#include <algorithm>

#include "formats/bmp_layout.h"

namespace genshoku {

std::vector<uint8_t> EncodeBmp8(const IndexedPicture& picture) {
  const size_t entries = picture.palette.size();
  const size_t tableSize = 4 * entries;
  const size_t rowsOffset = kBmpFileHeaderSize + kBmpInfoHeaderSize + tableSize;
  const int64_t stride = Stride8(picture.width);
  const size_t size = rowsOffset + static_cast<size_t>(stride) * picture.height;
  std::vector<uint8_t> file(size, 0);

  file[0] = 'B';
  file[1] = 'M';
  WriteLe32(file.data() + 2, static_cast<uint32_t>(size));
  WriteLe32(file.data() + 10, static_cast<uint32_t>(rowsOffset));
  uint8_t* info = file.data() + kBmpFileHeaderSize;
  WriteBmpInfoHeader(info, picture.width, picture.height, 8);
  if (entries != 256) WriteLe32(info + 32, static_cast<uint32_t>(entries));

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
    std::copy(source, source + picture.width, rows + stride * r);
  }
  return file;
}

}  // namespace genshoku
