#pragma once
// Colour tables and clusters made by hand for the tests of the clustering steps: random
// working colours, pixels that name them, and clusters of those pixels with their sums.

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "engine/colour_table.h"
#include "engine/divisive_splitting/clusters.h"

namespace genshoku::test_support {

// A colour table of `colourCount` random working colours (components in 0..range) and
// `pixelCount` pixels naming them at random; every `edgeEvery`-th pixel (0: none) is an
// edge pixel. takingPart counts each colour's other pixels. Only the fields the clustering
// steps read are filled.
inline ColourTable RandomColourTable(int64_t colourCount, int64_t pixelCount, unsigned seed,
                                     double range = 255.0, int edgeEvery = 0) {
  std::mt19937 generator(seed);
  std::uniform_real_distribution<double> component(0.0, range);
  ColourTable table;
  table.colourCount = colourCount;
  table.pixelCount = pixelCount;
  table.working.resize(static_cast<size_t>(colourCount));
  for (auto& w : table.working)
    w = {component(generator), component(generator), component(generator)};
  table.takingPart.assign(static_cast<size_t>(colourCount), 0);
  table.pixelColour.resize(static_cast<size_t>(pixelCount));
  for (int64_t i = 0; i < pixelCount; ++i) {
    const uint32_t c = static_cast<uint32_t>(generator() % colourCount);
    const bool edge = edgeEvery > 0 && i % edgeEvery == 0;
    table.pixelColour[i] = c | (edge ? ColourTable::kEdgeBit : 0u);
    if (!edge) ++table.takingPart[c];
  }
  return table;
}

// One cluster of all taking-part pixels of the table whose colour satisfies `keep`, with
// its colour table (colours in increasing number) and its sums in pixel order.
template <typename Keep>
ClusterMembers ClusterOf(const ColourTable& table, Keep&& keep) {
  ClusterMembers cluster;
  std::vector<int64_t> place(static_cast<size_t>(table.colourCount), -1);
  for (int64_t c = 0; c < table.colourCount; ++c) {
    if (table.takingPart[c] != 0 && keep(static_cast<uint32_t>(c))) {
      place[c] = static_cast<int64_t>(cluster.colours.size());
      cluster.colours.push_back(static_cast<uint32_t>(c));
    }
  }
  std::vector<Member> members;
  for (int64_t i = 0; i < table.pixelCount; ++i) {
    const uint32_t word = table.pixelColour[i];
    if ((word & ColourTable::kEdgeBit) != 0 || place[word] < 0) continue;
    members.push_back({static_cast<uint32_t>(i), static_cast<uint32_t>(place[word])});
    const ColourTable::Working& w = table.working[word];
    cluster.sums.x += w.v;
    cluster.sums.y += w.u;
    cluster.sums.z += w.y;
  }
  cluster.pixels.resize(members.size());
  for (size_t k = 0; k < members.size(); ++k) cluster.pixels[k] = members[k];
  return cluster;
}

// The products about the cluster's mean, added in pixel order the plain way.
inline CovarianceSums PlainProducts(const ColourTable& table, const ClusterMembers& cluster) {
  const Triple mean = MeanOfSums(cluster.sums, static_cast<int64_t>(cluster.pixels.size()));
  CovarianceSums products;
  for (const Member& member : cluster.pixels) {
    const ColourTable::Working& w = table.working[cluster.colours[member.colour]];
    products.Add(w.y - mean.z, w.u - mean.y, w.v - mean.x);
  }
  return products;
}

inline bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

inline bool SameBits(const Triple& a, const Triple& b) {
  return SameBits(a.x, b.x) && SameBits(a.y, b.y) && SameBits(a.z, b.z);
}

inline bool SameBits(const CovarianceSums& a, const CovarianceSums& b) {
  return SameBits(a.s11, b.s11) && SameBits(a.s22, b.s22) && SameBits(a.s33, b.s33) &&
         SameBits(a.s12, b.s12) && SameBits(a.s13, b.s13) && SameBits(a.s23, b.s23);
}

}  // namespace genshoku::test_support
