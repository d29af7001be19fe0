#pragma once
// GifReader: reads GIF89a files one image at a time onto a red-green-blue canvas of the
// logical screen.
//
// Open reads the header, the screen descriptor and the global colour table; each NextImage
// first retires the previous image according to its disposal method, then reads blocks up
// to and including the next image, whose colour indices land in `screenIndices`; Render
// copies the canvas with the latest image on top into a caller's buffer. The canvas is
// made when the first image is met, so a caller can look at the screen's size before any
// memory is set aside for it, and a file without images sets none aside.
//
// The reader takes its bytes from a file or from memory and never trusts them: every
// write stays inside the screen, nothing is read outside the input, work grows linearly
// with the input, and no screen of more than kMaxScreenPixels pixels is accepted.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "codecs/gif/byte_source.h"
#include "codecs/gif/image_placement.h"
#include "codecs/gif/lzw_decoder.h"
#include "common/diagnostics.h"

namespace genshoku {

struct GifColorTable {
  uint16_t count = 0;            // entries the file declared (2 to 256)
  uint8_t colors[256 * 3] = {};  // red, green, blue; entries past `count` stay black
};

class GifReader {
 public:
  // The largest screen (width x height) a file may declare: the picture limit of the
  // program, which keeps a forged header from demanding a huge canvas.
  static constexpr uint64_t kMaxScreenPixels = 100'000'000;

  // The versions Open takes: GIF89a alone (the window's rule), or GIF87a too, the older
  // version without extensions, which the same reading draws.
  enum class Versions { Only89a, Both };

  // NextImage results.
  static constexpr int kImageRead = 1;
  static constexpr int kTrailer = 0;
  static constexpr int kError = -1;

  // Opens a file. None when it cannot be opened, is not a GIF89a file (or GIF87a file, as
  // `versions` allow) with a global colour
  // table ("invalid signature\n", "invalid version\n", "no global color table\n" on
  // standard error), declares a screen above kMaxScreenPixels, or memory is short. Then
  // `failure`, when given, receives the reason in a few words for a message that names
  // the file ("not a GIF file", ...).
  static std::unique_ptr<GifReader> Open(const std::string& path,
                                         Diagnostics& diagnostics = StandardDiagnostics(),
                                         std::string* failure = nullptr,
                                         Versions versions = Versions::Only89a);
  // The same on bytes in memory, which must outlive the reader.
  static std::unique_ptr<GifReader> OpenMemory(const uint8_t* data, size_t size,
                                               Diagnostics& diagnostics = StandardDiagnostics(),
                                               std::string* failure = nullptr,
                                               Versions versions = Versions::Only89a);
  static std::unique_ptr<GifReader> Open(std::unique_ptr<gif::ByteSource> source,
                                         Diagnostics& diagnostics = StandardDiagnostics(),
                                         std::string* failure = nullptr,
                                         Versions versions = Versions::Only89a);

  ~GifReader();
  GifReader(const GifReader&) = delete;
  GifReader& operator=(const GifReader&) = delete;

  // kImageRead when an image was read (also one whose data stop early: the indices that
  // arrived are placed), kTrailer at the trailer or where the input ends between blocks,
  // kError for an unknown block, a code not in the table, a bad minimum code size or an
  // image descriptor cut short. After kError the caller stops reading.
  int NextImage();

  // What is wrong with the data, in a few words, once NextImage met an image that is not
  // whole ("the data end before the last row", "damaged compressed data"), a file without
  // images ("no image data") or a fault; empty while nothing is wrong.
  const std::string& damage() const { return damage_; }

  // When set, an image whose data certainly cannot fill its rectangle (LZW makes at most
  // 4096 indices of 12 bits) is not decoded: NextImage reports kError with the damage,
  // before the canvas is made.
  void RefuseDamagedImages(bool refuse) { refuseDamaged_ = refuse; }

  // Copies the canvas into `buffer` (width x height x 3 bytes, red-green-blue, top row
  // first) and draws the current image's pixels over it, leaving transparent ones out.
  // Before the first image the canvas is the background colour. Not with KeepAlpha.
  void Render(uint8_t* buffer) const;

