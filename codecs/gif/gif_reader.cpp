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

constexpr uint8_t kOpaque = 255;
constexpr uint8_t kTransparent = 0;

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

std::unique_ptr<GifReader> GifReader::Open(const std::string& path, Diagnostics& diagnostics,
                                           std::string* failure, Versions versions) {
  std::unique_ptr<gif::ByteSource> source = gif::FileByteSource::Open(path);
  if (!source) {
    if (failure != nullptr) *failure = "cannot open the file";
    return nullptr;
  }
  return Open(std::move(source), diagnostics, failure, versions);
}

std::unique_ptr<GifReader> GifReader::OpenMemory(const uint8_t* data, size_t size,
                                                 Diagnostics& diagnostics, std::string* failure,
                                                 Versions versions) {
  return Open(std::make_unique<gif::MemoryByteSource>(data, size), diagnostics, failure, versions);
}

std::unique_ptr<GifReader> GifReader::Open(std::unique_ptr<gif::ByteSource> source,
                                           Diagnostics& diagnostics, std::string* failure,
                                           Versions versions) {
  std::string ignored;
  std::string& why = failure != nullptr ? *failure : ignored;
  if (!source) {
    why = "cannot open the file";
    return nullptr;
  }
  // Bytes the input does not deliver read as 0, so a short file fails one of the checks.
  uint8_t signature[3] = {};
  source->Read(signature, 3);
  if (std::memcmp(signature, "GIF", 3) != 0) {
    diagnostics.Err("invalid signature\n");
    why = "not a GIF file";
    return nullptr;
  }
  uint8_t version[3] = {};
  source->Read(version, 3);
  const bool older = versions == Versions::Both && std::memcmp(version, "87a", 3) == 0;
  if (std::memcmp(version, "89a", 3) != 0 && !older) {
    diagnostics.Err("invalid version\n");
    why = "not a GIF89a file";
    return nullptr;
  }
  uint8_t screen[7] = {};  // width, height, packed byte, background index, aspect ratio
  source->Read(screen, 5);
  const uint8_t packed = screen[4];
  if ((packed & kTablePresent) == 0) {
    diagnostics.Err("no global color table\n");
    why = "the file has no global colour table";
    return nullptr;
  }
  source->Read(screen + 5, 2);

  const uint16_t width = Le16(screen);
  const uint16_t height = Le16(screen + 2);
  if (static_cast<uint64_t>(width) * height > kMaxScreenPixels) {
    why = "the screen of " + std::to_string(width) + " x " + std::to_string(height) +
          " pixels is larger than the program reads";
    return nullptr;
  }
  std::unique_ptr<GifReader> reader;
  try {
    reader.reset(new GifReader(std::move(source), diagnostics));
  } catch (const std::bad_alloc&) {
    why = "not enough memory";
    return nullptr;
  }
  reader->width_ = width;
  reader->height_ = height;
  reader->colorResolution_ = static_cast<uint16_t>(((packed >> 4) & 7) + 1);
  ReadColorTable(*reader->file_, packed, reader->globalTable_);
  reader->activeTable_ = &reader->globalTable_;
  reader->backgroundIndex_ = screen[5];
  return reader;
}

bool GifReader::MakeScreen() {
  if (screenMade_) return true;
  const size_t pixels = size_t{width_} * height_;
  try {
    screenRgb_.assign(pixels * CanvasBytes(), 0);
    screenIndices_.assign(pixels, backgroundIndex_);
  } catch (const std::bad_alloc&) {
    std::vector<uint8_t>().swap(screenRgb_);
    std::vector<uint8_t>().swap(screenIndices_);
    return false;
  }
  const uint8_t* background = globalTable_.colors + 3 * backgroundIndex_;
  if (background[0] != 0 || background[1] != 0 || background[2] != 0) {
    FillRectangle(screenRgb_.data(), {0, 0, width_, height_}, background, kTransparent);
  }
  screenMade_ = true;
  return true;
}

void GifReader::Close() {
  file_.reset();
  screenMade_ = false;
  std::vector<uint8_t>().swap(screenRgb_);
  std::vector<uint8_t>().swap(screenIndices_);
}

int GifReader::NextImage() {
  if (!file_) return kError;
  if (screenMade_) Dispose();
  for (;;) {
    uint8_t introducer = 0;
    // The input may end between blocks, as if the trailer had come.
    const bool ended = !file_->ReadByte(introducer);
    if (ended || introducer == kTrailerByte) {
      if (!imageSeen_) damage_ = "no image data";
      return kTrailer;
    }
    switch (introducer) {
      case kImageIntroducer: return ReadImage();
      case kExtensionIntroducer: ReadExtension(); break;
      default:
        damage_ = imageSeen_ ? "an unknown block after the image data" : "no image data";
        return kError;
    }
  }
}

void GifReader::Dispose() {
  switch (disposalMethod_) {
    case 2:
      FillRectangle(screenRgb_.data(), rectangle_, activeTable_->colors + 3 * backgroundIndex_,
                    kTransparent);
      break;
    case 3: break;
    default: DrawImage(screenRgb_.data()); break;
  }
}

