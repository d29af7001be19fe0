#include "engine/divisive_splitting/threshold_of_colours.h"

#include <algorithm>
#include <cmath>

#include "engine/divisive_splitting/taking_part_pixels.h"
#include "engine/integer_parts.h"

namespace genshoku {

namespace {

// The runs of colours that share an along-axis value with others. Each group of tied
// colours needs its pixels in pixel order, a run for each stretch of pixels of one colour
// (other pixels between them do not break a stretch); one pass over the pixels serves every
// group at once, so that a picture whose colours mostly tie (a channel's gamma so steep
// that most values fall to zero) costs one pass, not one per group.
class TiedGroupRuns {
 public:
  // Colours sorted[begin..end) are group number groups() from now on.
  void AddGroup(const std::vector<uint32_t>& sorted, size_t begin, size_t end) {
    const uint32_t group = static_cast<uint32_t>(runs_.size());
    for (size_t k = begin; k < end; ++k) groupOf_.push_back({sorted[k], group});
    runs_.emplace_back();
  }
  size_t groups() const { return runs_.size(); }

  void Collect(const ColourSet& set, const AxisCoordinates& frame, const PixelsInOrder& pixels,
               EngineRun& run) {
    std::sort(groupOf_.begin(), groupOf_.end());
    std::vector<uint32_t> lastColour(runs_.size(), UINT32_MAX);
    auto visit = [&](uint32_t c) {
      const auto found =
          std::lower_bound(groupOf_.begin(), groupOf_.end(), std::pair<uint32_t, uint32_t>{c, 0});
      if (found == groupOf_.end() || found->first != c) return;
      const uint32_t group = found->second;
      std::vector<ThresholdRun>& runs = runs_[group];
      if (c == lastColour[group]) {
        ++runs.back().repeat;
        return;
      }
      runs.push_back(RunOfColour(set, frame, c, 1));
      lastColour[group] = c;
    };
    if (pixels.members) {
      for (const Member& member : *pixels.members) visit(member.colour);
    } else {
      ForEachTakingPartPixel(*pixels.picture, &run, [&](int64_t, uint32_t c) { visit(c); });
    }
  }
  const std::vector<ThresholdRun>& RunsOf(size_t group) const { return runs_[group]; }

