#include "codecs/png/png_decoder.h"

#include <algorithm>
#include <cstdio>
#include <new>
#include <stdexcept>

#include "codecs/png/png_chunk_reader.h"
#include "codecs/png/png_inflater.h"

namespace genshoku::png {

namespace {

constexpr int32_t kDefaultGamma = 100000;
// Four samples of 16 bits: the most any PNG pixel takes.
constexpr uint64_t kMostBitsPerPixel = 64;

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
  damage.clear();
  imageDataCut_ = false;
  checksumMismatch_ = false;
  PngChunkReader reader(stream);
  if (!reader.ReadSignature()) {
    diagnostics_.Out("The file does not have PNG signature.\n");
    return false;
  }
  try {
    // All image data chunks, in file order, make one compressed stream.
    std::vector<uint8_t> imageData;
    if (!ReadChunks(reader, imageData)) return false;
    // Without a header nothing says how to read the data.
    if (!hasHeader) {
      damage = "no header chunk";
      return true;
    }
    // (A picture this decoder cannot make keeps no data and is refused by BeginImage.)
    if (refuseDamaged && ImageDataLimit() > 0 && !DataCanMakeThePicture(imageData.size())) {
      return true;
    }
    if (BeginImage()) {
      PngInflater inflater(*this, diagnostics_);
      inflater.Inflate(imageData.data(), imageData.size());
      NoteDamage(imageData.empty(), inflater.outcome());
      EndImage();
    }
    return true;
  } catch (const std::bad_alloc&) {
    // Whatever was decoded stays; the missing rest is as if the file had ended.
    if (damage.empty()) damage = "not enough memory for the whole picture";
    return true;
  }
}

bool VxGenericPngDecoder::ReadChunks(PngChunkReader& reader, std::vector<uint8_t>& imageData) {
  // Chunks other than image data that a file may carry; more are taken for damage or
  // junk and end the reading, so that a file of endless empty chunks takes no endless time.
  constexpr int kMostOtherChunks = 10000;
  int otherChunks = 0;
  PngChunkHeader chunk;
  // A truncated file ends the loop early; what was read so far is decoded.
  while (reader.ReadChunkHeader(chunk)) {
    if (!chunk.HasValidType()) break;
    if (chunk.Is("IDAT")) {
      // Data beyond what the picture can use are never read: they cannot change it.
      const uint64_t limit = ImageDataLimit();
      const uint64_t room = limit > imageData.size() ? limit - imageData.size() : 0;
      const uint32_t kept = static_cast<uint32_t>(std::min<uint64_t>(chunk.length, room));
      if (imageData.empty()) ReserveImageData(reader, limit, imageData);
      const size_t before = imageData.size();
      if (kept < chunk.length) {
        // The rest of the chunk and of the file are left unread.
        if (!reader.AppendChunkData(kept, imageData)) imageData.resize(before);
        break;
      }
      // A chunk cut short, even in its checksum, counts as not there. A wrong checksum
      // is damage, but the data are decoded all the same.
      bool crcMatches = true;
      if (!reader.AppendChunkData(kept, imageData) ||
          !reader.ReadCrc(chunk, imageData.data() + before, kept, &crcMatches)) {
        imageData.resize(before);
        imageDataCut_ = true;
        break;
      }
      checksumMismatch_ |= !crcMatches;
      continue;
    }
    if (++otherChunks > kMostOtherChunks) break;
    if (!IsReadChunk(chunk)) {
      if (!reader.SkipChunkData(chunk.length) || !reader.SkipCrc()) break;
      if (chunk.Is("IEND")) break;
      continue;
    }
    std::vector<uint8_t> data;
    bool crcMatches = true;
    if (!reader.AppendChunkData(chunk.length, data) ||
        !reader.ReadCrc(chunk, data.data(), data.size(), &crcMatches)) {
      break;
    }
    // (Of the chunks read here, the header and the palette shape the picture.)
    if (chunk.Is("IHDR") || chunk.Is("PLTE")) checksumMismatch_ |= !crcMatches;
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
  return true;
}

void VxGenericPngDecoder::ReserveImageData(const PngChunkReader& reader, uint64_t limit,
                                           std::vector<uint8_t>& imageData) {
  // Room for the whole stream at once spares the copies of a growing buffer. A stream
  // that overstates its size only loses that.
  const uint64_t expected =
      reader.totalSize() > 0 ? std::min<uint64_t>(limit, uint64_t(reader.totalSize())) : 0;
  if (expected == 0) return;
  try {
    imageData.reserve(static_cast<size_t>(expected));
  } catch (const std::exception&) {
  }
}

uint64_t VxGenericPngDecoder::ImageDataLimit() const {
  // Data before the header cannot be read: nothing says yet what they hold.
  if (!hasHeader) return 0;
  const uint64_t bitsPerPixel = BitsPerPixel() > 0 ? BitsPerPixel() : kMostBitsPerPixel;
  return CompressedLimit(height, (uint64_t{width} * bitsPerPixel + 7) / 8);
}

uint64_t VxGenericPngDecoder::CompressedLimit(uint64_t rows, uint64_t rowBytes) {
  // Every row with its filter byte, and room for the extra filter bytes and part bytes of
  // the seven passes of an interlaced picture.
  const uint64_t raw = rows * (rowBytes + 16) + 1024;
  // Encoders never need twice the raw size (stored blocks add 5 bytes in 65535, Huffman
  // codes at most about 1.9 bits per 8); the rest is a margin for odd ones.
  return 2 * raw + (uint64_t{1} << 20);
}

bool VxGenericPngDecoder::DataCanMakeThePicture(size_t compressedBytes) {
  if (interlaceMethod != 0 && interlaceMethod != 1) {
    damage = "unknown interlace method " + std::to_string(interlaceMethod);
    return false;
  }
  if (compressedBytes == 0) {
    damage = imageDataCut_ ? "the data end before the last row" : "no image data";
    return false;
  }
  // Deflate makes at most 258 bytes of 2 bits (a longest copy with one-bit codes), so
  // 1032 bytes per compressed byte; fewer data than that cannot make the picture.
  constexpr uint64_t kMostBytesPerCompressedByte = 1032;
  const uint64_t leastRawBytes = MinimumRawBytes();
  if (leastRawBytes > kMostBytesPerCompressedByte * compressedBytes + 1024) {
    damage = "the data end before the last row";
    return false;
  }
  return true;
}

uint64_t VxGenericPngDecoder::BitsPerPixel() const {
  uint64_t channels = 0;
  switch (colorType) {
    case 0:
    case 3: channels = 1; break;
    case 2: channels = 3; break;
    case 4: channels = 2; break;
    case 6: channels = 4; break;
    default: return 0;
  }
  return bitDepth > 0 && bitDepth <= 16 ? channels * static_cast<uint64_t>(bitDepth) : 0;
}

uint64_t VxGenericPngDecoder::MinimumRawBytes() const {
  return uint64_t{width} * height * BitsPerPixel() / 8;
}

void VxGenericPngDecoder::NoteDamage(bool noData, InflateOutcome outcome) {
  if (ImageComplete()) {
    // Every row arrived, but maybe not as the file was written.
    if (checksumMismatch_) {
      damage = "damaged data (a chunk's checksum does not match)";
    } else {
      damage = ImageFlaw();
    }
    return;
  }
  if (interlaceMethod != 0 && interlaceMethod != 1) {
    damage = "unknown interlace method " + std::to_string(interlaceMethod);
  } else if (noData) {
    damage = imageDataCut_ ? "the data end before the last row" : "no image data";
  } else if (outcome == InflateOutcome::Damaged) {
    damage = "damaged compressed data";
  } else {
    damage = "the data end before the last row";
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
  paletteAlpha.clear();
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
      // A palette has at most 256 entries: more alphas cannot belong to any.
      paletteAlpha.assign(data.begin(), data.begin() + std::min<size_t>(data.size(), 256));
      break;
    default: break;
  }
}

}  // namespace genshoku::png
