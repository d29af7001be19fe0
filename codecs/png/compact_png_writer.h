#pragma once
// The compact PNG writer: a palette picture as small as the writer can make it, with
// deflate, Huffman and zlib of its own. Independent of the window's PNG writer
// (png_encoder.h), whose stream stays as it is.
//
//   CompactPngImage image{width, height, indices, palette};
//   std::vector<uint8_t> png;
//   CompactPngStatus status = EncodeCompactPng(image, CompactPngOptions{}, png);
//
// The file holds IHDR, PLTE with the colours the picture uses, tRNS when some colour is
// not opaque (ending at the last such entry), one IDAT and IEND. Palette entries may be
// reordered and merged and indices renumbered: every pixel keeps its colour and alpha.
// The bytes are the same whatever the number of threads.

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "codecs/png/compact_palette.h"
#include "codecs/png/compact_rows.h"
#include "common/pictures.h"

namespace genshoku::png {

// The largest picture the writer takes, in pixels (the PNG reader's limit).
inline constexpr int64_t kMaxCompactPngPixels = 100'000'000;
// The longest side the writer takes (PNG allows 2^31 - 1).
inline constexpr int64_t kMaxCompactPngSide = 0x7FFFFFFF;

enum class CompactPngStatus {
  kOk,
  kBadSize,              // width or height below 1 or above the longest side
  kTooLarge,             // more pixels than kMaxCompactPngPixels
  kIndicesSizeMismatch,  // indices.size() is not width x height
  kBadPalette,           // a palette of 0 or more than 256 entries
  kIndexOutsidePalette,  // some index is not below the palette's size
  kOutOfMemory,
  kStopped,          // the progress callback asked to stop
  kCannotWriteFile,  // only from the file wrapper (compact_png_file.h)
};

// A short English description of a status ("the picture is too large", ...).
const char* CompactPngStatusText(CompactPngStatus status);

struct CompactPngImage {
  int64_t width = 0;
  int64_t height = 0;
  std::span<const uint8_t> indices;  // width x height, row-major, top row first
  std::span<const Rgba> palette;     // 1..256 entries
};

struct CompactPngOptions {
  // 0: two threads for large pictures on machines with two cores or more; 1 or 2.
  int threads = 0;
  // Dark to light by default: unfiltered rows compress about as well in any order, and
  // filtered ones far better in this one.
  CompactPaletteOrder paletteOrder = CompactPaletteOrder::kByLuminance;
  CompactRowFilter rowFilter = CompactRowFilter::kAuto;
  // How hard the writer looks for copies: 1 (fast) to 3 (thorough); 2 is the default.
  int effort = 2;
  // Called now and then with the share of the work done (0 to 1); returning false stops
  // the writer, which then returns kStopped. May be empty.
  std::function<bool(double done)> progress;
};

// Writes the PNG file of `image` into `png` (replaced). On any status but kOk, `png` is
// left empty.
CompactPngStatus EncodeCompactPng(const CompactPngImage& image, const CompactPngOptions& options,
                                  std::vector<uint8_t>& png);

}  // namespace genshoku::png
