#include "engine/divisive_splitting/cluster_split.h"

#include <utility>
#include <vector>

#include "engine/divisive_splitting/cluster_partition.h"
#include "engine/divisive_splitting/colour_coordinates.h"
#include "engine/divisive_splitting/split_priority.h"
#include "engine/divisive_splitting/threshold_of_colours.h"

namespace genshoku {

namespace {

// A cluster holding more than this share of the picture's colours is split reading the
// colour table where it lies: a copy of its working colours, and records of 32 bytes per
// colour for the pass over its pixels, would be the largest buffers of the splitting on a
// picture of many colours. Smaller clusters are copied, so that their passes read tables
// of their own size.
constexpr size_t kLargeClusterShare = 16;

// The side of a split that received every colour of `parent` (in the same order) takes
// over its pixels and everything measured of them: the pass over the pixels would write
// the same list and add the same sums, and the same products would follow from them.
void TakeOverWhole(ClusterMembers& parent, ClusterMembers& side) {
  side.pixels = std::move(parent.pixels);
  side.sums = parent.sums;
  side.products = parent.products;
  side.termSum = parent.termSum;
  parent = ClusterMembers{};
}

}  // namespace

std::unique_ptr<WorkedSplit> WorkOutSplit(const SplitContext& context, Clusters& clusters,
                                          int label, int64_t m, int threads, int previousAxisIndex,
                                          int previousThreshold) {
  auto worked = std::make_unique<WorkedSplit>();
  ClusterMembers parent = std::move(clusters[label]);
  clusters[label] = ClusterMembers{};
  worked->parentSums = parent.sums;
  worked->parentProducts = parent.products;
  worked->parentTermSum = parent.termSum;
  // An empty cluster gives 0/0 here; the NaNs make the diagonalisation stop at once and
  // touch no pixel below.
  const Triple mean = MeanOfSums(parent.sums, m);
  Matrix3 diag, vectors, scratch1, scratch2;
  CovarianceFromSums(parent.products, m, worked->covariance);
  if (JacobiEigen(JACOBI_MAX_ITERATIONS, JACOBI_TOLERANCE, worked->covariance, diag, scratch1,
                  vectors, scratch2) != 0) {
    worked->converged = false;
    // Put back whole should the split be dropped.
    worked->staying = std::move(parent);
    return worked;
  }
  worked->axisFromEigenvalues =
      diag.m[0][0] > -1e18 || diag.m[1][1] > -1e18 || diag.m[2][2] > -1e18;
  const PrincipalAxisChoice principal = PrincipalAxis(diag, vectors, previousAxisIndex);
  worked->axisIndex = principal.index;

  // The cluster's colours by their place in its table.
  const size_t colourCount = parent.colours.size();
  const bool large =
      colourCount * kLargeClusterShare > static_cast<size_t>(context.colours.colourCount);
  WorkingColours parentWorking;
  if (!large) parentWorking = WorkingOf(context.colours, parent.colours);
  std::vector<uint32_t> pixelsOfColour(colourCount);
  ColourSet set{large ? context.colours.working.data() : parentWorking.data(),
                pixelsOfColour.data(), std::vector<uint32_t>(colourCount)};
  if (large) set.tableNumbers = parent.colours.data();
  for (size_t c = 0; c < colourCount; ++c) {
    set.numbers[c] = static_cast<uint32_t>(c);
    pixelsOfColour[c] = context.colours.takingPart[parent.colours[c]];
  }
  AxisCoordinates frame;
  frame.Rotate(set, colourCount, mean, principal.axis);
  const ThresholdRule rule{context.params.thresholdMode, false, previousThreshold};
  worked->threshold = ChooseSplitThreshold(set, frame, m, PixelsInOrder{&parent.pixels, nullptr},
                                           rule, context.run, threads);

  // The copy of the working colours has served the frame and the threshold: it goes before
  // the sides are made, which read the whole table.
  WorkingColours().swap(parentWorking);
  if (!large) set.working = nullptr;
  const ColourTable::Working* working = context.colours.working.data();

  // Pixels at or above the threshold move to the new cluster.
  ClusterMembers& staying = worked->staying;
  ClusterMembers& moving = worked->moving;
  // A large cluster's along-axis values go before its words are made: the share-out works
  // them out again from the table.
  if (large) frame.Release();
  UnclearedVector<ColourSide> sides(large ? 0 : colourCount);
  UnclearedVector<uint32_t> placeAndUp(large ? colourCount : 0);
  const auto record = [&](uint32_t c, uint32_t place, bool up) {
    if (large) {
      placeAndUp[c] = place | (up ? TableSides::kUpBit : 0u);
      return;
    }
    const ColourTable::Working& w = working[parent.colours[c]];
    sides[c] = {w.y, w.u, w.v, place, up};
  };
  const double cut = static_cast<double>(worked->threshold);
  const int64_t movingCount =
      large
          ? ShareOutColoursAgain(set, frame, cut, staying, moving, parent.colours.data(), record)
          : ShareOutColours(set, frame.along, cut, staying, moving, parent.colours.data(), record);
  if (m > 0 && (staying.colours.empty() || moving.colours.empty())) {
    // Every colour fell on one side (a cluster of one colour, or of colours alike along
    // the axis): that side is the cluster as it was, with its list, sums and products.
    // Taking it over whole keeps the splitting of flat pictures linear in their pixels.
    TakeOverWhole(parent, staying.colours.empty() ? moving : staying);
    const int whole = staying.colours.empty() ? 1 : 0;
    worked->spread[whole] =
        SpreadOfMeasuredCluster(context, whole == 1 ? moving : staying, worked->axisIndex);
    worked->spread[1 - whole] = 0.0;
    return worked;
  }
  // Only the records the pass over the pixels reads stay while the lists are made.
  if (!large) std::vector<uint32_t>().swap(parent.colours);
  std::vector<uint32_t>().swap(set.numbers);
  frame.Release();
  std::vector<uint32_t>().swap(pixelsOfColour);
  if (large) {
    PartitionMembers(parent.pixels, m - movingCount, movingCount,
                     TableSides{placeAndUp.data(), parent.colours.data(), working}, staying, moving,
                     context.run, threads);
  } else {
    PartitionMembers(parent.pixels, m - movingCount, movingCount, sides.data(), staying, moving,
                     context.run, threads);
  }
  parent = ClusterMembers{};
  UnclearedVector<ColourSide>().swap(sides);
  UnclearedVector<uint32_t>().swap(placeAndUp);
  SpreadsOfTwoClusters(context, staying, moving, worked->axisIndex, threads, worked->spread);
  return worked;
}

ClusterMembers RejoinedCluster(WorkedSplit& worked) {
  ClusterMembers whole = Rejoined(worked.staying, worked.moving);
  whole.sums = worked.parentSums;
  whole.products = worked.parentProducts;
  whole.termSum = worked.parentTermSum;
  worked = WorkedSplit{};
  return whole;
}

}  // namespace genshoku
