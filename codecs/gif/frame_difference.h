#pragma once
// The part of a frame that changed since the previous one: a later frame of an animation is
// stored only as the smallest rectangle holding every pixel that differs.

#include <cstdint>

#include "codecs/gif/image_placement.h"

namespace genshoku::gif {

// Compares two frames of width x height indices. When nothing differs the answer is the
// single pixel at (0, 0): an image must have at least one pixel.
ImageRectangle DifferenceRectangle(const uint8_t* current, const uint8_t* previous, uint16_t width,
                                   uint16_t height);

}  // namespace genshoku::gif
