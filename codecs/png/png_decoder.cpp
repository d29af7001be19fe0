#include "codecs/png/png_decoder.h"

#include <cstdio>
#include <limits>
#include <new>
#include <stdexcept>

#include "codecs/png/png_chunk_reader.h"
#include "codecs/png/png_inflater.h"

namespace genshoku::png {

namespace {

constexpr int32_t kNoTransparentValue = std::numeric_limits<int32_t>::max();
constexpr int32_t kDefaultGamma = 100000;

// The chunks whose data the loop looks at; the data of all others are passed over.
bool IsReadChunk(const PngChunkHeader& chunk) {
  return chunk.Is("IHDR") || chunk.Is("PLTE") || chunk.Is("gAMA") || chunk.Is("tRNS");
}

// Closes the file on every way out of DecodeFile.
struct FileCloser {
  std::FILE* file;
  ~FileCloser() { std::fclose(file); }
};

}  // namespace

VxGenericPngDecoder::VxGenericPngDecoder(Diagnostics& diagnostics) : diagnostics_(diagnostics) {
  ResetChunkValues();
}

bool VxGenericPngDecoder::DecodeFile(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  FileCloser closer{file};
  VxPngBinaryFileStream stream(file);
  return DecodeStream(stream);
}

bool VxGenericPngDecoder::DecodeStream(VxPngGenericBinaryStream& stream) {
  ResetChunkValues();
  ForgetImage();
  PngChunkReader reader(stream);
  if (!reader.ReadSignature()) {
    diagnostics_.Out("The file does not have PNG signature.\n");
    return false;
  }
  try {
    // All image data chunks, in file order, make one compressed stream.
    std::vector<uint8_t> imageData;
    // Room for the whole stream at once spares the copies of a growing buffer. A stream
    // that overstates its size only loses that.
    if (reader.totalSize() > 0) {
      try {
        imageData.reserve(static_cast<size_t>(reader.totalSize()));
      } catch (const std::exception&) {
      }
    }
    PngChunkHeader chunk;
    // A truncated file ends the loop early; what was read so far is decoded.
    while (reader.ReadChunkHeader(chunk)) {
      if (chunk.Is("IDAT")) {
        const size_t before = imageData.size();
        if (!reader.AppendChunkData(chunk.length, imageData) || !reader.SkipCrc()) {
          imageData.resize(before);
          break;
        }
        continue;
      }
      if (!IsReadChunk(chunk)) {
        if (!reader.SkipChunkData(chunk.length) || !reader.SkipCrc()) break;
        if (chunk.Is("IEND")) break;
        continue;
      }
      std::vector<uint8_t> data;
      if (!reader.AppendChunkData(chunk.length, data) || !reader.SkipCrc()) break;
      if (data.empty()) continue;
      if (chunk.Is("IHDR")) {
        TakeHeader(data);
      } else if (chunk.Is("PLTE")) {
        if (data.size() % 3 != 0) return false;
        paletteCount = static_cast<int32_t>(data.size() / 3);
        paletteData = std::move(data);
      } else if (chunk.Is("gAMA")) {
        if (data.size() >= 4) gamma = static_cast<int32_t>(ReadBigEndian32(data.data()));
      } else if (chunk.Is("tRNS")) {
        TakeTransparency(data);
      }
    }
    // Without a header nothing says how to read the data.
    if (!hasHeader) return true;
    if (BeginImage()) {
      PngInflater inflater(*this, diagnostics_);
      inflater.Inflate(imageData.data(), imageData.size());
      EndImage();
    }
    return true;
  } catch (const std::bad_alloc&) {
    // Whatever was decoded stays; the missing rest is as if the file had ended.
    return true;
  }
}

size_t VxGenericPngDecoder::ConsumeBytes(const uint8_t* bytes, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (!ConsumeByte(bytes[i])) return i;
  }
  return count;
}

void VxGenericPngDecoder::ResetChunkValues() {
  hasHeader = false;
  width = height = 0;
  bitDepth = colorType = compressionMethod = filterMethod = interlaceMethod = 0;
  paletteCount = 0;
  paletteData.clear();
  for (int32_t& value : transparentValue) value = kNoTransparentValue;
  gamma = kDefaultGamma;
}

void VxGenericPngDecoder::TakeHeader(const std::vector<uint8_t>& data) {
  if (data.size() < 13) return;
  width = ReadBigEndian32(&data[0]);
  height = ReadBigEndian32(&data[4]);
  bitDepth = data[8];
  colorType = data[9];
  compressionMethod = data[10];
  filterMethod = data[11];
  interlaceMethod = data[12];
  hasHeader = true;
}

void VxGenericPngDecoder::TakeTransparency(const std::vector<uint8_t>& data) {
  // The layout depends on the colour type, so a transparency chunk before the header
  // cannot be read.
  if (!hasHeader) return;
  switch (colorType) {
    case 0:
      if (data.size() >= 2) transparentValue[0] = static_cast<int32_t>(ReadBigEndian16(&data[0]));
      break;
    case 2:
      if (data.size() >= 6) {
        for (int i = 0; i < 3; ++i) {
          transparentValue[i] = static_cast<int32_t>(ReadBigEndian16(&data[2 * i]));
        }
      }
      break;
    case 3:
      for (size_t i = 0; i < 3 && i < data.size(); ++i) transparentValue[i] = data[i];
      break;
    default: break;
  }
}

}  // namespace genshoku::png
