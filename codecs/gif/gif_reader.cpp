#include "codecs/gif/gif_reader.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "codecs/gif/lzw_decoder.h"
#include "codecs/gif/sub_block_reader.h"

namespace genshoku {

namespace {

constexpr uint8_t kImageIntroducer = 0x2C;
constexpr uint8_t kExtensionIntroducer = 0x21;
constexpr uint8_t kTrailerByte = 0x3B;

constexpr uint8_t kTablePresent = 0x80;
constexpr uint8_t kInterlaced = 0x40;

uint16_t Le16(const uint8_t* bytes) { return static_cast<uint16_t>(bytes[0] | bytes[1] << 8); }

// Reads the colours of a table of 2^(n+1) entries, n being the low bits of `packed`. Colours
// the input does not deliver stay black.
void ReadColorTable(gif::ByteSource& source, uint8_t packed, GifColorTable& table) {
  table = GifColorTable{};
  table.count = static_cast<uint16_t>(1u << ((packed & 7) + 1));
  source.Read(table.colors, table.count * 3u);
}

}  // namespace

GifReader::GifReader(std::unique_ptr<gif::ByteSource> source, Diagnostics& diagnostics)
    : file_(std::move(source)), diagnostics_(diagnostics) {}

GifReader::~GifReader() = default;

std::unique_ptr<GifReader> GifReader::Open(const std::string& path, Diagnostics& diagnostics) {
  std::unique_ptr<gif::ByteSource> source = gif::FileByteSource::Open(path);
  if (!source) return nullptr;
  return Open(std::move(source), diagnostics);
}

std::unique_ptr<GifReader> GifReader::OpenMemory(const uint8_t* data, size_t size,
                                                 Diagnostics& diagnostics) {
  return Open(std::make_unique<gif::MemoryByteSource>(data, size), diagnostics);
}

std::unique_ptr<GifReader> GifReader::Open(std::unique_ptr<gif::ByteSource> source,
                                           Diagnostics& diagnostics) {
  if (!source) return nullptr;
  // Bytes the input does not deliver read as 0, so a short file fails one of the checks.
  uint8_t signature[3] = {};
  source->Read(signature, 3);
  if (std::memcmp(signature, "GIF", 3) != 0) {
    diagnostics.Err("invalid signature\n");
    return nullptr;
  }
  uint8_t version[3] = {};
  source->Read(version, 3);
  if (std::memcmp(version, "89a", 3) != 0) {
    diagnostics.Err("invalid version\n");
    return nullptr;
  }
  uint8_t screen[7] = {};  // width, height, packed byte, background index, aspect ratio
  source->Read(screen, 5);
  const uint8_t packed = screen[4];
  if ((packed & kTablePresent) == 0) {
    diagnostics.Err("no global color table\n");
    return nullptr;
  }
  source->Read(screen + 5, 2);

  const uint16_t width = Le16(screen);
  const uint16_t height = Le16(screen + 2);
  const uint64_t pixels = static_cast<uint64_t>(width) * height;
  if (pixels > kMaxScreenPixels) return nullptr;

  std::unique_ptr<GifReader> reader;
  try {
    reader.reset(new GifReader(std::move(source), diagnostics));
    reader->screenRgb_.assign(pixels * 3, 0);
    reader->screenIndices_.assign(pixels, 0);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  reader->width_ = width;
  reader->height_ = height;
  reader->colorResolution_ = static_cast<uint16_t>(((packed >> 4) & 7) + 1);
  ReadColorTable(*reader->file_, packed, reader->globalTable_);
  reader->activeTable_ = &reader->globalTable_;
  reader->backgroundIndex_ = screen[5];

  if (reader->backgroundIndex_ != 0) {
    std::fill(reader->screenIndices_.begin(), reader->screenIndices_.end(),
              reader->backgroundIndex_);
  }
  const uint8_t* background = reader->globalTable_.colors + 3 * reader->backgroundIndex_;
  if (background[0] != 0 || background[1] != 0 || background[2] != 0) {
    reader->FillRectangle(reader->screenRgb_.data(), {0, 0, width, height}, background);
  }
  return reader;
}

void GifReader::Close() {
  file_.reset();
  std::vector<uint8_t>().swap(screenRgb_);
  std::vector<uint8_t>().swap(screenIndices_);
}

int GifReader::NextImage() {
  if (!file_) return kError;
  Dispose();
  for (;;) {
    uint8_t introducer = 0;
    if (!file_->ReadByte(introducer)) return kTrailer;  // the input ended between blocks
    switch (introducer) {
      case kImageIntroducer: return ReadImage();
      case kTrailerByte: return kTrailer;
      case kExtensionIntroducer: ReadExtension(); break;
      default: return kError;
    }
  }
}

void GifReader::Dispose() {
  switch (disposalMethod_) {
    case 2:
      FillRectangle(screenRgb_.data(), rectangle_, activeTable_->colors + 3 * backgroundIndex_);
      break;
    case 3: break;
    default: DrawImage(screenRgb_.data()); break;
  }
}

int GifReader::ReadImage() {
  uint8_t descriptor[9];
  if (file_->Read(descriptor, sizeof descriptor) != sizeof descriptor) return kError;
  rectangle_ = {Le16(descriptor), Le16(descriptor + 2), Le16(descriptor + 4), Le16(descriptor + 6)};
  const uint8_t packed = descriptor[8];
  if (packed & kTablePresent) {
    ReadColorTable(*file_, packed, localTable_);
    activeTable_ = &localTable_;
  } else {
    activeTable_ = &globalTable_;
  }

  uint8_t minimumCodeSize = 0;
  if (!file_->ReadByte(minimumCodeSize)) return kError;
  // Measure the data first so that reading can go on after them whatever the codes do.
  const uint64_t dataStart = file_->Position();
  gif::SkipSubBlocks(*file_);
  const uint64_t dataEnd = file_->Position();
  file_->Seek(dataStart);

  gif::CodeReader codes(*file_);
  const gif::ImagePlacement placement(screenIndices_.data(), width_, height_, rectangle_,
                                      (packed & kInterlaced) != 0);
  const gif::LzwOutcome outcome = gif::DecodeLzw(codes, minimumCodeSize, placement);
  file_->Seek(dataEnd);
  switch (outcome) {
    case gif::LzwOutcome::Complete:
    case gif::LzwOutcome::DataEnded: return kImageRead;
    case gif::LzwOutcome::CodeUnknown:
    case gif::LzwOutcome::BadCodeSize: break;
  }
  return kError;
}

void GifReader::FillRectangle(uint8_t* rgb, const gif::ImageRectangle& area,
                              const uint8_t* color) const {
  const uint32_t right = std::min<uint32_t>(width_, uint32_t(area.left) + area.width);
  const uint32_t bottom = std::min<uint32_t>(height_, uint32_t(area.top) + area.height);
  if (right <= area.left) return;
  for (uint32_t y = area.top; y < bottom; ++y) {
    uint8_t* pixel = rgb + (size_t(y) * width_ + area.left) * 3;
    for (uint32_t x = area.left; x < right; ++x, pixel += 3) std::memcpy(pixel, color, 3);
  }
}

void GifReader::DrawImage(uint8_t* rgb) const {
  const uint32_t right = std::min<uint32_t>(width_, uint32_t(rectangle_.left) + rectangle_.width);
  const uint32_t bottom = std::min<uint32_t>(height_, uint32_t(rectangle_.top) + rectangle_.height);
  for (uint32_t y = rectangle_.top; y < bottom; ++y) {
    const size_t rowStart = size_t(y) * width_;
    for (uint32_t x = rectangle_.left; x < right; ++x) {
      const uint8_t index = screenIndices_[rowStart + x];
      if (transparencyFlag_ && index == transparentIndex_) continue;
      std::memcpy(rgb + (rowStart + x) * 3, activeTable_->colors + 3 * index, 3);
    }
  }
}

void GifReader::Render(uint8_t* buffer) const {
  if (!file_ || screenRgb_.empty()) return;
  std::memcpy(buffer, screenRgb_.data(), screenRgb_.size());
  DrawImage(buffer);
}

}  // namespace genshoku
