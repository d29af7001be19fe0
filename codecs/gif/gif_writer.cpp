#include "codecs/gif/gif_writer.h"

#include <algorithm>
#include <new>

#include "codecs/gif/frame_difference.h"

namespace genshoku {

namespace {

constexpr uint8_t kGlobalTableAndFullResolution = 0xF0;
constexpr uint8_t kGraphicControlLeaveInPlace = 0x04;  // disposal 1, no transparency
constexpr uint8_t kTransparencyFlag = 0x01;
constexpr int kMaxLoopCount = 65535;

}  // namespace

GifWriter::GifWriter(std::unique_ptr<gif::ByteSink> sink, Diagnostics& diagnostics, uint16_t width,
                     uint16_t height, int colorBits)
    : width_(width),
      height_(height),
      colorBits_(colorBits),
      file_(std::move(sink)),
      diagnostics_(diagnostics),
      currentFrame_(size_t(width) * height, 0),
      previousFrame_(size_t(width) * height, 0),
      subBlocks_(*file_),
      encoder_(colorBits) {}

GifWriter::~GifWriter() {
  if (!finished_) file_->Abandon();
}

namespace {

// Whether a GIF file can describe the picture; otherwise one line says why. `name` is the
// file's name, or empty for a file made in memory.
bool PictureFits(const std::string& name, int width, int height, int depth,
                 Diagnostics& diagnostics) {
  const std::string prefix = name.empty() ? std::string() : name + ": ";
  if (width < 1 || width > GifWriter::kMaxSide || height < 1 || height > GifWriter::kMaxSide) {
    diagnostics.Err("%s%d x %d pixels do not fit in a GIF file\n", prefix.c_str(), width, height);
    return false;
  }
  if (depth < 1 || depth > 8) {
    diagnostics.Err("%sa GIF colour depth of %d bits is not possible\n", prefix.c_str(), depth);
    return false;
  }
  return true;
}

}  // namespace

std::unique_ptr<GifWriter> GifWriter::Create(const std::string& path, int width, int height,
                                             const uint8_t* palette, int depth, int loop,
                                             Diagnostics& diagnostics) {
  if (!PictureFits(path, width, height, depth, diagnostics)) return nullptr;
  auto sink = std::make_unique<gif::FileByteSink>();
  if (!sink->Open(path)) {
    diagnostics.Err("%s\n", sink->error().c_str());
    return nullptr;
  }
  return Start(std::move(sink), width, height, palette, depth, loop, diagnostics);
}

std::unique_ptr<GifWriter> GifWriter::Create(std::vector<uint8_t>& output, int width, int height,
                                             const uint8_t* palette, int depth, int loop,
                                             Diagnostics& diagnostics) {
  if (!PictureFits({}, width, height, depth, diagnostics)) return nullptr;
  return Start(std::make_unique<gif::MemoryByteSink>(output), width, height, palette, depth, loop,
               diagnostics);
}

std::unique_ptr<GifWriter> GifWriter::Start(std::unique_ptr<gif::ByteSink> sink, int width,
                                            int height, const uint8_t* palette, int depth, int loop,
                                            Diagnostics& diagnostics) {
  std::unique_ptr<GifWriter> writer;
  try {
    // The LZW coder needs at least two bits per index even for two colours.
    writer.reset(new GifWriter(std::move(sink), diagnostics, uint16_t(width), uint16_t(height),
                               std::max(depth, 2)));
  } catch (const std::bad_alloc&) {
    // The sink went down with the half-made writer; a file sink removes its temporary file.
    diagnostics.Err("not enough memory for a %d x %d GIF picture\n", width, height);
    return nullptr;
  }
  writer->WriteHeader(palette, depth, loop);
  if (!writer->CheckSink()) return nullptr;
  return writer;
}

void GifWriter::Put(std::initializer_list<uint8_t> bytes) {
  file_->Write(bytes.begin(), bytes.size());
}

void GifWriter::PutLe16(uint16_t value) {
  Put({static_cast<uint8_t>(value & 0xFF), static_cast<uint8_t>(value >> 8)});
}

void GifWriter::WriteHeader(const uint8_t* palette, int depth, int loop) {
  Put({'G', 'I', 'F', '8', '9', 'a'});
  PutLe16(width_);
  PutLe16(height_);
  Put({static_cast<uint8_t>((depth - 1) | kGlobalTableAndFullResolution), 0, 0});
  const std::vector<uint8_t> black(size_t(3) << depth, 0);
  file_->Write(palette != nullptr ? palette : black.data(), black.size());
  if (loop >= 0 && loop <= kMaxLoopCount) {
    Put({0x21, 0xFF, 0x0B, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 0x03, 0x01});
    PutLe16(static_cast<uint16_t>(loop));
    Put({0x00});
  }
}

bool GifWriter::CheckSink() {
  if (failed_) return false;
  if (file_->ok()) return true;
  failed_ = true;
  diagnostics_.Err("%s\n", file_->error().c_str());
  file_->Abandon();
  return false;
}

bool GifWriter::WriteFrame(uint16_t delay) {
  if (failed_ || finished_) return false;
  const bool transparent = transparentIndex_ >= 0 && transparentIndex_ < (1 << colorBits_);
  if (delay != 0 || transparent) {
    Put({0x21, 0xF9, 0x04,
         static_cast<uint8_t>(kGraphicControlLeaveInPlace |
                              (transparent ? kTransparencyFlag : 0))});
    PutLe16(delay);
    Put({static_cast<uint8_t>(transparent ? transparentIndex_ : 0), 0x00});
  }
  const gif::ImageRectangle area =
      framesWritten_ == 0
          ? gif::ImageRectangle{0, 0, width_, height_}
          : gif::DifferenceRectangle(currentFrame_.data(), previousFrame_.data(), width_, height_);
  Put({0x2C});
  PutLe16(area.left);
  PutLe16(area.top);
  PutLe16(area.width);
  PutLe16(area.height);
  Put({0x00});  // no local table, not interlaced
  file_->WriteByte(static_cast<uint8_t>(colorBits_));
  encoder_.Encode(currentFrame_.data(), width_, area, subBlocks_);

  currentFrame_.swap(previousFrame_);
  ++framesWritten_;
  return CheckSink();
}

bool GifWriter::Finish() {
  if (failed_ || finished_) return false;
  Put({0x3B});
  finished_ = true;
  if (file_->Finish()) return true;
  failed_ = true;
  diagnostics_.Err("%s\n", file_->error().c_str());
  return false;
}

}  // namespace genshoku
