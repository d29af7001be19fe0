#pragma once
// Divisive splitting: from the first principal-axis split of all taking-part pixels to
// exactly 256 clusters, always cutting the cluster with the largest split priority along
// its own principal axis.
//
// A cluster is held as the ordered list of its pixels and the table of its distinct
// colours; each pixel names its colour by its place in that table, so that the passes over
// a cluster read tables of the cluster's own size. Every cut is made on a coordinate that
// depends only on the colour, so all taking-part pixels of one colour always stay together,
// and the cut itself, the threshold search and the extremes are worked out per colour. Sums
// over pixels (means, covariances, split priorities) run over the cluster's own pixel list,
// in pixel order, as a pass over the whole picture would add them. Edge pixels take part in
// nothing here.

#include <array>
#include <cstdint>
#include <vector>

#include "engine/cluster_statistics.h"
#include "engine/colour_table.h"
#include "engine/engine_run.h"
#include "engine/engine_types.h"
#include "engine/reduction_params.h"
#include "engine/shrinkable_buffer.h"

namespace genshoku {

struct ClusterRecord {
  int32_t COUNT = 0;    // pixels whose label is INDEXNO
  int32_t INDEXNO = 0;  // the cluster's label, 0..255
  double SPREAD = 0.0;  // split priority
};

// Two sides of 256 records; each split rebuilds the table into the other side and makes
// it current. Between two splits with n clusters, positions 0..n-1 of PT[MEN] hold the
// labels 0..n-1 once each, the two clusters of the latest split at positions 0 and 1 and
// the others in their previous order (selection ties go to the lower position).
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
};

using Clusters = std::array<ClusterMembers, kPaletteSize>;

// Runs the first split of all pixels that are not edge pixels, the first assignment
// (pixels at or above the first threshold form cluster 0, the others cluster 1) and the
// splits up to 256 clusters. On return clusters[label] holds the members of each label and
// table.PT[table.MEN] describes the 256 clusters. Once the first split has read them, the
// per-pixel colour numbers of `colours` are released (ColourTable::ReleasePixelColours).
// edgeStrength (one double per pixel) is read for edge operator 4 only. Throws EigenNotConverged
// (after printing the message) when a covariance cannot be diagonalised.
void SplitIntoClusters(ColourTable& colours, const double* edgeStrength,
                       const ReductionParams& params, int threads, ClusterTable& table,
                       Clusters& clusters, EngineRun& run);

// Renumbers the colours cluster by cluster (ColourTable::Renumber), so that the colours of
// one cluster lie together, and rewrites the clusters' colour numbers to match.
void RenumberColoursByCluster(ColourTable& colours, Clusters& clusters);

// Position in PT[MEN] of the cluster to split next among the first n: the largest key
// (SPREAD, or COUNT x SPREAD for spreadMode 0), the lowest position among equal keys.
int SelectClusterToSplit(const ClusterTable& table, int n, int spreadMode);

}  // namespace genshoku
