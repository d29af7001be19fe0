#include "engine/divisive_splitting/first_split.h"

#include <vector>

#include "engine/divisive_splitting/cluster_partition.h"
#include "engine/divisive_splitting/colour_coordinates.h"
#include "engine/divisive_splitting/split_priority.h"
#include "engine/divisive_splitting/taking_part_pixels.h"
#include "engine/divisive_splitting/threshold_of_colours.h"

namespace genshoku {

namespace {

// At the first split the pass over the pixels reads their colours from the picture, so a
// word per colour is enough: its place in its side's table, and this bit for the upper
// side.
constexpr uint32_t kUpBit = 0x80000000u;

// The sums of the working colours of the taking-part pixels (reversed order) and the
// products about their mean. Each sum is added in pixel order on its own; the two parts of
// each pass take some each.
void SumsAndProducts(const ColourTable& colours, EngineRun& run, int threads, int64_t& count,
                     Triple& mean, CovarianceSums& products) {
  struct PartSums {
    double a = 0.0, b = 0.0, c = 0.0;
    int64_t count = 0;
  };
  PartSums parts[2];
  ForEachTakingPartPixelInTwoParts(colours, run, threads, parts,
                                   [&](int part, PartSums& own, int64_t, uint32_t c) {
                                     const ColourTable::Working& w = colours.working[c];
                                     if (part == 0) {
                                       own.a += w.u;
                                       own.b += w.y;
                                     } else {
                                       own.a += w.v;
                                       ++own.count;
                                     }
                                   });
  count = parts[1].count;
  const Triple sums{parts[1].a, parts[0].a, parts[0].b};
  mean = MeanOfSums(sums, count);
  parts[0] = parts[1] = PartSums{};
  ForEachTakingPartPixelInTwoParts(
      colours, run, threads, parts, [&](int part, PartSums& own, int64_t, uint32_t c) {
        const ColourTable::Working& w = colours.working[c];
        const double d1 = w.y - mean.z, d2 = w.u - mean.y, d3 = w.v - mean.x;
        if (part == 0) {
          own.a += d1 * d1;
          own.b += d2 * d2;
          own.c += d1 * d2;
        } else {
          own.a += d3 * d3;
          own.b += d3 * d1;
          own.c += d3 * d2;
        }
      });
  products.s11 = parts[0].a;
  products.s22 = parts[0].b;
  products.s12 = parts[0].c;
  products.s33 = parts[1].a;
  products.s13 = parts[1].b;
  products.s23 = parts[1].c;
}

// Fills the two clusters' pixel lists from the picture and adds their sums: part 0
// gathers the upper cluster, part 1 the lower one.
void GatherClusters(const ColourTable& colours, const std::vector<uint32_t>& placeAndSide,
                    EngineRun& run, int threads, ClusterMembers& upper, ClusterMembers& lower) {
  struct Gathering {
    Member* out;
    Triple sums;
  };
  Gathering gathering[2] = {{upper.pixels.data(), {}}, {lower.pixels.data(), {}}};
  ForEachTakingPartPixelInTwoParts(colours, run, threads, gathering,
                                   [&](int part, Gathering& own, int64_t i, uint32_t c) {
                                     const uint32_t word = placeAndSide[c];
                                     if (((word & kUpBit) != 0) != (part == 0)) return;
                                     *own.out++ = {static_cast<uint32_t>(i), word & ~kUpBit};
                                     const ColourTable::Working& w = colours.working[c];
                                     own.sums.x += w.v;
                                     own.sums.y += w.u;
                                     own.sums.z += w.y;
                                   });
  upper.sums = gathering[0].sums;
  lower.sums = gathering[1].sums;
}

}  // namespace

FirstSplitResult FirstSplit(ColourTable& colours, const SplitContext& context, int threads,
                            ClusterTable& table, Clusters& clusters) {
  EngineRun& run = context.run;
  int64_t count = 0;
  Triple mean;
  CovarianceSums products;
  SumsAndProducts(colours, run, threads, count, mean, products);
  Matrix3 covariance, diag, vectors;
  CovarianceFromSums(products, count, covariance);
  DiagonaliseCovariance(covariance, diag, vectors, run);
  const PrincipalAxisChoice principal = PrincipalAxis(diag, vectors);

  ColourSet set{colours.working.data(), colours.takingPart.data(), {}};
  for (int64_t c = 0; c < colours.colourCount; ++c) {
    if (colours.takingPart[c] != 0) set.numbers.push_back(static_cast<uint32_t>(c));
  }
  AxisCoordinates frame;
  frame.Rotate(set, static_cast<size_t>(colours.colourCount), mean, principal.axis);
  const ThresholdRule rule{context.params.thresholdMode, true, 0};
  const int threshold =
      ChooseSplitThreshold(set, frame, count, PixelsInOrder{nullptr, &colours}, rule, run, threads);
  run.PhaseStarted(EnginePhase::Splitting);

  // The first assignment: here the pixels at or above the threshold keep the lower label;
  // in every later split they are the ones that move to the new label.
  table.PT[0][0] = ClusterRecord{0, 0, 0.0};
  table.PT[0][1] = ClusterRecord{0, 1, 0.0};
  table.MEN = 0;
  ClusterMembers& upper = clusters[0];
  ClusterMembers& lower = clusters[1];
  upper = ClusterMembers{};
  lower = ClusterMembers{};
  // The along-axis values go before the sides' words are made; the share-out works them out
  // again.
  frame.Release();
  std::vector<uint32_t> placeAndSide(static_cast<size_t>(colours.colourCount));
  const int64_t upperCount = ShareOutColoursAgain(
      set, frame, static_cast<double>(threshold), lower, upper, nullptr,
      [&](uint32_t c, uint32_t place, bool up) { placeAndSide[c] = place | (up ? kUpBit : 0u); });
  upper.pixels.resize(static_cast<size_t>(upperCount));
  lower.pixels.resize(static_cast<size_t>(count - upperCount));
  GatherClusters(colours, placeAndSide, run, threads, upper, lower);
  // From here on every cluster carries its pixels' colours.
  colours.ReleasePixelColours();
  std::vector<uint32_t>().swap(placeAndSide);

  table.PT[0][0].COUNT = static_cast<int32_t>(upper.pixels.size());
  table.PT[0][1].COUNT = static_cast<int32_t>(lower.pixels.size());
  table.nonEdgeCount = static_cast<int32_t>(count);
  double spread[2];
  SpreadsOfTwoClusters(context, upper, lower, principal.index, threads, spread);
  table.PT[0][0].SPREAD = spread[0];
  table.PT[0][1].SPREAD = spread[1];
  return {principal.index, threshold};
}

}  // namespace genshoku
