#pragma once
// The bounds that let a k-means pass skip most colours: for every colour that takes part,
// bounds of its distances to its entry and to the others, carried from pass to pass as
// the entries move.
//
// A colour keeps an upper bound u of its distance to its entry a, its second nearest
// entry b, and a lower bound l of its distance to every entry but a and b. When the
// entries move, u grows by a's shift; an entry j can only come nearer than l - shift(j),
// and one whose distance from a's new place exceeds l + u stays farther than l whatever
// its shift. So l shrinks by the largest shift among a's near neighbours only, not among
// all entries. The distance to b is measured afresh whenever the colour is visited, so
// that a colour between two entries is searched again only when a third one comes near.
//
// A colour is not visited while these bounds still settle it: its bounds form a chain
// from the pass in which they were last measured, u growing by the sum of a's shifts and
// l shrinking by the sum of the largest near shifts within a reach fixed when the chain
// started (see Start). Both sums are kept per entry and reach step for all colours at
// once, so that a pass only compares one number per colour with the margin its chain
// started with.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/engine_types.h"
#include "engine/nearest_entry_search.h"

namespace genshoku {

class BoundChains {
 public:
  // Shifts from this size on end every chain (their sums would swallow the margins).
  static constexpr double kLargestShift = 1e12;

  explicit BoundChains(size_t colourCount);

  // Whether the chains can go on through a pass whose entries' true places may lie up to
  // `centreSlack` nearer each other than their centres, and whose shifts are `shift`.
  bool CanGoOn(double centreSlack, const std::array<double, kPaletteSize>& shift) const;

  // Per entry first..end-1 and reach step, the largest shift among the entry's neighbours
  // (the search's neighbour lists) within that reach. Two threads may make disjoint ranges.
  void MakeNearShiftTables(const NearestEntrySearch& search,
                           const std::array<double, kPaletteSize>& shift, int first, int end);
  // Adds this pass's shifts to the drifts of entries first..end-1 (after their near-shift
  // tables are made).
  void AddToDrifts(const std::array<double, kPaletteSize>& shift, int first, int end);
  // Ends every chain where it stands: each colour's lower bound of the others is kept in
  // lowerBefore, the drifts start again from 0, and the slack the chains allow grows to
  // cover this pass's.
  void Restart(std::vector<double>& lowerBefore, double centreSlack);

  // Starts colour k's chain with entry `entry`, the bound `upper` of its distance, its
  // second entry with a lower bound of its distance, and a lower bound of the distance to
  // all other entries, measured this pass.
  void Start(int64_t k, int entry, double upper, int second, double lowerSecond,
             double lowerOthers);

  // Lists (as offsets from `start`) the colours start..start+count-1 whose chains no
  // longer settle them; returns how many. count is at most kBlock.
  static constexpr int kBlock = 256;
  int DueColours(int64_t start, int count, uint16_t* due) const;

  int EntryOf(int64_t k) const { return static_cast<int>(group_[k] / kGroupsPerEntry); }
  int SecondOf(int64_t k) const { return second_[k]; }
  // Colour k's lower bound of the distance to the entries other than its own and its
  // second at the end of its chain.
  double LowerOthers(size_t k) const;
  // At least the largest shift among the neighbours of `entry` whose distance from it may
  // be at most `reach`, this pass.
  double NearShift(int entry, double reach) const { return nearShift_[entry][ReachStep(reach)]; }

 private:
  // Reaches are grouped into steps of an eighth of an octave: the bits of a float above its
  // lowest 20 mantissa bits number them in increasing order.
  static constexpr int kReachShift = 20;
  static constexpr uint32_t kFirstReachStep = 0x37800000u >> kReachShift;  // 2^-16
  static constexpr int kReachSteps = 40 * 8;                               // up to 2^24
  // The chains of an entry: one per reach step, and one beyond the last.
  static constexpr int kGroupsPerEntry = kReachSteps + 1;

  // The reach step whose upper end is at least `reach`.
  static int ReachStep(double reach);
  // The upper end of a reach step, and the first step (kReachSteps: none) whose upper end is
  // at least `distance`, a listed distance of the neighbour lists.
  static float StepEnd(int step);
  static int FirstStepReaching(float distance);
  // A float at least `value` (a little above it), for the near-shift tables.
  static float RoundedUp(double value);
  // The largest float at most `value`: the lower bounds per colour are kept as floats (4
  // bytes less per colour on a picture of many colours), rounded the way that only makes a
  // colour searched sooner, never settled by a bound it does not have. (The drift below
  // which a colour is skipped stays a double: the pass that compares it with every
  // colour's would pay for the conversions.)
  static float RoundedDown(double value) {
    float rounded = static_cast<float>(value);
    if (static_cast<double>(rounded) > value) {
      // One float down, by its bits (the library's nextafter is a call per colour).
      uint32_t bits;
      std::memcpy(&bits, &rounded, sizeof bits);
      bits = rounded > 0.0f ? bits - 1 : rounded < 0.0f ? bits + 1 : 0x80000001u;
      std::memcpy(&rounded, &bits, sizeof rounded);
    }
    return rounded;
  }

  // Per colour, its chain: entry and reach step (entry * kGroupsPerEntry + step), its
  // second entry, the drift below which it is skipped, and its lower bound plus the near
  // drift at the start.
  std::vector<uint32_t> group_;
  std::vector<uint8_t> second_;
  std::vector<double> skipBelow_;
  std::vector<float> lowerBase_;
  // Per entry, the sum of its shifts since the chains started; per entry and reach step,
  // the sum of its near shifts, and both added.
  std::array<double, kPaletteSize> drift_{};
  std::vector<double> nearDrift_, groupDrift_;
  // The slack between centres and true entries that the chains' reaches allow for.
  double slackCap_ = 0x1p-20;
  // Per entry and reach step: the largest shift among the neighbours of the entry whose
  // listed distance is at most the upper end of the step, this pass.
  std::array<std::array<float, kReachSteps + 1>, kPaletteSize> nearShift_;
};

// The steps below run for every colour a pass visits: defined here, so that they are
// made part of the pass.

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
inline void BoundChains::Start(int64_t k, int entry, double upper, int second, double lowerSecond,
                               double lowerOthers) {
  const int group = entry * kGroupsPerEntry + ReachStep(2.0 * lowerOthers + slackCap_);
  const double lower = std::min(lowerSecond, lowerOthers);
  const double margin = (lower * (1.0 - 1e-9) - 1e-9) - (upper * (1.0 + 1e-9) + 1e-9);
  const double drift = groupDrift_[group];
  group_[k] = static_cast<uint32_t>(group);
  second_[k] = static_cast<uint8_t>(second);
  skipBelow_[k] = margin + drift * (1.0 + 1e-9) - (std::fabs(margin) + drift) * 1e-12;
  lowerBase_[k] = RoundedDown(lowerOthers + nearDrift_[group]);
}

inline int BoundChains::DueColours(int64_t start, int count, uint16_t* due) const {
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
inline double BoundChains::LowerOthers(size_t k) const {
  const double base = lowerBase_[k];
  const double near = nearDrift_[group_[k]];
  return (base - near) - (std::fabs(base) + near) * 1e-12;
}

inline int BoundChains::ReachStep(double reach) {
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

}  // namespace genshoku
