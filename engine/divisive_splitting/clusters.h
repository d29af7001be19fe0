#pragma once
// The clusters of the divisive splitting: the table that ranks them and the pixels of each.
//
// A cluster is held as the ordered list of its pixels and the table of its distinct
// colours; each pixel names its colour by its place in that table, so that the passes over
// a cluster read tables of the cluster's own size.

#include <array>
#include <cstdint>
#include <vector>

#include "engine/colour_table.h"
#include "engine/divisive_splitting/cluster_statistics.h"
#include "engine/engine_run.h"
#include "engine/engine_types.h"
#include "engine/reduction_params.h"
#include "engine/shrinkable_buffer.h"

namespace genshoku {

// One cluster in the table. The capital names are the table's own, which the diagnostic
// lines print ("INDEXNO%d %d", "PT[MEN][%d].INDEXNO=%d").
struct ClusterRecord {
  int32_t COUNT = 0;    // pixels whose label is INDEXNO
  int32_t INDEXNO = 0;  // the cluster's label, 0..255
  // Split priority: how much the cluster gains from being cut, by the spread rule (the sum
  // of the squared distances from its mean under the default settings).
  double SPREAD = 0.0;
};

// Two sides of 256 records (PT); each split rebuilds the table into the other side and
// makes it current (MEN, 0 or 1, names the current side). Between two splits with n
// clusters, positions 0..n-1 of PT[MEN] hold the labels 0..n-1 once each, the two clusters
// of the latest split at positions 0 and 1 and the others in their previous order
// (selection ties go to the lower position).
struct ClusterTable {
  ClusterRecord PT[2][kPaletteSize];
  int MEN = 0;
  int32_t nonEdgeCount = 0;  // pixels that take part in the clustering
};

// One pixel of a cluster: its index in the picture and the place of its colour in the
// cluster's colour table.
struct Member {
  uint32_t pixel;
  uint32_t colour;
};

// A cluster's list is sized for its pixels and then written in full; the larger part of a
// split takes over its parent's list and shrinks it.
using MemberList = ShrinkableBuffer<Member>;

// The pixels of one cluster and the sums that later steps reuse.
struct ClusterMembers {
  MemberList pixels;  // ascending pixel indices
  // Its distinct colours (colour numbers of the colour table), each with all its
  // taking-part pixels.
  std::vector<uint32_t> colours;
  Triple sums;              // sums of the working colours, reversed order, pixel order
  CovarianceSums products;  // about the cluster's mean, pixel order
  double termSum = 0.0;     // sum of its split priority terms, made with the products
};

using Clusters = std::array<ClusterMembers, kPaletteSize>;

// What every step of the splitting reads besides the clusters. A split worked out on the
// helper thread has its own quiet run, whose host is never asked anything.
struct SplitContext {
  const ColourTable& colours;
  const double* edgeStrength;  // per pixel, read for edge operator 4 only
  const ReductionParams& params;
  EngineRun& run;
};

// Passes over fewer pixels than this stay on one thread.
inline constexpr int64_t kPixelsWorthTwoThreads = int64_t{1} << 16;

// The threads a pass over `pixels` pixels uses out of `threads`.
inline int ThreadsForPass(int64_t pixels, int threads) {
  return pixels >= kPixelsWorthTwoThreads ? threads : 1;
}

// The passes over a cluster's pixels read their colours' records in no useful order; they
// ask for the record this many pixels ahead.
inline constexpr int kFetchAhead = 16;

}  // namespace genshoku
