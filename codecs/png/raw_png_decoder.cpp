#include "codecs/png/raw_png_decoder.h"

#include <algorithm>
#include <cstring>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#include "codecs/png/png_interlace.h"
#include "codecs/png/png_unfilter.h"

namespace genshoku::png {

namespace {

constexpr uint8_t kOpaque = 255;

// Sets aside `size` bytes for `buffer` and asks the system to map them all at once: for a
// picture of tens of megabytes, one call instead of a page fault for every 4 KiB. Only a
// hint; without it the pages are mapped as they are first touched.
void ReserveMapped(std::vector<uint8_t>& buffer, size_t size) {
  buffer.reserve(size);
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
  const size_t pageSize = 4096;
  const auto start = reinterpret_cast<uintptr_t>(buffer.data());
  const uintptr_t firstPage = (start + pageSize - 1) & ~uintptr_t{pageSize - 1};
  const uintptr_t end = (start + size) & ~uintptr_t{pageSize - 1};
  if (end > firstPage) {
    madvise(reinterpret_cast<void*>(firstPage), end - firstPage, MADV_POPULATE_WRITE);
  }
#endif
}

}  // namespace

VxRawPngDecoder::VxRawPngDecoder(Diagnostics& diagnostics, uint64_t pixelLimit)
    : VxGenericPngDecoder(diagnostics), pixelLimit(pixelLimit) {}

std::string VxRawPngDecoder::ImageFlaw() const {
  if (unknownFilter < 0) return {};
  return "damaged image data (line filter " + std::to_string(unknownFilter) + ")";
}

void VxRawPngDecoder::ForgetImage() {
  unknownFilter = -1;
  pixels.clear();
  pixels.shrink_to_fit();
  outWidth = outHeight = 0;
  // Until a picture is ready every byte is refused.
  linePixels = lineCount = 0;
  pass = 1;
}

uint64_t VxRawPngDecoder::ImageDataLimit() const {
  PngPixelFormat headerFormat;
  if (!hasHeader || !FindPngPixelFormat(colorType, bitDepth, headerFormat, pixelRules)) return 0;
  const uint64_t pixelCount = uint64_t{width} * height;
  if (pixelCount == 0 || pixelCount > pixelLimit) return 0;
  return CompressedLimit(height, headerFormat.LineBytes(width));
}

bool VxRawPngDecoder::BeginImage() {
  ForgetImage();
  if (!FindPngPixelFormat(colorType, bitDepth, format, pixelRules)) {
    diagnostics().Out("Unsupported colorType-bitDepth combination.\n");
    diagnostics().Out("  Color type=%d\n", colorType);
    diagnostics().Out("  Bit deptch=%d\n", bitDepth);
    return false;
  }
  const uint64_t pixelCount = uint64_t{width} * height;
  if (pixelCount == 0 || pixelCount > pixelLimit) return false;
  const uint64_t lineBytes = format.LineBytes(width);
  try {
    ReserveMapped(pixels, pixelCount * 4);
    pixels.resize(pixelCount * 4);
    currentLine.assign(lineBytes, 0);
    previousLine.assign(lineBytes, 0);
  } catch (const std::bad_alloc&) {
    pixels.clear();
    pixels.shrink_to_fit();
    return false;
  }
  // Black and opaque, a whole pixel at a time.
  const uint8_t blackPixel[4] = {0, 0, 0, kOpaque};
  uint32_t blackWord;
  std::memcpy(&blackWord, blackPixel, 4);
  for (size_t offset = 0; offset < pixels.size(); offset += 4) {
    std::memcpy(&pixels[offset], &blackWord, 4);
  }
  outWidth = width;
  outHeight = height;
  standardPixels = StandardPixelConverter(format, paletteData, paletteAlpha, transparentValue);
  runConversion = ChooseRunConversion();

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

bool VxRawPngDecoder::EndImage() {
  currentLine = {};
  previousLine = {};
  return true;
}

bool VxRawPngDecoder::PictureComplete() const {
  return pass > kAdam7PassCount || lineY >= lineCount;
}

void VxRawPngDecoder::EnterPass(int firstCandidate) {
  pass = firstCandidate;
  while (pass <= kAdam7PassCount && Adam7PassOf(pass).IsEmpty(outWidth, outHeight)) ++pass;
  if (pass > kAdam7PassCount) return;
  linePixels = Adam7PassOf(pass).PixelsPerLine(outWidth);
  lineCount = Adam7PassOf(pass).LineCount(outHeight);
}

bool VxRawPngDecoder::ConsumeByte(uint8_t byte) {
  if (PictureComplete()) return false;
  if (pixelX < 0) {
    lineFilter = byte;
    // (Read as no filter, as the window always did; but the picture is not what was meant.)
    if (byte > 4 && unknownFilter < 0) unknownFilter = byte;
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

size_t VxRawPngDecoder::ConsumeBytes(const uint8_t* bytes, size_t count) {
  const bool knownInterlace = interlaceMethod == 0 || interlaceMethod == 1;
  const auto unitBytes = static_cast<size_t>(format.unitBytes);
  size_t done = 0;
  while (done < count) {
    // Filter bytes, packed pixels, pixels split between two runs and everything unusual
    // take the byte-by-byte way.
    const bool wholePixelsAhead = !PictureComplete() && pixelX >= 0 && pixelBytes == 0 &&
                                  knownInterlace && !format.PacksPixels() &&
                                  count - done >= unitBytes;
    if (!wholePixelsAhead) {
      if (!VxRawPngDecoder::ConsumeByte(bytes[done])) return done;
      ++done;
      continue;
    }
    const uint64_t lineRest = linePixels - static_cast<uint64_t>(pixelX);
    const auto pixelCount =
        static_cast<uint32_t>(std::min<uint64_t>(lineRest, (count - done) / unitBytes));
    ConsumeWholePixels(bytes + done, pixelCount);
    done += size_t{pixelCount} * unitBytes;
    if (pixelX >= linePixels) FinishLine();
  }
  return count;
}

void VxRawPngDecoder::ConsumeWholePixels(const uint8_t* bytes, uint32_t pixelCount) {
  const auto unitBytes = static_cast<size_t>(format.unitBytes);
  const size_t spanBytes = size_t{pixelCount} * unitBytes;
  uint8_t* line = currentLine.data();
  UnfilterSpan(lineFilter, line, previousLine.data(), byteX, spanBytes, unitBytes, lineY == 0,
               bytes);
  const uint8_t* source = line + byteX;
  const auto firstX = static_cast<uint32_t>(pixelX);
  if (!IsInterlaced()) {
    ConvertRun(source, pixelCount);
  } else {
    for (uint32_t i = 0; i < pixelCount; ++i, source += unitBytes) {
      PutPixel(PixelOffset(firstX + i), source);
    }
  }
  pixelX += pixelCount;
  byteX += spanBytes;
}

VxRawPngDecoder::RunConversion VxRawPngDecoder::ChooseRunConversion() const {
  if (format.colorType == kTruecolourAlpha && format.bitDepth == 8) return RunConversion::Rgba8;
  if (format.colorType != kTruecolour) return RunConversion::None;
  if (StandardRules()) {
    // Keyed pixels take the pixel-by-pixel way.
    if (standardPixels.HasKey()) return RunConversion::None;
    return format.bitDepth == 8 ? RunConversion::Rgb8 : RunConversion::Rgb16Rounded;
  }
  return format.bitDepth == 16 ? RunConversion::Rgb16HighBytes : RunConversion::Rgb8;
}

void VxRawPngDecoder::ConvertRun(const uint8_t* source, uint32_t pixelCount) {
  // Consecutive pixels of one row: the same conversions as PutPixel, per format.
  uint8_t* target = &pixels[outOffset];
  switch (runConversion) {
    case RunConversion::Rgb16HighBytes:
      for (uint32_t i = 0; i < pixelCount; ++i, source += 6, target += 4) {
        target[0] = source[0];
        target[1] = source[2];
        target[2] = source[4];
        target[3] = kOpaque;
      }
      break;
    case RunConversion::Rgb16Rounded:
      for (uint32_t i = 0; i < pixelCount; ++i, source += 6, target += 4) {
        for (int c = 0; c < 3; ++c) {
          target[c] = RoundSixteenBits(uint32_t{source[2 * c]} << 8 | source[2 * c + 1]);
        }
        target[3] = kOpaque;
      }
      break;
    case RunConversion::Rgb8: {
      // Four bytes at a time, the fourth (the next pixel's red) replaced by the opacity;
      // the last pixel, whose fourth byte may lie past the line, alone.
      const uint8_t opaque[4] = {0, 0, 0, kOpaque};
      uint32_t opaqueWord;
      std::memcpy(&opaqueWord, opaque, 4);
      const uint8_t colour[4] = {0xFF, 0xFF, 0xFF, 0};
      uint32_t colourMask;
      std::memcpy(&colourMask, colour, 4);
      uint32_t i = 0;
      for (; i + 1 < pixelCount; ++i, source += 3, target += 4) {
        uint32_t word;
        std::memcpy(&word, source, 4);
        word = (word & colourMask) | opaqueWord;
        std::memcpy(target, &word, 4);
      }
      for (; i < pixelCount; ++i, source += 3, target += 4) {
        target[0] = source[0];
        target[1] = source[1];
        target[2] = source[2];
        target[3] = kOpaque;
      }
      break;
    }
    case RunConversion::Rgba8: std::copy_n(source, size_t{pixelCount} * 4, target); break;
    case RunConversion::None: {
      const auto unitBytes = static_cast<size_t>(format.unitBytes);
      for (uint32_t i = 0; i < pixelCount; ++i, source += unitBytes) {
        PutPixel(outOffset + size_t{i} * 4, source);
      }
      break;
    }
  }
  outOffset += size_t{pixelCount} * 4;
}

void VxRawPngDecoder::ConsumePackedByte(uint8_t byte) {
  const int bits = format.bitsPerPixel;
  const size_t at = static_cast<size_t>(pixelX) * bits / 8;
  currentLine[at] = byte;
  UnfilterBytes(lineFilter, currentLine.data(), previousLine.data(), at, 1, 1, lineY == 0);
  const uint32_t value = currentLine[at];
  const int64_t count = std::min<int64_t>(8 / bits, linePixels - pixelX);
  for (int i = 0; i < count; ++i) {
    const uint32_t sample = (value >> (8 - bits * (i + 1))) & ((1u << bits) - 1);
    // The window reads interlaced files of packed pixels through but does not draw them.
    if (!IsInterlaced() || StandardRules())
      PutIndexedPixel(PixelOffset(static_cast<uint32_t>(pixelX)), sample);
    ++pixelX;
  }
}

void VxRawPngDecoder::ConsumePixelByte(uint8_t byte) {
  currentLine[byteX + pixelBytes] = byte;
  if (++pixelBytes < format.unitBytes) return;
  UnfilterBytes(lineFilter, currentLine.data(), previousLine.data(), byteX, format.unitBytes,
                format.unitBytes, lineY == 0);
  PutPixel(PixelOffset(static_cast<uint32_t>(pixelX)), &currentLine[byteX]);
  ++pixelX;
  byteX += format.unitBytes;
  pixelBytes = 0;
}

void VxRawPngDecoder::FinishLine() {
  ++lineY;
  pixelX = -1;
  std::swap(currentLine, previousLine);
  if (IsInterlaced() && lineY >= lineCount) {
    lineY = 0;
    EnterPass(pass + 1);
  }
}

size_t VxRawPngDecoder::PixelOffset(uint32_t x) {
  if (!IsInterlaced()) {
    const size_t offset = outOffset;
    outOffset += 4;
    return offset;
  }
  const Adam7Pass& geometry = Adam7PassOf(pass);
  return (size_t{geometry.Row(lineY)} * outWidth + geometry.Column(x)) * 4;
}

void VxRawPngDecoder::PutIndexedPixel(size_t offset, uint32_t index) {
  uint8_t* pixel = &pixels[offset];
  if (StandardRules()) {
    standardPixels.FromSample(index, pixel);
    return;
  }
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

void VxRawPngDecoder::PutPixel(size_t offset, const uint8_t* bytes) {
  uint8_t* pixel = &pixels[offset];
  if (StandardRules()) {
    standardPixels.FromBytes(bytes, pixel);
    return;
  }
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

}  // namespace genshoku::png
