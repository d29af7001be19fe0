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

#include <array>
#include <cstdint>
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
  // A float at least `value` (a little above it), for the near-shift tables.
  static float RoundedUp(double value);

  // Per colour, its chain: entry and reach step (entry * kGroupsPerEntry + step), its
  // second entry, the drift below which it is skipped, and its lower bound plus the near
  // drift at the start.
  std::vector<uint32_t> group_;
  std::vector<uint8_t> second_;
  std::vector<double> skipBelow_;
  std::vector<double> lowerBase_;
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

}  // namespace genshoku
