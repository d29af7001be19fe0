#pragma once
// Error diffusion of partly transparent pixels onto their premultiplied palette
// (engine/premultiplied_palette.h): Floyd-Steinberg in premultiplied RGBA, rows scanned
// alternately left to right and right to left. Only the pixels it maps take part: no error
// flows into or out of the others, so the opaque and the fully transparent pixels around
// them neither give nor take any. Sequential: the result does not depend on threads.

#include <cstdint>
#include <vector>

#include "common/pictures.h"

namespace genshoku {

struct PremultipliedPlanes {
  int width = 0;
  int height = 0;
  const uint8_t* red = nullptr;
  const uint8_t* green = nullptr;
  const uint8_t* blue = nullptr;
  const uint8_t* alpha = nullptr;
};

// Maps every pixel marked in `mapped` (one byte per pixel) to the entry of `palette` (not
// empty) nearest to its colour plus the error carried to it, and writes firstEntry plus
// that entry into `indices`; `strength` (0..1) is the share of each error passed on.
void DiffusePremultiplied(const PremultipliedPlanes& planes, const uint8_t* mapped,
                          const std::vector<Rgba>& palette, double strength, int firstEntry,
                          uint8_t* indices);

}  // namespace genshoku
