#pragma once
// The split priority (SPREAD) of new clusters, by the spread rule of the settings, with the
// products about each cluster's mean that its own split reads later.

#include <cstdint>

#include "engine/divisive_splitting/clusters.h"

namespace genshoku {

// Adds the products about their means of the two clusters (stored in them) and returns
// their SPREAD in `spread`: 0 for an empty cluster. The rules that diagonalise take the
// principal axis, where equal eigenvalues leave a choice, as `previousAxisIndex`. The
// pixel passes of the two clusters are independent and may run on two threads; the
// calling thread passes progress points to context.run.
void SpreadsOfTwoClusters(const SplitContext& context, ClusterMembers& first,
                          ClusterMembers& second, int previousAxisIndex, int threads,
                          double (&spread)[2]);

// The SPREAD of a cluster whose products and term sum are already its own (a cluster
// taken over whole from its parent), from its colours alone: what SpreadsOfTwoClusters
// gives for it, without a pass over its pixels.
double SpreadOfMeasuredCluster(const SplitContext& context, const ClusterMembers& cluster,
                               int previousAxisIndex);

// The products about `mean` of the pixels of a cluster, in pixel order, in plane order of
// the axes (the working colours by place in the cluster's table), and the sum of their
// squared distances from the mean.
CovarianceSums SquaredDistanceProducts(const MemberList& pixels,
                                       const ColourTable::Working* working, const Triple& mean,
                                       EngineRun* run, double& squaredDistanceSum);

}  // namespace genshoku
