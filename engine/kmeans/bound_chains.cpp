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
    const int others = search.count() - 1;
    float* table = nearShift_[e].data();
    int k = 0;
    double running = 0.0;
    float rounded = RoundedUp(running);  // rounded again only when running changes
    for (int step = 0; step < kReachSteps;) {
      const float stepEnd = StepEnd(step);
      if (k < others && distances[k] <= stepEnd) {
        while (k < others && distances[k] <= stepEnd) {
          running = std::max(running, shift[neighbours[k++]]);
        }
        rounded = RoundedUp(running);
        table[step++] = rounded;
        continue;
      }
      // No neighbour comes within this step: the steps before the one that reaches the next
      // neighbour keep the same shift.
      const int next =
          k < others ? std::max(FirstStepReaching(distances[k]), step + 1) : kReachSteps;
      std::fill(table + step, table + next, rounded);
      step = next;
    }
    // Beyond the last step every neighbour counts.
    while (k < others) running = std::max(running, shift[neighbours[k++]]);
    table[kReachSteps] = RoundedUp(running);
  }
}

float BoundChains::StepEnd(int step) {
  const uint32_t endBits = (kFirstReachStep + static_cast<uint32_t>(step) + 1) << kReachShift;
  float stepEnd;
  std::memcpy(&stepEnd, &endBits, sizeof stepEnd);
  return stepEnd;
}

int BoundChains::FirstStepReaching(float distance) {
  // The bits of a float that is not negative order like its value (infinity last).
  uint32_t bits;
  std::memcpy(&bits, &distance, sizeof bits);
  if (distance < 0.0f) return 0;
  const uint32_t firstEnd = (bits >> kReachShift) + ((bits & ((1u << kReachShift) - 1)) != 0);
  if (firstEnd <= kFirstReachStep + 1) return 0;
  return static_cast<int>(std::min<uint32_t>(firstEnd - kFirstReachStep - 1, kReachSteps));
}

void BoundChains::AddToDrifts(const std::array<double, kPaletteSize>& shift, int first, int end) {
  for (int e = first; e < end; ++e) {
    drift_[e] += shift[e];
    // The tables do not overlap: said so, the steps go two at a time.
    const double drift = drift_[e];
    const float* __restrict nearShift = nearShift_[e].data();
    double* __restrict near = nearDrift_.data() + static_cast<size_t>(e) * kGroupsPerEntry;
    double* __restrict both = groupDrift_.data() + static_cast<size_t>(e) * kGroupsPerEntry;
    for (int step = 0; step < kGroupsPerEntry; ++step) {
      near[step] += nearShift[step];
      both[step] = drift + near[step];
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

float BoundChains::RoundedUp(double value) {
  if (!(value < 1e30)) return HUGE_VALF;
  const float rounded = static_cast<float>(value * (1.0 + 1e-6));
  return value > 0.0 && rounded < FLT_MIN ? FLT_MIN : rounded;
}

}  // namespace genshoku
