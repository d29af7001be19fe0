#include "formats/bmp_header.h"

#include "common/pictures.h"
#include "formats/bmp_layout.h"

namespace genshoku {

void WriteBmpInfoHeader(uint8_t* header, int32_t width, int32_t height, int bitsPerPixel) {
  for (size_t i = 0; i < kBmpInfoHeaderSize; ++i) header[i] = 0;
  WriteLe32(header + 0, static_cast<uint32_t>(kBmpInfoHeaderSize));
  WriteLe32(header + 4, static_cast<uint32_t>(width));
  WriteLe32(header + 8, static_cast<uint32_t>(height));
  WriteLe16(header + 12, 1);
  WriteLe16(header + 14, static_cast<uint16_t>(bitsPerPixel));
}

int64_t BmpHeader::stride() const { return StrideForBits(width, bitsPerPixel); }

bool ParseBmpHeader(const uint8_t* bytes, size_t available, uint64_t fileSize, BmpHeader* header,
                    std::string* reason) {
  auto refuse = [reason](const char* why) {
    if (reason) *reason = why;
    return false;
  };
  if (available < kBmpHeaderProbeSize || fileSize < kBmpHeaderProbeSize || bytes[0] != 'B' ||
      bytes[1] != 'M') {
    return refuse("not a BMP file");
  }
  BmpHeader h;
  h.fileSizeField = ReadLe32(bytes + 2);
  h.pixelOffset = ReadLe32(bytes + 10);
  h.infoSize = ReadLe32(bytes + 14);
  h.width = static_cast<int32_t>(ReadLe32(bytes + 18));
  h.height = static_cast<int32_t>(ReadLe32(bytes + 22));
  h.bitsPerPixel = ReadLe16(bytes + 28);
  h.compression = ReadLe32(bytes + 30);
  h.coloursUsed = ReadLe32(bytes + 46);
  if (h.infoSize < kBmpInfoHeaderSize || kBmpFileHeaderSize + h.infoSize > fileSize) {
    return refuse("not a BMP file (its info header is not one of 40 bytes or more)");
  }
  if (h.width <= 0 || h.height == 0 || h.height == INT32_MIN) {
    return refuse("not a BMP file (its width or height is not usable)");
  }
  const int bits = h.bitsPerPixel;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) {
    return refuse("BMP files of this bit depth are not supported");
  }
  const bool bitFields = h.compression == 3 && (bits == 16 || bits == 32);
  if (h.compression != 0 && !bitFields) {
    return refuse("compressed BMP files are not supported");
  }
  if (h.pixelCount() > kMaxPicturePixels) {
    return refuse("the picture has more than 100,000,000 pixels");
  }
  if (h.pixelOffset < kBmpFileHeaderSize + kBmpInfoHeaderSize || h.rowsEnd() > fileSize) {
    return refuse("the picture rows are not inside the file");
  }
  if (h.pixelOffset > kMaxBmpPixelOffset) {
    return refuse("the picture rows start too far into the file");
  }
  *header = h;
  return true;
}

}  // namespace genshoku
