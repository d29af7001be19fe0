#pragma once
// A small palette for partly transparent pixels, designed where their colours are seen: in
// premultiplied RGBA, (r * a, g * a, b * a, a) with a from 0 to 1 (alpha weighted, below). There
// two colours that are barely visible lie close together whatever their red, green and blue, while
// the alpha itself is a coordinate of its own, so an entry stands for pixels of similar coverage
// and similar visible colour.
//
// The design is a median cut (the box with the largest squared error is cut at the
// weighted median of its widest coordinate) followed by a few Lloyd steps over the
// distinct colours. Everything runs in the order of the colours as given: the result does
// not depend on threads.

#include <array>
#include <cstdint>
#include <vector>

#include "common/pictures.h"

namespace genshoku {

// The weight of alpha against each premultiplied channel. On a background of unknown
// colour an error of d in alpha moves each of the three shown channels by up to d, so it
// counts as much as an error of d in all three: sqrt(3) times one channel's.
inline constexpr double kAlphaWeight = 1.7320508075688772;

// A colour in the premultiplied space on the byte scale: r * a / 255, g * a / 255,
// b * a / 255 and the weighted alpha.
using PremultipliedColour = std::array<double, 4>;
inline PremultipliedColour Premultiplied(double red, double green, double blue, double alpha) {
  return {red * alpha / 255.0, green * alpha / 255.0, blue * alpha / 255.0, alpha * kAlphaWeight};
}

// A distinct colour with the number of its pixels.
struct CountedRgba {
  Rgba colour;
  uint64_t count = 0;
};

// At most `entries` (1..256) entries for `colours`: one per colour when there are no more
// colours than entries, otherwise the median cut refined by `lloydSteps` Lloyd steps. An
// entry's alpha is the mean alpha of its pixels and its colour their alpha-weighted mean
// colour, both rounded, so an entry of pixels with alpha from 1 to 254 keeps its alpha in
// that range. Empty for no colours.
std::vector<Rgba> DesignPremultipliedPalette(const std::vector<CountedRgba>& colours, int entries,
                                             int lloydSteps);

// The entry of `palette` nearest to `colour` in premultiplied RGBA (squared distance, the
// lowest index on ties). The palette must not be empty.
int NearestPremultipliedEntry(const std::vector<Rgba>& palette, Rgba colour);

}  // namespace genshoku
