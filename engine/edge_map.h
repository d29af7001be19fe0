#pragma once
// Which pixels lie on edges of the picture: they take no part in the palette design.
//
// The gradients (central differences or Sobel responses of each channel, with neighbours
// outside the picture mirrored) are worked out pixel by pixel as the rule needs them; no
// gradient plane is kept.

#include <cstdint>

namespace genshoku {

// The in-range index that stands for `index` (-1..size) along a dimension of `size`:
// index -1 reads 1 and index size reads size - 2, without repeating the border sample;
// along a dimension of a single sample the only neighbour there is is the sample itself.
int MirrorIndex(int index, int size);

// Classifies the pixels of rows [firstRow, endRow) and calls mark(i, isEdge) for each of
// them (i the pixel's index in the picture); returns the number of edge pixels among them.
// For edgeOperator 4 no pixel is an edge pixel and edgeStrength (one double per pixel,
// required then) receives every pixel's gradient strength. For an operator outside 0..6
// nothing is marked.
template <typename Mark>
int ClassifyEdgeRows(int width, int height, const uint8_t* srcR, const uint8_t* srcG,
                     const uint8_t* srcB, int edgeOperator, int edgeThreshold, int firstRow,
                     int endRow, double* edgeStrength, Mark&& mark);

// Writes every entry of pixelLabel (LABEL_EDGE or LABEL_NONEDGE; for an operator outside
// 0..6 nothing is written) and returns the number of edge pixels.
int BuildEdgeMap(int width, int height, const uint8_t* srcR, const uint8_t* srcG,
                 const uint8_t* srcB, int edgeOperator, int edgeThreshold, int16_t* pixelLabel,
                 double* edgeStrength);

// The rule of one pixel, given its six gradient values (horizontal and vertical, per
// channel red, green, blue). Returns whether it is an edge pixel; for operator 4 stores the
// strength instead.
bool IsEdgePixel(int edgeOperator, int edgeThreshold, const int (&h)[3], const int (&v)[3],
                 double* strength);

// For operator 6: the smallest sum of the six squared differences that makes an edge pixel
// (the sum is an integer below 2^24, so its single-precision form is exact and the rule
// reduces to a comparison of integers), or -1 when no sum of byte differences reaches it.
int64_t SmallestEdgeSumOfSquares(int edgeThreshold);

bool UsesCentralDifferences(int edgeOperator);
bool UsesSobel(int edgeOperator);

template <typename Mark>
int ClassifyEdgeRows(int width, int height, const uint8_t* srcR, const uint8_t* srcG,
                     const uint8_t* srcB, int edgeOperator, int edgeThreshold, int firstRow,
                     int endRow, double* edgeStrength, Mark&& mark) {
  const bool central = UsesCentralDifferences(edgeOperator);
  if (!central && !UsesSobel(edgeOperator)) return 0;
  const uint8_t* planes[3] = {srcR, srcG, srcB};
  const int64_t smallestEdgeSum = edgeOperator == 6 ? SmallestEdgeSumOfSquares(edgeThreshold) : 0;
  int edgeCount = 0;
  for (int y = firstRow; y < endRow; ++y) {
    const int64_t above = static_cast<int64_t>(MirrorIndex(y - 1, height)) * width;
    const int64_t here = static_cast<int64_t>(y) * width;
    const int64_t below = static_cast<int64_t>(MirrorIndex(y + 1, height)) * width;
    for (int x = 0; x < width; ++x) {
      const int left = x >= 1 && x + 1 < width ? x - 1 : MirrorIndex(x - 1, width);
      const int right = x >= 1 && x + 1 < width ? x + 1 : MirrorIndex(x + 1, width);
      int h[3], v[3];
      for (int c = 0; c < 3; ++c) {
        const uint8_t* p = planes[c];
        if (central) {
          const int dh = p[here + right] - p[here + left];
          const int dv = p[above + x] - p[below + x];
          h[c] = dh < 0 ? -dh : dh;
          v[c] = dv < 0 ? -dv : dv;
        } else {
          h[c] = (p[above + right] - p[above + left]) + 2 * (p[here + right] - p[here + left]) +
                 (p[below + right] - p[below + left]);
          v[c] = (p[below + left] - p[above + left]) + 2 * (p[below + x] - p[above + x]) +
                 (p[below + right] - p[above + right]);
        }
      }
      const int64_t i = here + x;
      bool edge;
      if (edgeOperator == 6) {
        const int64_t sum = int64_t{h[0]} * h[0] + int64_t{v[0]} * v[0] + int64_t{h[1]} * h[1] +
                            int64_t{v[1]} * v[1] + int64_t{h[2]} * h[2] + int64_t{v[2]} * v[2];
        edge = smallestEdgeSum >= 0 && sum >= smallestEdgeSum;
      } else {
        edge = IsEdgePixel(edgeOperator, edgeThreshold, h, v,
                           edgeStrength ? &edgeStrength[i] : nullptr);
      }
      if (edge) ++edgeCount;
      mark(i, edge);
    }
  }
  return edgeCount;
}

}  // namespace genshoku
