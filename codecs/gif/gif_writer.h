#pragma once
// GifWriter: writes GIF89a files from frames of colour indices.
//
// The file has one global colour table, an optional NETSCAPE looping extension and, per
// frame, an optional graphic control extension (the delay) and one LZW-compressed image.
// A frame after the first is stored only as the rectangle in which it differs from the one
// before. The caller fills currentFrame() before each WriteFrame.
//
// Written to a file, nothing appears under the file's name until Finish succeeds: a failed
// write leaves the previous file untouched and no partial file behind, prints one line on
// standard error, and makes WriteFrame or Finish return false. A writer destroyed without
// Finish writes nothing.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "codecs/gif/byte_sink.h"
#include "codecs/gif/lzw_encoder.h"
#include "codecs/gif/sub_block_writer.h"
#include "common/diagnostics.h"

namespace genshoku {

class GifWriter {
 public:
  // The largest width and height a GIF screen can describe.
  static constexpr int kMaxSide = 65535;

  // Starts a file at `path`: header, screen descriptor, the global colour table of
  // 2^depth entries taken from `palette` (red, green, blue per entry; null gives black),
  // and, for a loop count from 0 (endless) to 65535, the looping extension. None, with one
  // line on standard error, when the size is not 1 to 65535 on each side, the depth is not
  // 1 to 8, the file cannot be created or memory is short.
  static std::unique_ptr<GifWriter> Create(const std::string& path, int width, int height,
                                           const uint8_t* palette, int depth, int loop,
                                           Diagnostics& diagnostics = StandardDiagnostics());
  // The same, appending the file's bytes to `output`, which must outlive the writer.
  static std::unique_ptr<GifWriter> Create(std::vector<uint8_t>& output, int width, int height,
                                           const uint8_t* palette, int depth, int loop,
                                           Diagnostics& diagnostics = StandardDiagnostics());

  ~GifWriter();
  GifWriter(const GifWriter&) = delete;
  GifWriter& operator=(const GifWriter&) = delete;

  // width x height indices, top row first, for the caller to fill before WriteFrame.
  uint8_t* currentFrame() { return currentFrame_.data(); }
  // The frame written last (after the first WriteFrame).
  const uint8_t* previousFrame() const { return previousFrame_.data(); }

  // Makes the frames written from now on show the pixels of `index` (0 to 2^depth - 1) as
  // transparent: their graphic control extension carries the transparency flag and the
  // index. -1 (the default) writes no transparency.
  void SetTransparentIndex(int index) { transparentIndex_ = index; }

  // Writes the graphic control extension (when `delay`, in hundredths of a second, is not
  // 0, or a transparent index is set) and currentFrame() as one image, then keeps it as the
  // previous frame; currentFrame() then holds the frame before, for the caller to
  // overwrite. False once writing failed.
  bool WriteFrame(uint16_t delay);

  // Writes the trailer and completes the file. False if any write failed.
  bool Finish();

  uint16_t width() const { return width_; }
  uint16_t height() const { return height_; }
  int colorBits() const { return colorBits_; }
  uint32_t framesWritten() const { return framesWritten_; }

 private:
  GifWriter(std::unique_ptr<gif::ByteSink> sink, Diagnostics& diagnostics, uint16_t width,
            uint16_t height, int colorBits);

  static std::unique_ptr<GifWriter> Start(std::unique_ptr<gif::ByteSink> sink, int width,
                                          int height, const uint8_t* palette, int depth, int loop,
                                          Diagnostics& diagnostics);
  void WriteHeader(const uint8_t* palette, int depth, int loop);
  void Put(std::initializer_list<uint8_t> bytes);
  void PutLe16(uint16_t value);
  // Reports the first failure once and throws away what was written.
  bool CheckSink();

  uint16_t width_;
  uint16_t height_;
  int colorBits_;
  std::unique_ptr<gif::ByteSink> file_;
  Diagnostics& diagnostics_;
  uint32_t framesWritten_ = 0;
  std::vector<uint8_t> currentFrame_;
  std::vector<uint8_t> previousFrame_;
  gif::SubBlockWriter subBlocks_;
  gif::LzwEncoder encoder_;
  int transparentIndex_ = -1;
  bool failed_ = false;
  bool finished_ = false;
};

}  // namespace genshoku
