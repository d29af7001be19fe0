#include "support_read_literal_decoder.h"

#include <algorithm>
#include <cstdlib>
#include <new>

#include "codecs/png/png_interlace.h"

namespace genshoku::png::literal {

namespace {

constexpr uint8_t kOpaque = 255;

enum PngFilter : int {
  kFilterNone = 0,
  kFilterSub = 1,
  kFilterUp = 2,
  kFilterAverage = 3,
  kFilterPaeth = 4,
};

uint8_t PaethPredictor(int left, int up, int upperLeft) {
  const int estimate = left + up - upperLeft;
  const int toLeft = std::abs(estimate - left);
  const int toUp = std::abs(estimate - up);
  const int toUpperLeft = std::abs(estimate - upperLeft);
  if (toLeft <= toUp && toLeft <= toUpperLeft) return static_cast<uint8_t>(left);
  if (toUp <= toUpperLeft) return static_cast<uint8_t>(up);
  return static_cast<uint8_t>(upperLeft);
}

void UnfilterBytes(int filter, uint8_t* line, const uint8_t* previous, size_t position,
                   size_t count, size_t unitBytes, bool firstLine) {
  for (size_t at = position; at < position + count; ++at) {
    const bool hasLeft = at >= unitBytes;
    const int left = hasLeft ? line[at - unitBytes] : 0;
    const int up = firstLine ? 0 : previous[at];
    const int upperLeft = hasLeft && !firstLine ? previous[at - unitBytes] : 0;
    int predictor;
    switch (filter) {
      case kFilterSub: predictor = left; break;
      case kFilterUp: predictor = up; break;
      case kFilterAverage: predictor = (left + up) / 2; break;
      case kFilterPaeth: predictor = PaethPredictor(left, up, upperLeft); break;
      default: predictor = 0; break;
    }
    line[at] = static_cast<uint8_t>(line[at] + predictor);
  }
}

}  // namespace

LiteralRawPngDecoder::LiteralRawPngDecoder(Diagnostics& diagnostics, uint64_t pixelLimit)
    : VxGenericPngDecoder(diagnostics), pixelLimit(pixelLimit) {}

void LiteralRawPngDecoder::ForgetImage() {
  pixels.clear();
  pixels.shrink_to_fit();
  outWidth = outHeight = 0;
  // Until a picture is ready every byte is refused.
  linePixels = lineCount = 0;
  pass = 1;
}

bool LiteralRawPngDecoder::BeginImage() {
  ForgetImage();
  if (!FindPngPixelFormat(colorType, bitDepth, format)) {
    diagnostics().Out("Unsupported colorType-bitDepth combination.\n");
    diagnostics().Out("  Color type=%d\n", colorType);
    diagnostics().Out("  Bit deptch=%d\n", bitDepth);
    return false;
  }
  const uint64_t pixelCount = uint64_t{width} * height;
  if (pixelCount == 0 || pixelCount > pixelLimit) return false;
  const uint64_t lineBytes = format.LineBytes(width);
  try {
    pixels.resize(pixelCount * 4);
    currentLine.assign(lineBytes, 0);
    previousLine.assign(lineBytes, 0);
  } catch (const std::bad_alloc&) {
    pixels.clear();
    pixels.shrink_to_fit();
    return false;
  }
  for (size_t offset = 3; offset < pixels.size(); offset += 4) pixels[offset] = kOpaque;
  outWidth = width;
  outHeight = height;

  pixelX = -1;
  lineY = 0;
  outOffset = 0;
  byteX = 0;
  pixelBytes = 0;
  if (IsInterlaced()) {
    EnterPass(1);
  } else {
    pass = 1;
    linePixels = outWidth;
    lineCount = outHeight;
  }
  return true;
}

bool LiteralRawPngDecoder::EndImage() {
  currentLine = {};
  previousLine = {};
  return true;
}

bool LiteralRawPngDecoder::PictureComplete() const {
  return pass > kAdam7PassCount || lineY >= lineCount;
}

void LiteralRawPngDecoder::EnterPass(int firstCandidate) {
  pass = firstCandidate;
  while (pass <= kAdam7PassCount && Adam7PassOf(pass).IsEmpty(outWidth, outHeight)) ++pass;
  if (pass > kAdam7PassCount) return;
  linePixels = Adam7PassOf(pass).PixelsPerLine(outWidth);
  lineCount = Adam7PassOf(pass).LineCount(outHeight);
}

bool LiteralRawPngDecoder::ConsumeByte(uint8_t byte) {
  if (PictureComplete()) return false;
  if (pixelX < 0) {
    lineFilter = byte;
    byteX = 0;
    pixelBytes = 0;
    pixelX = 0;
    return true;
  }
  if (interlaceMethod != 0 && interlaceMethod != 1) {
    diagnostics().Out("Unsupported interlace method.\n");
    return false;
  }
  if (format.PacksPixels()) {
    ConsumePackedByte(byte);
  } else {
    ConsumePixelByte(byte);
  }
  if (pixelX >= linePixels) FinishLine();
  return true;
}

void LiteralRawPngDecoder::ConsumePackedByte(uint8_t byte) {
  const int bits = format.bitsPerPixel;
  const size_t at = static_cast<size_t>(pixelX) * bits / 8;
  currentLine[at] = byte;
  UnfilterBytes(lineFilter, currentLine.data(), previousLine.data(), at, 1, 1, lineY == 0);
  const uint32_t value = currentLine[at];
  const int64_t count = std::min<int64_t>(8 / bits, linePixels - pixelX);
  for (int i = 0; i < count; ++i) {
    const uint32_t sample = (value >> (8 - bits * (i + 1))) & ((1u << bits) - 1);
    // Interlaced files of packed pixels are read through but not drawn.
    if (!IsInterlaced()) PutIndexedPixel(PixelOffset(static_cast<uint32_t>(pixelX)), sample);
    ++pixelX;
  }
}

void LiteralRawPngDecoder::ConsumePixelByte(uint8_t byte) {
  currentLine[byteX + pixelBytes] = byte;
  if (++pixelBytes < format.unitBytes) return;
  UnfilterBytes(lineFilter, currentLine.data(), previousLine.data(), byteX, format.unitBytes,
                format.unitBytes, lineY == 0);
  PutPixel(PixelOffset(static_cast<uint32_t>(pixelX)), &currentLine[byteX]);
  ++pixelX;
  byteX += format.unitBytes;
  pixelBytes = 0;
}

void LiteralRawPngDecoder::FinishLine() {
  ++lineY;
  pixelX = -1;
  std::swap(currentLine, previousLine);
  if (IsInterlaced() && lineY >= lineCount) {
    lineY = 0;
    EnterPass(pass + 1);
  }
}

size_t LiteralRawPngDecoder::PixelOffset(uint32_t x) {
  if (!IsInterlaced()) {
    const size_t offset = outOffset;
    outOffset += 4;
    return offset;
  }
  const Adam7Pass& geometry = Adam7PassOf(pass);
  return (size_t{geometry.Row(lineY)} * outWidth + geometry.Column(x)) * 4;
}

void LiteralRawPngDecoder::PutIndexedPixel(size_t offset, uint32_t index) {
  uint8_t* pixel = &pixels[offset];
  if (format.colorType == kGrey) {
    const uint8_t grey = index != 0 ? 255 : 0;
    pixel[0] = pixel[1] = pixel[2] = grey;
    pixel[3] = kOpaque;
  } else if (index < static_cast<uint32_t>(paletteCount)) {
    std::copy_n(&paletteData[index * 3], 3, pixel);
    pixel[3] = kOpaque;
  } else if (format.bitDepth == 1) {
    diagnostics().Out("Not enough palette entry! (%d)\n", paletteCount);
  }
}

void LiteralRawPngDecoder::PutPixel(size_t offset, const uint8_t* bytes) {
  uint8_t* pixel = &pixels[offset];
  switch (format.colorType) {
    case kGrey:
      pixel[0] = pixel[1] = pixel[2] = bytes[0];
      pixel[3] = kOpaque;
      break;
    case kPalette: PutIndexedPixel(offset, bytes[0]); break;
    case kTruecolour:
      if (format.bitDepth == 16) {
        // The most significant byte of each 16-bit sample.
        pixel[0] = bytes[0];
        pixel[1] = bytes[2];
        pixel[2] = bytes[4];
      } else {
        std::copy_n(bytes, 3, pixel);
      }
      pixel[3] = kOpaque;
      break;
    case kGreyAlpha:
      pixel[0] = pixel[1] = pixel[2] = bytes[0];
      pixel[3] = bytes[1];
      break;
    case kTruecolourAlpha: std::copy_n(bytes, 4, pixel); break;
    default: break;
  }
}

}  // namespace genshoku::png::literal
