#pragma once
// Gradients of one int plane (width x height, row-major) for the edge map.
//
// Neighbours outside the picture are mirrored without repeating the border sample: index
// -1 reads 1 and index size reads size - 2. Along a dimension of a single sample the only
// neighbour there is is the sample itself.

#include <cstdint>

namespace genshoku::reference {

// The in-range index that stands for `index` (-1..size) along a dimension of `size`.
int MirrorIndex(int index, int size);

// diff = |in[y][x+1] - in[y][x-1]|, flag = 1 where diff >= threshold, else 0. `flag` may be
// null when no rule reads the flags.
void CentralDiffH(int width, int height, int threshold, const int* in, int* diff, int* flag);

// diff = |in[y-1][x] - in[y+1][x]|, flag as above.
void CentralDiffV(int width, int height, int threshold, const int* in, int* diff, int* flag);

// Adds the signed horizontal Sobel response (kernel rows -1 0 1 / -2 0 2 / -1 0 1) onto out.
void SobelH(int width, int height, const int* in, int* out);

// Adds the signed vertical Sobel response (kernel rows -1 -2 -1 / 0 0 0 / 1 2 1) onto out.
void SobelV(int width, int height, const int* in, int* out);

}  // namespace genshoku::reference
