#include "engine/kmeans/bound_chains.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>

namespace genshoku {

BoundChains::BoundChains(size_t colourCount)
    : group_(colourCount),
      second_(colourCount),
      skipBelow_(colourCount),
      lowerBase_(colourCount),
      nearDrift_(static_cast<size_t>(kPaletteSize) * kGroupsPerEntry, 0.0),
      groupDrift_(nearDrift_.size(), 0.0) {}

bool BoundChains::CanGoOn(double centreSlack, const std::array<double, kPaletteSize>& shift) const {
  if (!(centreSlack <= slackCap_)) return false;
  for (int e = 0; e < kPaletteSize; ++e) {
    // Sums of huge shifts would lose the margins of the chains in their rounding.
    if (!(shift[e] < kLargestShift) || !(drift_[e] < kLargestShift)) return false;
  }
  return true;
}

void BoundChains::MakeNearShiftTables(const NearestEntrySearch& search,
                                      const std::array<double, kPaletteSize>& shift, int first,
                                      int end) {
  for (int e = first; e < end; ++e) {
    const float* distances = search.NeighbourDistances(e);
    const uint8_t* neighbours = search.NeighbourIndices(e);
    float* table = nearShift_[e].data();
    int k = 0;
    double running = 0.0;
    float rounded = RoundedUp(running);  // rounded again only when running changes
    for (int step = 0; step < kReachSteps; ++step) {
      uint32_t endBits = (kFirstReachStep + static_cast<uint32_t>(step) + 1) << kReachShift;
      float stepEnd;
      std::memcpy(&stepEnd, &endBits, sizeof stepEnd);
      if (k < kPaletteSize - 1 && distances[k] <= stepEnd) {
        while (k < kPaletteSize - 1 && distances[k] <= stepEnd) {
          running = std::max(running, shift[neighbours[k++]]);
        }
        rounded = RoundedUp(running);
      }
      table[step] = rounded;
    }
    // Beyond the last step every neighbour counts.
    while (k < kPaletteSize - 1) running = std::max(running, shift[neighbours[k++]]);
    table[kReachSteps] = RoundedUp(running);
  }
}

void BoundChains::AddToDrifts(const std::array<double, kPaletteSize>& shift, int first, int end) {
  for (int e = first; e < end; ++e) {
    drift_[e] += shift[e];
    double* near = nearDrift_.data() + static_cast<size_t>(e) * kGroupsPerEntry;
    double* both = groupDrift_.data() + static_cast<size_t>(e) * kGroupsPerEntry;
    for (int step = 0; step < kGroupsPerEntry; ++step) {
      near[step] += nearShift_[e][step];
      both[step] = drift_[e] + near[step];
    }
  }
}

void BoundChains::Restart(std::vector<double>& lowerBefore, double centreSlack) {
  lowerBefore.resize(group_.size());
  for (size_t k = 0; k < group_.size(); ++k) lowerBefore[k] = LowerOthers(k);
  drift_.fill(0.0);
  std::fill(nearDrift_.begin(), nearDrift_.end(), 0.0);
  std::fill(groupDrift_.begin(), groupDrift_.end(), 0.0);
  slackCap_ = std::max(slackCap_, 4.0 * centreSlack);
}

// While the colour is not visited, its bounds are u + (sum of a's shifts since) for its
// entry a, and l - (sum of a's near shifts since) for every other entry, l being the
// smaller of the two lower bounds; the near shift of each pass is taken at the reach
// 2 l2 + slackCap_ (l2 the bound of the others). That covers the reach l2' + u' + slack
// of every such pass: the chain's l2' stays below l2, a skipped colour's u' below its
// l', and a pass whose slack exceeds slackCap_ restarts the chains. (An entry beyond the
// reach stays farther than l2', so the second entry is covered whether near or not.)
// The colour may be skipped while (u + du)(1 + m) + m < (l - dl)(1 - m) - m (m = 1e-9,
// the margin of CertainlyBelow); with D = drift + near drift of its group, that holds
// when D(1 + m) < margin + D0(1 + m), margin = (l(1 - m) - m) - (u(1 + m) + m), which is
// stored with room for the rounding of the sums. When it is visited, its second entry
// is measured afresh and the others' bound is l2 less the near shifts since.
void BoundChains::Start(int64_t k, int entry, double upper, int second, double lowerSecond,
                        double lowerOthers) {
  const int group = entry * kGroupsPerEntry + ReachStep(2.0 * lowerOthers + slackCap_);
  const double lower = std::min(lowerSecond, lowerOthers);
  const double margin = (lower * (1.0 - 1e-9) - 1e-9) - (upper * (1.0 + 1e-9) + 1e-9);
  const double drift = groupDrift_[group];
  group_[k] = static_cast<uint32_t>(group);
  second_[k] = static_cast<uint8_t>(second);
  skipBelow_[k] = margin + drift * (1.0 + 1e-9) - (std::fabs(margin) + drift) * 1e-12;
  lowerBase_[k] = lowerOthers + nearDrift_[group];
}

int BoundChains::DueColours(int64_t start, int count, uint16_t* due) const {
  int dueCount = 0;
  const uint32_t* groups = group_.data() + start;
  const double* skipBelow = skipBelow_.data() + start;
  const double* groupDrift = groupDrift_.data();
  for (int i = 0; i < count; ++i) {
    due[dueCount] = static_cast<uint16_t>(i);
    dueCount += !(groupDrift[groups[i]] * (1.0 + 2e-9) < skipBelow[i]);
  }
  return dueCount;
}

// Where it started, less the near shifts added since, less far more than the rounding of
// those sums.
double BoundChains::LowerOthers(size_t k) const {
  const double base = lowerBase_[k];
  const double near = nearDrift_[group_[k]];
  return (base - near) - (std::fabs(base) + near) * 1e-12;
}

int BoundChains::ReachStep(double reach) {
  if (!(reach < 1e30)) return kReachSteps;  // also for a reach that is not a number
  const float rounded = static_cast<float>(std::max(reach, 0.0) * (1.0 + 1e-6));
  uint32_t bits;
  std::memcpy(&bits, &rounded, sizeof bits);
  const uint32_t index = bits >> kReachShift;
  return index < kFirstReachStep ? 0
         : index - kFirstReachStep >= static_cast<uint32_t>(kReachSteps)
             ? kReachSteps
             : static_cast<int>(index - kFirstReachStep);
}

float BoundChains::RoundedUp(double value) {
  if (!(value < 1e30)) return HUGE_VALF;
  const float rounded = static_cast<float>(value * (1.0 + 1e-6));
  return value > 0.0 && rounded < FLT_MIN ? FLT_MIN : rounded;
}

}  // namespace genshoku