  // When set before the first image, the canvas also keeps alpha, as viewers show a GIF:
  // what no image has drawn, what an image's transparent index leaves out and what a
  // disposal to the background clears are transparent (with the background colour), every
  // drawn pixel opaque. RenderRgba then gives the picture.
  void KeepAlpha(bool keep) { keepAlpha_ = keep; }
  // As Render, into width x height x 4 bytes (red, green, blue, alpha). Only with KeepAlpha.
  void RenderRgba(uint8_t* buffer) const;

  // Closes the input and releases the canvas; NextImage then reports kError and Render
  // leaves the buffer alone. The destructor does the same.
  void Close();

  uint16_t width() const { return width_; }
  uint16_t height() const { return height_; }
  uint16_t colorResolution() const { return colorResolution_; }
  uint16_t repeatCount() const { return repeatCount_; }
  uint16_t delayTime() const { return delayTime_; }
  uint8_t transparentIndex() const { return transparentIndex_; }
  uint8_t disposalMethod() const { return disposalMethod_; }
  uint8_t userInputFlag() const { return userInputFlag_; }
  uint8_t transparencyFlag() const { return transparencyFlag_; }
  const GifColorTable& activeTable() const { return *activeTable_; }
  const GifColorTable& globalTable() const { return globalTable_; }
  uint16_t rectLeft() const { return rectangle_.left; }
  uint16_t rectTop() const { return rectangle_.top; }
  uint16_t rectWidth() const { return rectangle_.width; }
  uint16_t rectHeight() const { return rectangle_.height; }
  uint8_t backgroundIndex() const { return backgroundIndex_; }
  const std::vector<uint8_t>& screenRgb() const { return screenRgb_; }
  const std::vector<uint8_t>& screenIndices() const { return screenIndices_; }

 private:
  GifReader(std::unique_ptr<gif::ByteSource> source, Diagnostics& diagnostics);

  // Makes the canvas, filled with the background; false when memory is short.
  bool MakeScreen();
  // Whether the image's data could fill its rectangle.
  bool DataCanFill(uint64_t dataBytes) const;
  void NoteImageDamage(gif::LzwOutcome outcome, uint64_t decoded);
  void Dispose();
  void ReadExtension();
  void ReadGraphicControl();
  void ReadApplication();
  int ReadImage();
  // The bytes of one canvas pixel: red, green, blue, and alpha with KeepAlpha.
  size_t CanvasBytes() const { return keepAlpha_ ? 4 : 3; }
  // Draws the current image's non-transparent pixels, opaque, into a buffer laid out as the
  // canvas.
  void DrawImage(uint8_t* canvas) const;
  // Paints `area` of a buffer laid out as the canvas with `color` (and `alpha`, with
  // KeepAlpha).
  void FillRectangle(uint8_t* canvas, const gif::ImageRectangle& area, const uint8_t* color,
                     uint8_t alpha) const;
  void CopyCanvas(uint8_t* buffer) const;

  std::unique_ptr<gif::ByteSource> file_;
  Diagnostics& diagnostics_;

  uint16_t width_ = 0;
  uint16_t height_ = 0;
  uint16_t colorResolution_ = 0;
  uint16_t repeatCount_ = 0;
  uint16_t delayTime_ = 0;
  uint8_t transparentIndex_ = 0;
  uint8_t disposalMethod_ = 0;
  uint8_t userInputFlag_ = 0;
  uint8_t transparencyFlag_ = 0;
  const GifColorTable* activeTable_ = &globalTable_;
  GifColorTable localTable_;
  GifColorTable globalTable_;
  gif::ImageRectangle rectangle_;
  uint8_t backgroundIndex_ = 0;
  std::vector<uint8_t> screenRgb_;  // the canvas: CanvasBytes() per pixel
  std::vector<uint8_t> screenIndices_;
  bool screenMade_ = false;
  bool imageSeen_ = false;
  bool refuseDamaged_ = false;
  bool keepAlpha_ = false;
  std::string damage_;
};

}  // namespace genshoku
