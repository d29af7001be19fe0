#pragma once
// The split threshold of a cluster from its colours: the rounded along-axis values as a
// histogram, or the colours' coordinates as the sorted runs of the threshold search, and
// the rule of the settings applied to them (split_threshold.h).

#include <cstdint>
#include <utility>
#include <vector>

#include "engine/colour_table.h"
#include "engine/divisive_splitting/clusters.h"
#include "engine/divisive_splitting/colour_coordinates.h"
#include "engine/divisive_splitting/split_threshold.h"
#include "engine/engine_run.h"

namespace genshoku {

// The pixels of the colours being split, in pixel order: a cluster's member list or, at
// the first split (members null), every taking-part pixel of the picture. They are read
// only where colours share an along-axis value.
struct PixelsInOrder {
  const MemberList* members = nullptr;
  const ColourTable* picture = nullptr;
};

// What the threshold rule reads besides the colours.
struct ThresholdRule {
  int mode = 0;  // ReductionParams::thresholdMode
  bool firstSplit = false;
  int previousThreshold = 0;
};

// The threshold of the `count` pixels of the set by the rule; the coordinates are the set's
// in the frame of the cluster's principal axis. Lists of many pixels may use two threads.
int ChooseSplitThreshold(const ColourSet& set, const AxisCoordinates& frame, int64_t count,
                         const PixelsInOrder& pixels, const ThresholdRule& rule, EngineRun& run,
                         int threads);

// The histogram of the rounded along-axis values of the set's `count` pixels.
IntegerHistogram HistogramOfColours(const ColourSet& set, const AxisCoordinates& frame,
                                    int64_t count);

// The record of colour c of the set with `repeat` pixels.
inline ThresholdRun RunOfColour(const ColourSet& set, const AxisCoordinates& frame, uint32_t c,
                                int64_t repeat) {
  ThresholdRun record{frame.along[c], 0.0, 0.0, repeat};
  frame.Across(set.WorkingOf(c), record.p1, record.p2);
  return record;
}

// The records of the threshold search in the order of a stable sort of the pixels by
// their along-axis value: one run per colour, except where different colours share a
// value; their pixels then follow each other in pixel order. Only the order is kept (a
// word per colour) and each record is worked out when asked for: a list of the records
// themselves would take 32 bytes per colour, the most of any step on a picture of many
// colours. The runs of tied colours, which need a pass over the pixels, are kept.
class SortedColourRuns {
 public:
  SortedColourRuns(const ColourSet& set, const AxisCoordinates& frame, const PixelsInOrder& pixels,
                   EngineRun& run);
  size_t size() const { return places_.size(); }
  ThresholdRun operator[](size_t k) const {
    const uint32_t place = places_[k];
    if ((place & kTiedBit) != 0) return tied_[place & ~kTiedBit];
    return RunOfColour(set_, frame_, place, set_.pixels[place]);
  }
  void Prefetch(size_t k) const {
    const uint32_t place = places_[k];
    if ((place & kTiedBit) != 0) return;
    __builtin_prefetch(&frame_.along[place]);
    if (set_.tableNumbers) {
      __builtin_prefetch(&set_.tableNumbers[place]);
    } else {
      __builtin_prefetch(&set_.working[place]);
    }
    __builtin_prefetch(&set_.pixels[place]);
  }

 private:
  // Marks a place that names a run of tied colours instead of a colour.
  static constexpr uint32_t kTiedBit = 0x80000000u;
  const ColourSet& set_;
  const AxisCoordinates& frame_;
  std::vector<uint32_t> places_;
  std::vector<ThresholdRun> tied_;
};

// The same records as a list.
std::vector<ThresholdRun> SortedRuns(const ColourSet& set, const AxisCoordinates& frame,
                                     const PixelsInOrder& pixels, EngineRun& run);

// The numbers of the set's colours in increasing order of their along-axis values, equal
// values by increasing number.
std::vector<uint32_t> SortedByAlongValue(const ColourSet& set,
                                         const UnclearedVector<double>& along);

}  // namespace genshoku
