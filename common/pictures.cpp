#include "common/pictures.h"

#include <algorithm>

namespace genshoku {

namespace {

bool AnyTransparent(const std::vector<Rgba>& colours) {
  return std::any_of(colours.begin(), colours.end(),
                     [](const Rgba& colour) { return colour.alpha != 255; });
}

}  // namespace

bool RgbaPicture::HasTransparency() const { return AnyTransparent(pixels); }

bool IndexedPicture::HasTransparency() const { return AnyTransparent(palette); }

}  // namespace genshoku
