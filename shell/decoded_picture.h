#pragma once
// A picture decoded from a JPEG, PNG or GIF file becomes the window's current picture: the
// 24-bit image block the window shows and the reduction reads (file and info headers, then
// rows bottom first, blue, green, red, padded to four bytes). Alpha is dropped, without
// blending against a background.

#include "common/pictures.h"
#include "shell/picture_state.h"

namespace genshoku {

// Makes `picture` the current one and shows it; sets imageWidth, imageHeight, imageVisible
// and the reduction's source (the picture in memory). The previous picture stays when the
// block cannot be had (std::bad_alloc is thrown then).
void InstallDecodedPicture(const RgbaPicture& picture, PictureState& state);

}  // namespace genshoku
