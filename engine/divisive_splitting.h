#pragma once
// Divisive splitting: from the first principal-axis split of all taking-part pixels to
// exactly the palette's number of clusters (256 unless asked otherwise), always cutting
// the cluster with the largest split priority along its own principal axis.
//
// Every cut is made on a coordinate that depends only on the colour, so all taking-part
// pixels of one colour always stay together, and the cut itself, the threshold search and
// the extremes are worked out per colour. Sums over pixels (means, covariances, split
// priorities) run over the cluster's own pixel list, in pixel order, as a pass over the
// whole picture would add them. Edge pixels take part in nothing here.
//
// The steps live in divisive_splitting/: the clusters and their table (clusters.h,
// cluster_table.h), the first split (first_split.h), the split of one cluster
// (cluster_split.h) with its covariance and principal axis (cluster_statistics.h), its
// threshold (threshold_of_colours.h, by the rules of split_threshold.h), its cut
// (cluster_partition.h) and the priorities of its parts (split_priority.h), and the order
// and threads in which the splits are worked out (split_schedule.h).

#include "engine/colour_table.h"
#include "engine/divisive_splitting/cluster_table.h"
#include "engine/divisive_splitting/clusters.h"
#include "engine/engine_run.h"
#include "engine/reduction_params.h"

namespace genshoku {

// Runs the first split of all pixels that are not edge pixels, the first assignment
// (pixels at or above the first threshold form cluster 0, the others cluster 1) and the
// splits up to `clusterCount` (2..256) clusters. On return clusters[label] holds the members
// of each label and positions 0..clusterCount-1 of table.PT[table.MEN] describe the
// clusters. Once the first split has read them, the per-pixel colour numbers of `colours`
// are released (ColourTable::ReleasePixelColours). edgeStrength (one double per pixel) is
// read for edge operator 4 only. Throws EigenNotConverged (after printing the message)
// when a covariance cannot be diagonalised.
void SplitIntoClusters(ColourTable& colours, const double* edgeStrength,
                       const ReductionParams& params, int threads, int clusterCount,
                       ClusterTable& table, Clusters& clusters, EngineRun& run);

// Renumbers the colours cluster by cluster (ColourTable::Renumber), so that the colours of
// one cluster lie together, and rewrites the clusters' colour numbers to match.
void RenumberColoursByCluster(ColourTable& colours, Clusters& clusters);

}  // namespace genshoku
