#pragma once
// The rows of the compact PNG writer as the zlib stream takes them: each row's indices
// packed at the palette's bit depth (leftmost pixel in the highest bits), preceded by the
// row's filter type.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace genshoku::png {

enum class CompactRowFilter {
  kNone,         // every row unfiltered: what drawings and screenshots want
  kSub,          // every row as differences from the byte to the left
  kUp,           // every row as differences from the byte above
  kAverage,      // every row as differences from the mean of left and above
  kPaeth,        // every row as differences from the Paeth predictor
  kSmallestSum,  // per row the filter whose bytes, read as signed, add up to the least:
                 // what photos want when the palette runs from dark to light
  kAuto,         // the writer's own choice (compact_png_writer.h)
};

// The bytes of a packed row of `width` pixels at `bitDepth`.
size_t PackedRowBytes(int64_t width, int bitDepth);

// Packs and filters `height` rows of `width` indices, each index mapped through
// `newIndex` (kAuto is taken as kNone here). Each row starts with its filter type byte.
std::vector<uint8_t> BuildFilteredRows(const uint8_t* indices, int64_t width, int64_t height,
                                       const std::array<uint8_t, 256>& newIndex, int bitDepth,
                                       CompactRowFilter filter);

}  // namespace genshoku::png