int GifReader::ReadImage() {
  uint8_t descriptor[9];
  if (file_->Read(descriptor, sizeof descriptor) != sizeof descriptor) {
    damage_ = "the data end before the last row";
    return kError;
  }
  rectangle_ = {Le16(descriptor), Le16(descriptor + 2), Le16(descriptor + 4), Le16(descriptor + 6)};
  const uint8_t packed = descriptor[8];
  if (packed & kTablePresent) {
    ReadColorTable(*file_, packed, localTable_);
    activeTable_ = &localTable_;
  } else {
    activeTable_ = &globalTable_;
  }
  imageSeen_ = true;

  uint8_t minimumCodeSize = 0;
  if (!file_->ReadByte(minimumCodeSize)) {
    damage_ = "the data end before the last row";
    return kError;
  }
  // Measure the data first so that reading can go on after them whatever the codes do.
  const uint64_t dataStart = file_->Position();
  gif::SkipSubBlocks(*file_);
  const uint64_t dataEnd = file_->Position();
  if (refuseDamaged_ && !DataCanFill(dataEnd - dataStart)) {
    damage_ = "the data end before the last row";
    return kError;
  }
  if (!MakeScreen()) {
    damage_ = "not enough memory for the screen";
    return kError;
  }
  file_->Seek(dataStart);

  gif::CodeReader codes(*file_);
  const gif::ImagePlacement placement(screenIndices_.data(), width_, height_, rectangle_,
                                      (packed & kInterlaced) != 0);
  uint64_t decoded = 0;
  const gif::LzwOutcome outcome = gif::DecodeLzw(codes, minimumCodeSize, placement, &decoded);
  file_->Seek(dataEnd);
  NoteImageDamage(outcome, decoded);
  switch (outcome) {
    case gif::LzwOutcome::Complete:
    case gif::LzwOutcome::DataEnded: return kImageRead;
    case gif::LzwOutcome::CodeUnknown:
    case gif::LzwOutcome::BadCodeSize: break;
  }
  return kError;
}

bool GifReader::DataCanFill(uint64_t dataBytes) const {
  // A 12-bit code stands for at most 4096 indices, so a byte for at most 2731; the
  // sub-block length bytes are counted as data, which only loosens the bound.
  constexpr uint64_t kMostIndicesPerByte = 2731;
  const uint64_t needed = uint64_t{rectangle_.width} * rectangle_.height;
  return needed <= kMostIndicesPerByte * dataBytes + 4096;
}

void GifReader::NoteImageDamage(gif::LzwOutcome outcome, uint64_t decoded) {
  // Indices beyond the rectangle, or a stop code missing after the last one, harm nothing.
  if (decoded >= uint64_t{rectangle_.width} * rectangle_.height) return;
  const bool broken =
      outcome == gif::LzwOutcome::CodeUnknown || outcome == gif::LzwOutcome::BadCodeSize;
  damage_ = broken ? "damaged compressed data" : "the data end before the last row";
}

void GifReader::FillRectangle(uint8_t* canvas, const gif::ImageRectangle& area,
                              const uint8_t* color, uint8_t alpha) const {
  const uint32_t right = std::min<uint32_t>(width_, uint32_t(area.left) + area.width);
  const uint32_t bottom = std::min<uint32_t>(height_, uint32_t(area.top) + area.height);
  if (right <= area.left) return;
  const size_t step = CanvasBytes();
  for (uint32_t y = area.top; y < bottom; ++y) {
    uint8_t* pixel = canvas + (size_t(y) * width_ + area.left) * step;
    for (uint32_t x = area.left; x < right; ++x, pixel += step) {
      std::memcpy(pixel, color, 3);
      if (keepAlpha_) pixel[3] = alpha;
    }
  }
}

void GifReader::DrawImage(uint8_t* canvas) const {
  const uint32_t right = std::min<uint32_t>(width_, uint32_t(rectangle_.left) + rectangle_.width);
  const uint32_t bottom = std::min<uint32_t>(height_, uint32_t(rectangle_.top) + rectangle_.height);
  const size_t step = CanvasBytes();
  for (uint32_t y = rectangle_.top; y < bottom; ++y) {
    const size_t rowStart = size_t(y) * width_;
    for (uint32_t x = rectangle_.left; x < right; ++x) {
      const uint8_t index = screenIndices_[rowStart + x];
      if (transparencyFlag_ && index == transparentIndex_) continue;
      uint8_t* pixel = canvas + (rowStart + x) * step;
      std::memcpy(pixel, activeTable_->colors + 3 * index, 3);
      if (keepAlpha_) pixel[3] = kOpaque;
    }
  }
}

void GifReader::CopyCanvas(uint8_t* buffer) const {
  if (!file_) return;
  if (!screenMade_) {
    // No image yet: the screen is its background colour (transparent with KeepAlpha).
    const size_t pixels = size_t{width_} * height_;
    const uint8_t* background = globalTable_.colors + 3 * backgroundIndex_;
    const size_t step = CanvasBytes();
    for (size_t i = 0; i < pixels; ++i) {
      std::memcpy(buffer + step * i, background, 3);
      if (keepAlpha_) buffer[step * i + 3] = kTransparent;
    }
    return;
  }
  // (A screen without pixels has an empty canvas and nothing to copy.)
  if (screenRgb_.empty()) return;
  std::memcpy(buffer, screenRgb_.data(), screenRgb_.size());
  DrawImage(buffer);
}

void GifReader::Render(uint8_t* buffer) const {
  if (!keepAlpha_) CopyCanvas(buffer);
}

void GifReader::RenderRgba(uint8_t* buffer) const {
  if (keepAlpha_) CopyCanvas(buffer);
}

}  // namespace genshoku
