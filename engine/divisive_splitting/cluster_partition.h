#pragma once
// Cutting a cluster in two: which side of the cut each of its colours falls on, and the
// pass that shares the cluster's pixels out to the two new clusters with their sums; and
// the reverse, putting the two parts of a dropped split back together.

#include <cstdint>
#include <vector>

#include "engine/divisive_splitting/clusters.h"
#include "engine/divisive_splitting/colour_coordinates.h"
#include "engine/engine_run.h"

namespace genshoku {

// Where one colour of a cluster being split goes: its working colour, its side of the cut
// (1: at or above it, the side that moves) and its place in that side's table, side by side
// so that the pass over the pixels reads one record per pixel.
struct ColourSide {
  double y, u, v;
  uint32_t place;
  uint32_t up;
};

// Shares the colours of the set out to the two sides of `cut`: those whose along-axis value
// is at or above it go to `above`, the others to `below`, each appended to its side's
// colour table as numberOf[c] (or c itself when numberOf is null). Calls
// record(c, place, up) for every colour with its place in its side's table. Returns the
// pixels of the colours above.
template <typename Along, typename Record>
int64_t ShareOutColoursBy(const ColourSet& set, Along&& along, double cut, ClusterMembers& below,
                          ClusterMembers& above, const uint32_t* numberOf, Record&& record) {
  int64_t aboveCount = 0;
  for (const uint32_t c : set.numbers) {
    const bool up = along(c) >= cut;
    ClusterMembers& target = up ? above : below;
    record(c, static_cast<uint32_t>(target.colours.size()), up);
    target.colours.push_back(numberOf ? numberOf[c] : c);
    if (up) aboveCount += set.pixels[c];
  }
  return aboveCount;
}

template <typename Record>
int64_t ShareOutColours(const ColourSet& set, const UnclearedVector<double>& along, double cut,
                        ClusterMembers& below, ClusterMembers& above, const uint32_t* numberOf,
                        Record&& record) {
  return ShareOutColoursBy(
      set, [&](uint32_t c) { return along[c]; }, cut, below, above, numberOf, record);
}

// The same with the along-axis values worked out again from the frame's rotation, once
// their array is released: a colour set whose working colours are still at hand (the
// whole table) then holds no more than the words its record keeps.
template <typename Record>
int64_t ShareOutColoursAgain(const ColourSet& set, const AxisCoordinates& frame, double cut,
                             ClusterMembers& below, ClusterMembers& above, const uint32_t* numberOf,
                             Record&& record) {
  return ShareOutColoursBy(
      set, [&](uint32_t c) { return frame.AlongOf(set.WorkingOf(c)); }, cut, below, above, numberOf,
      record);
}

// The same for a cluster of very many colours, as one word per colour (its place, with
// kUpBit for the side that moves) and its working colour read from the colour table:
// records of 32 bytes would be the largest buffer of the splitting.
struct TableSides {
  static constexpr uint32_t kUpBit = 0x80000000u;
  const uint32_t* placeAndUp;           // by place in the parent's table
  const uint32_t* numbers;              // the parent's colour numbers, by place
  const ColourTable::Working* working;  // the colour table's
};

// Shares the parent's pixels out to the two clusters by the side of their colour
// (sides[member.colour]), in pixel order, and sets each cluster's pixel list and sums; the
// counts are the pixels each receives. The larger cluster takes over the parent's list,
// shrunk in place; the smaller one gets a list of its own. Up to two threads; the calling
// one passes progress points to `run`.
void PartitionMembers(MemberList& parent, int64_t stayingCount, int64_t movingCount,
                      const ColourSide* sides, ClusterMembers& staying, ClusterMembers& moving,
                      EngineRun& run, int threads);
void PartitionMembers(MemberList& parent, int64_t stayingCount, int64_t movingCount,
                      const TableSides& sides, ClusterMembers& staying, ClusterMembers& moving,
                      EngineRun& run, int threads);

// The cluster of a split that is dropped, from its two parts: the pixels in pixel order,
// the colours of the staying part and then those of the moving one (whose places shift
// accordingly). Nothing the engine computes depends on the order of a cluster's colours.
// The sums are left to the caller. Both parts are left empty.
ClusterMembers Rejoined(ClusterMembers& staying, ClusterMembers& moving);

}  // namespace genshoku