 private:
  std::vector<std::pair<uint32_t, uint32_t>> groupOf_;  // (colour, group), by colour
  std::vector<std::vector<ThresholdRun>> runs_;
};

}  // namespace

int ChooseSplitThreshold(const ColourSet& set, const AxisCoordinates& frame, int64_t count,
                         const PixelsInOrder& pixels, const ThresholdRule& rule, EngineRun& run,
                         int threads) {
  if (ThresholdNeedsRuns(rule.mode) && count > 0) {
    const SortedColourRuns runs(set, frame, pixels, run);
    const int threshold =
        OtsuThresholdOfRecords(runs, count, rule.mode, run, ThreadsForPass(count, threads));
    if (rule.firstSplit) run.diagnostics().Out("THRESH OHTSU2=%d\n", threshold);
    return threshold;
  }
  IntegerHistogram histogram;
  if (ThresholdNeedsHistogram(rule.mode) && count > 0) {
    histogram = HistogramOfColours(set, frame, count);
  }
  return SplitThreshold(rule.mode, count, histogram, {}, rule.firstSplit, rule.previousThreshold,
                        run, ThreadsForPass(count, threads));
}

IntegerHistogram HistogramOfColours(const ColourSet& set, const AxisCoordinates& frame,
                                    int64_t count) {
  IntegerHistogram histogram;
  histogram.count = count;
  bool first = true;
  for (const uint32_t c : set.numbers) {
    const int32_t value = RoundHalfUpTruncated(frame.along[c]);
    if (first || value < histogram.minimum) histogram.minimum = value;
    if (first || value > histogram.maximum) histogram.maximum = value;
    first = false;
  }
  histogram.bins.assign(static_cast<size_t>(int64_t{histogram.maximum} - histogram.minimum + 1), 0);
  for (const uint32_t c : set.numbers) {
    histogram.bins[static_cast<size_t>(RoundHalfUpTruncated(frame.along[c]) - histogram.minimum)] +=
        set.pixels[c];
  }
  return histogram;
}

SortedColourRuns::SortedColourRuns(const ColourSet& set, const AxisCoordinates& frame,
                                   const PixelsInOrder& pixels, EngineRun& run)
    : set_(set), frame_(frame), places_(SortedByAlongValue(set, frame.along)) {
  const UnclearedVector<double>& along = frame.along;
  // Colours that share a value give way to the runs of their pixels, kept aside; the
  // places before them move down over the room they leave.
  TiedGroupRuns groups;
  std::vector<size_t> singlesBefore;  // per group: the single colours before it
  size_t kept = 0;
  size_t i = 0;
  const size_t n = places_.size();
  while (i < n) {
    const double value = along[places_[i]];
    size_t end = i + 1;
    while (end < n && along[places_[end]] == value) ++end;
    if (end == i + 1) {
      places_[kept++] = places_[i];
    } else {
      singlesBefore.push_back(kept);
      groups.AddGroup(places_, i, end);
    }
    i = end;
  }
  // A group of k colours gives at least k runs, so its places may need more room than the
  // colours had: they go after the others and are put in order below.
  std::vector<std::pair<size_t, uint32_t>> tiedPlaces;  // (singles before it, run)
  if (groups.groups() > 0) {
    groups.Collect(set, frame, pixels, run);
    for (size_t g = 0; g < groups.groups(); ++g) {
      for (const ThresholdRun& record : groups.RunsOf(g)) {
        tiedPlaces.push_back({singlesBefore[g], static_cast<uint32_t>(tied_.size())});
        tied_.push_back(record);
      }
    }
  }
  if (tied_.empty()) {
    places_.resize(kept);
    return;
  }
  // Merge the single colours and the tied runs back into one order.
  std::vector<uint32_t> merged;
  merged.reserve(kept + tied_.size());
  size_t single = 0;
  for (const auto& [before, index] : tiedPlaces) {
    while (single < before) merged.push_back(places_[single++]);
    merged.push_back(index | kTiedBit);
  }
  while (single < kept) merged.push_back(places_[single++]);
  places_ = std::move(merged);
}

std::vector<ThresholdRun> SortedRuns(const ColourSet& set, const AxisCoordinates& frame,
                                     const PixelsInOrder& pixels, EngineRun& run) {
  const SortedColourRuns sorted(set, frame, pixels, run);
  std::vector<ThresholdRun> runs(sorted.size());
  for (size_t k = 0; k < runs.size(); ++k) runs[k] = sorted[k];
  return runs;
}

// The numbers are first shared out to groups by their value, about one colour per group on
// average (steps of a power of two below one unit), then each group is sorted on its own.
// Numbers of equal values come in increasing order.
std::vector<uint32_t> SortedByAlongValue(const ColourSet& set,
                                         const UnclearedVector<double>& along) {
  const size_t n = set.numbers.size();
  // By value, then by number: the order of (value, number) pairs.
  auto before = [&](uint32_t a, uint32_t b) {
    return along[a] < along[b] || (!(along[b] < along[a]) && a < b);
  };
  double low = HUGE_VAL, high = -HUGE_VAL;
  for (const uint32_t c : set.numbers) {
    low = std::min(low, along[c]);
    high = std::max(high, along[c]);
  }
  const double first = std::floor(low);
  const double span = std::floor(high) - first;
  if (n < 64 || !(span >= 0.0 && span < 4.0 * static_cast<double>(n))) {
    // Few colours, values far apart or not numbers: one sort.
    std::vector<uint32_t> sorted(set.numbers);
    std::sort(sorted.begin(), sorted.end(), before);
    return sorted;
  }
  // Steps of 1/steps units; the group number never decreases as the value grows.
  double steps = 1.0;
  while (steps < 1024.0 && (span + 1.0) * steps * 2.0 <= static_cast<double>(n)) steps *= 2.0;
  const size_t groups = static_cast<size_t>((span + 1.0) * steps);
  std::vector<uint32_t> start(groups + 1, 0);
  auto groupOf = [&](double value) {
    return std::min(static_cast<size_t>((value - first) * steps), groups - 1);
  };
  for (const uint32_t c : set.numbers) ++start[groupOf(along[c]) + 1];
  for (size_t g = 0; g < groups; ++g) start[g + 1] += start[g];
  std::vector<uint32_t> sorted(n);
  {
    std::vector<uint32_t> next(start.begin(), start.end() - 1);
    for (const uint32_t c : set.numbers) sorted[next[groupOf(along[c])]++] = c;
  }
  for (size_t g = 0; g < groups; ++g) {
    if (start[g + 1] - start[g] > 1) {
      std::sort(sorted.begin() + start[g], sorted.begin() + start[g + 1], before);
    }
  }
  return sorted;
}

}  // namespace genshoku
