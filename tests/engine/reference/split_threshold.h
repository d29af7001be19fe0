#pragma once
// Where to cut a cluster in two: its colours in a frame whose first axis is the cluster's
// principal axis, the integer cut point on that axis, and the first split of all pixels
// that take part in the palette design.
//
// Whatever rule chooses the threshold T, the cut is made on the real along-axis value:
// alongAxis >= T on one side, alongAxis < T on the other.

#include <cstdint>
#include <vector>

#include "common/diagnostics.h"
#include "tests/engine/reference/cluster_statistics.h"
#include "tests/engine/reference/engine_run.h"

namespace genshoku::reference {

// Rotates every vector (inY[i], inU[i], inV[i]) so that `axis` (plane order, any length)
// becomes the first coordinate: outAlong is the component along the axis, outAcross1 and
// outAcross2 the two perpendicular ones. Lengths are preserved.
void RotateOntoAxis(int64_t pixelCount, const Triple& axis, const double* inY, const double* inU,
                    const double* inV, double* outAlong, double* outAcross1, double* outAcross2);
// The same for the pixels labelled key only; the outputs of other pixels are not written.
void RotateOntoAxisWithLabel(int64_t pixelCount, const Triple& axis, const double* inY,
                             const double* inU, const double* inV, const int16_t* labels,
                             int16_t key, double* outAlong, double* outAcross1, double* outAcross2);

// Cut point for `count` along-axis values v with their perpendicular coordinates p1, p2,
// searched over the integer positions between the smallest and the largest value.
// Criterion 3 maximises the one-dimensional Otsu separation of v, criterion 4 minimises
// the summed squared distances of both halves from their means in all three dimensions;
// any other criterion gives 0. Calls run.Pump() before scoring each candidate. An empty
// list gives 0 without pumping.
int OtsuThresholdReal(int64_t count, const double* v, const double* p1, const double* p2,
                      int criterion, EngineRun& run);

// One-dimensional Otsu cut point of `count` integers, scored in single precision. An empty
// list gives 0.
int OtsuThresholdInt(int64_t count, const int32_t* values);

// Histogram median of `count` integers; prints "MIN=%d,MED=%d,MAX=%d\n" on standard output.
// An empty list gives 0 and prints nothing.
int MedianThreshold(int64_t count, const int32_t* values, Diagnostics& diagnostics);

// The threshold of one split by thresholdMode (0 Otsu on the integer positions, 1 median,
// 2 the mean, 3 Otsu on the real values, 4 minimum three-dimensional scatter, other: the
// previous split's threshold). `intValues` are the rounded along-axis values, `along`,
// `across1`, `across2` the real coordinates, all of the same `count` pixels. At the first
// split modes 0, 3 and 4 print the threshold ("THRESH OHTSU=%d\n" or
// "THRESH OHTSU2=%d\n"); an empty list gives 0 and prints nothing.
int SplitThreshold(int thresholdMode, int64_t count, const int32_t* intValues, const double* along,
                   const double* across1, const double* across2, bool firstSplit,
                   int previousThreshold, EngineRun& run);

// Per-pixel working buffers of every split, pixelCount entries each.
//
// Once a cluster has been rotated its centred colours are not needed any more, so the
// compacted lists of the cluster's coordinates (the input of the threshold search) are
// written into the centred planes.
struct SplitBuffers {
  explicit SplitBuffers(int64_t pixelCount);

  std::vector<double> centredY, centredU, centredV;
  std::vector<double> alongAxis, acrossAxis1, acrossAxis2;
  // Snapshot of alongAxis taken right after a cluster's rotation; the relabelling reads it.
  std::vector<double> relabelCopy;
  // The rounded along-axis values of the pixels being split, in pixel order.
  std::vector<int32_t> intProjection;

  double* compactAlong() { return centredY.data(); }
  double* compactAcross1() { return centredU.data(); }
  double* compactAcross2() { return centredV.data(); }
};

struct FirstSplitResult {
  int threshold = 0;  // pixels with alongAxis >= threshold form cluster 0
  int axisIndex = 0;  // eigenvector column of the axis used
};

// The first split: principal axis of all pixels not labelled LABEL_EDGE, rotation of their
// centred colours onto it (buffers.alongAxis etc. for every pixel; edge pixels get zero
// coordinates) and the threshold by thresholdMode. When every pixel is an edge pixel all
// labels become LABEL_NONEDGE first and every pixel takes part. Labels are not otherwise
// changed here: the first assignment belongs to the divisive splitting.
FirstSplitResult FirstSplit(int64_t pixelCount, const double* planeY, const double* planeU,
                            const double* planeV, int16_t* pixelLabel, int64_t edgeCount,
                            int thresholdMode, SplitBuffers& buffers, EngineRun& run);

}  // namespace genshoku::reference
