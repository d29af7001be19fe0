#include "engine/divisive_splitting/colour_coordinates.h"

#include "engine/divisive_splitting/split_threshold.h"

namespace genshoku {

void AxisCoordinates::Rotate(const ColourSet& set, size_t size, const Triple& mean,
                             const Triple& axis) {
  along.resize(size);
  this->mean = mean;
  rotation = AxisRotation(axis);
  for (const uint32_t c : set.numbers) {
    const ColourTable::Working& w = set.WorkingOf(c);
    double across1, across2;
    rotation.Apply(w.y - mean.z, w.u - mean.y, w.v - mean.x, along[c], across1, across2);
  }
}

void AxisCoordinates::Release() { UnclearedVector<double>().swap(along); }

WorkingColours WorkingOf(const ColourTable& colours, const std::vector<uint32_t>& colourNumbers) {
  WorkingColours working(colourNumbers.size());
  for (size_t k = 0; k < colourNumbers.size(); ++k) working[k] = colours.working[colourNumbers[k]];
  return working;
}

}  // namespace genshoku
