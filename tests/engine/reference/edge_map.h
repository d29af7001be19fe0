#pragma once
// Which pixels lie on edges of the picture: they take no part in the palette design.

#include <cstdint>

namespace genshoku::reference {

// Writes every entry of pixelLabel (LABEL_EDGE or LABEL_NONEDGE; for an operator outside
// 0..6 nothing is written) and returns the number of edge pixels. For edgeOperator 4 no
// pixel is an edge pixel; edgeStrength (width x height doubles, required then, may be null
// otherwise) receives every pixel's gradient strength instead.
int BuildEdgeMap(int width, int height, const uint8_t* srcR, const uint8_t* srcG,
                 const uint8_t* srcB, int edgeOperator, int edgeThreshold, int16_t* pixelLabel,
                 double* edgeStrength);

}  // namespace genshoku::reference
