#pragma once
// The colours of a cluster being split and their coordinates in the frame of the cluster's
// principal axis: along it (where the cut is made) and across it.

#include <cstdint>
#include <vector>

#include "engine/colour_table.h"
#include "engine/divisive_splitting/cluster_statistics.h"
#include "engine/divisive_splitting/split_threshold.h"
#include "engine/uncleared_vector.h"

namespace genshoku {

// The colours being split, numbered 0..count-1 here: the places in the cluster's colour
// table (or, at the first split, the colour numbers themselves).
struct ColourSet {
  const ColourTable::Working* working;  // by number, or by table number (below)
  const uint32_t* pixels;               // taking-part pixels by number
  std::vector<uint32_t> numbers;        // the numbers in the set, ascending
  // When set, `working` is the whole colour table and number c's colour is
  // working[tableNumbers[c]]: a cluster of very many colours is read where it lies rather
  // than copied.
  const uint32_t* tableNumbers = nullptr;

  const ColourTable::Working& WorkingOf(uint32_t c) const {
    return tableNumbers ? working[tableNumbers[c]] : working[c];
  }
};

// Per number of a colour set: the colour's coordinate along an axis, centred on the
// cluster's mean. Only the numbers of the set are written; the others are not read. The
// coordinates across the axis are read once per colour, so they are worked out when asked
// for, by the same rotation: keeping them would double the memory of a split of many
// colours.
struct AxisCoordinates {
  UnclearedVector<double> along;
  Triple mean;
  AxisRotation rotation{Triple{1.0, 0.0, 0.0}};

  // Sizes the array for numbers 0..size-1 and rotates every colour of the set.
  void Rotate(const ColourSet& set, size_t size, const Triple& mean, const Triple& axis);
  // The coordinates of a working colour across the axis, as Rotate makes them.
  void Across(const ColourTable::Working& w, double& across1, double& across2) const {
    double alongAxis;
    rotation.Apply(w.y - mean.z, w.u - mean.y, w.v - mean.x, alongAxis, across1, across2);
  }
  // The coordinate along the axis, as Rotate makes it (for when `along` is gone).
  double AlongOf(const ColourTable::Working& w) const {
    double alongAxis, across1, across2;
    rotation.Apply(w.y - mean.z, w.u - mean.y, w.v - mean.x, alongAxis, across1, across2);
    return alongAxis;
  }
  void Release();
};

// The working colours of a cluster's colours, in the order of its table: the passes over
// its pixels read them from there rather than from the whole colour table.
using WorkingColours = UnclearedVector<ColourTable::Working>;
WorkingColours WorkingOf(const ColourTable& colours, const std::vector<uint32_t>& colourNumbers);

}  // namespace genshoku
