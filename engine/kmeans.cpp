#include "engine/kmeans.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "engine/entry_sums.h"
#include "engine/integer_parts.h"
#include "engine/nearest_entry_search.h"
#include "engine/parallel.h"
#include "engine/sum_bounds.h"

namespace genshoku {

namespace {

constexpr int64_t kItemsPerProgressPoint = int64_t{1} << 15;

// Tests widen the bounds of the entries' means so that decisions fall back on adding the
// pixels again.
std::atomic<double> boundsWidening{1.0};

// Upper end (exclusive) of the random values of one component: the component's weight
// times 256. A weight below 1/256 would make it 0; such a component is drawn as 0.
int RandomRange(double weight) {
  const int32_t range = TruncateToInt32(weight * 256.0);
  return range >= 1 ? range : 1;
}

// The integer part of every value between low and high, or false when they differ.
bool CommonIntegerPart(double low, double high, int32_t& part) {
  const int32_t a = TruncateToInt32(low);
  if (low != high && (TruncateToInt32(high) != a || !(high - low < 1.0))) return false;
  part = a;
  return true;
}

// A palette as the refinement knows it: each component of each entry lies between two
// doubles, equal when the entry is known exactly. The searches measure from the centres;
// the true entry lies within `radius` of its centre.
struct PaletteBounds {
  WorkingPalette low, high, centre;
  std::array<double, kPaletteSize> radius{};

  bool Exact(int e) const { return radius[e] == 0.0; }

  void SetExact(int e, double y, double u, double v) {
    low.Y[e] = high.Y[e] = centre.Y[e] = y;
    low.U[e] = high.U[e] = centre.U[e] = u;
    low.V[e] = high.V[e] = centre.V[e] = v;
    radius[e] = 0.0;
  }

  void SetBounds(int e, const DoubleInterval (&bounds)[3], double widening) {
    double reach = 0.0;
    double* lows[3] = {&low.Y[e], &low.U[e], &low.V[e]};
    double* highs[3] = {&high.Y[e], &high.U[e], &high.V[e]};
    double* centres[3] = {&centre.Y[e], &centre.U[e], &centre.V[e]};
    for (int k = 0; k < 3; ++k) {
      double a = bounds[k].low, b = bounds[k].high;
      double middle = a * 0.5 + b * 0.5;
      if (widening != 1.0) {
        // More upwards than downwards, so that the centre moves off the true mean.
        a = middle - (middle - a) * widening;
        b = middle + (b - middle) * (3.0 * widening);
        middle = a * 0.5 + b * 0.5;
      }
      *lows[k] = a;
      *highs[k] = b;
      *centres[k] = middle;
      // The sum of the three reaches is at least their Euclidean length.
      reach += std::max(middle - a, b - middle);
    }
    const bool exact = low.Y[e] == high.Y[e] && low.U[e] == high.U[e] && low.V[e] == high.V[e];
    radius[e] = exact ? 0.0 : reach * (1.0 + 0x1p-30) + DBL_TRUE_MIN;
    if (!(radius[e] < HUGE_VAL)) radius[e] = HUGE_VAL;
  }

  double LargestRadius() const { return *std::max_element(radius.begin(), radius.end()); }
};

enum class Change { None, Moved, Unknown };

// Whether entry e's integer parts differ between two palettes.
Change IntegerPartsChange(const PaletteBounds& a, const PaletteBounds& b, int e) {
  bool unknown = false;
  const double* lowsA[3] = {&a.low.Y[e], &a.low.U[e], &a.low.V[e]};
  const double* highsA[3] = {&a.high.Y[e], &a.high.U[e], &a.high.V[e]};
  const double* lowsB[3] = {&b.low.Y[e], &b.low.U[e], &b.low.V[e]};
  const double* highsB[3] = {&b.high.Y[e], &b.high.U[e], &b.high.V[e]};
  for (int k = 0; k < 3; ++k) {
    int32_t partA, partB;
    if (!CommonIntegerPart(*lowsA[k], *highsA[k], partA) ||
        !CommonIntegerPart(*lowsB[k], *highsB[k], partB)) {
      unknown = true;
    } else if (partA != partB) {
      return Change::Moved;
    }
  }
  return unknown ? Change::Unknown : Change::None;
}

// Lloyd passes over the colours that take part. Every entry's mean is the sum of its
// pixels' working colours in pixel order divided by their count. An entry whose set of
// pixels did not change keeps its sums (the same pixels added in the same order give the
// same doubles); for the others the exact totals bound the mean between two doubles, and
// the pixels are added again only when a decision depends on where in between it lies.
class KMeans {
 public:
  KMeans(const ColourTable& colours, Clusters& clusters, const ReductionParams& params,
         WorkingPalette& palette, std::vector<uint8_t>& entryOfColour, EngineRun& run, int threads)
      : colours_(colours),
        params_(params),
        palette_(palette),
        entryOf_(entryOfColour),
        run_(run),
        threads_(threads),
        widening_(boundsWidening.load()) {
    entryOf_.assign(static_cast<size_t>(colours.colourCount), 0);
    // The clusters' pixel lists are let go: where the pixels must be added again, their
    // colours are found from the planes.
    for (int label = 0; label < kPaletteSize; ++label) {
      ClusterMembers& cluster = clusters[label];
      for (const uint32_t c : cluster.colours) entryOf_[c] = static_cast<uint8_t>(label);
      counts_[label] = static_cast<int64_t>(cluster.pixels.size());
      sums_[label] = {cluster.sums.z, cluster.sums.y, cluster.sums.x};
      sumsExact_[label] = true;
      cluster = ClusterMembers{};
    }
#if defined(__GLIBC__)
    // Many of the lists lay in the helper thread's memory pool, which keeps what is freed
    // unless it is handed back; the refinement's own buffers come next.
    if (threads >= 2) malloc_trim(0);
#endif
    double largest = 0.0;
    for (int64_t c = 0; c < colours.colourCount; ++c) {
      if (colours.takingPart[c] == 0) continue;
      taking_.push_back(static_cast<uint32_t>(c));
      takingPixels_ += colours.takingPart[c];
      const ColourTable::Working& w = colours.working[c];
      largest = std::max({largest, std::fabs(w.y), std::fabs(w.u), std::fabs(w.v)});
      if (!std::isfinite(w.y) || !std::isfinite(w.u) || !std::isfinite(w.v)) largest = HUGE_VAL;
    }
    scale_ = FixedPointScale(largest, takingPixels_);
    if (scale_.usable()) {
      for (const uint32_t c : taking_) AddTotals(entryOf_[c], c, colours.takingPart[c]);
    }
    group_.resize(taking_.size());
    second_.resize(taking_.size());
    skipBelow_.resize(taking_.size());
    lowerBase_.resize(taking_.size());
    nearDrift_.assign(static_cast<size_t>(kPaletteSize) * kGroupsPerEntry, 0.0);
    groupDrift_.assign(nearDrift_.size(), 0.0);
    for (int e = 0; e < kPaletteSize; ++e) {
      current_.SetExact(e, palette_.Y[e], palette_.U[e], palette_.V[e]);
    }
  }

  void Run() {
    Diagnostics& diagnostics = run_.diagnostics();
    // With fewer distinct colours than entries some entries can never hold a pixel and are
    // redrawn in every pass, so the passes would never settle on their own.
    const bool fewerColoursThanEntries = taking_.size() < static_cast<size_t>(kPaletteSize);
    const int rangeY = RandomRange(params_.weightY);
    const int rangeU = RandomRange(params_.weightU);
    const int rangeV = RandomRange(params_.weightV);
    PaletteBounds previous;
    bool haveBounds = false;

    for (int pass = 1;; ++pass) {
      run_.Pump();
      run_.ShowKmeansProgress(pass);
      diagnostics.Err("%d iter\n", pass);

      Assign(previous, haveBounds);
      haveBounds = true;
      MoveColours();

      if (!scale_.usable()) AddSumsAgain(EntriesWithoutExactSums());
      PaletteBounds candidate;
      for (int i = 0; i < kPaletteSize; ++i) {
        run_.Pump();
        if (counts_[i] >= 1) {
          const double n = static_cast<double>(counts_[i]);
          if (sumsExact_[i]) {
            candidate.SetExact(i, sums_[i].y / n, sums_[i].u / n, sums_[i].v / n);
          } else {
            const DoubleInterval bounds[3] = {
                BoundsOfSequentialMean(totals_[i][0], counts_[i], scale_),
                BoundsOfSequentialMean(totals_[i][1], counts_[i], scale_),
                BoundsOfSequentialMean(totals_[i][2], counts_[i], scale_)};
            candidate.SetBounds(i, bounds, widening_);
          }
        } else {
          EngineRandom& random = run_.random();
          const double y = static_cast<double>(random.Draw() % rangeY);
          const double u = static_cast<double>(random.Draw() % rangeU);
          const double v = static_cast<double>(random.Draw() % rangeV);
          candidate.SetExact(i, y, u, v);
          diagnostics.Out("RAND de dasita palette = %f %f %f\n", y, u, v);
        }
      }

      bool stop = pass >= KMEANS_MAX_PASSES;
      if (!stop) {
        std::array<Change, kPaletteSize> change;
        bool anyUnknown = false;
        bool heldEntryMoved = false;
        for (int i = 0; i < kPaletteSize; ++i) {
          change[i] = IntegerPartsChange(candidate, current_, i);
          anyUnknown |= change[i] == Change::Unknown;
          heldEntryMoved |= change[i] == Change::Moved && counts_[i] != 0;
        }
        // Once an entry that holds pixels has moved, the passes go on whatever the others
        // do; otherwise every undecided entry is settled on exact sums.
        if (anyUnknown && !heldEntryMoved) SettleChanges(candidate, change);
        bool converged = true;
        bool onlyEmptyEntriesMoved = true;
        for (int i = 0; i < kPaletteSize; ++i) {
          if (change[i] == Change::None) continue;
          converged = false;
          if (counts_[i] != 0) onlyEmptyEntriesMoved = false;
        }
        stop = converged || (fewerColoursThanEntries && onlyEmptyEntriesMoved);
      }
      if (stop) {
        // The palette keeps the values the last assignment used; the candidate is dropped.
        MakeCurrentPaletteExact(prevEntryOf_, prevCounts_, false);
        for (int e = 0; e < kPaletteSize; ++e) {
          palette_.Y[e] = current_.centre.Y[e];
          palette_.U[e] = current_.centre.U[e];
          palette_.V[e] = current_.centre.V[e];
        }
        diagnostics.Err("%d iter\n", pass);
        return;
      }
      previous = current_;
      current_ = candidate;
    }
  }

 private:
  void AddTotals(int entry, uint32_t c, int64_t times) {
    const ColourTable::Working& w = colours_.working[c];
    totals_[entry][0].Add(scale_.ToFixed(w.y), times);
    totals_[entry][1].Add(scale_.ToFixed(w.u), times);
    totals_[entry][2].Add(scale_.ToFixed(w.v), times);
  }

  std::array<bool, kPaletteSize> EntriesWithoutExactSums() const {
    std::array<bool, kPaletteSize> wanted{};
    for (int e = 0; e < kPaletteSize; ++e) wanted[e] = counts_[e] >= 1 && !sumsExact_[e];
    return wanted;
  }

  // The sums of the wanted entries under the present assignment, added over their pixels.
  void AddSumsAgain(const std::array<bool, kPaletteSize>& wanted) {
    SumEntriesInPixelOrder(colours_, entryOf_.data(), wanted, counts_, sums_, run_, threads_);
    for (int e = 0; e < kPaletteSize; ++e) {
      if (wanted[e]) sumsExact_[e] = true;
    }
  }

  // Makes every entry of the current palette exact (or only those in `only`): the means of
  // the assignment `assignment` with its counts, which the current palette was made from.
  // `isPresent` says the assignment is the present one, whose sums are kept.
  void MakeCurrentPaletteExact(const std::vector<uint8_t>& assignment,
                               const std::array<int64_t, kPaletteSize>& counts, bool isPresent,
                               const std::array<bool, kPaletteSize>* only = nullptr) {
    std::array<bool, kPaletteSize> wanted{};
    bool any = false;
    for (int e = 0; e < kPaletteSize; ++e) {
      wanted[e] = !current_.Exact(e) && (!only || (*only)[e]);
      any |= wanted[e];
    }
    if (!any) return;
    std::array<EntrySums, kPaletteSize> sums;
    SumEntriesInPixelOrder(colours_, assignment.data(), wanted, counts, sums, run_, threads_);
    for (int e = 0; e < kPaletteSize; ++e) {
      if (!wanted[e]) continue;
      const double n = static_cast<double>(counts[e]);
      current_.SetExact(e, sums[e].y / n, sums[e].u / n, sums[e].v / n);
      if (isPresent) {
        sums_[e] = sums[e];
        sumsExact_[e] = true;
      }
    }
  }

  // Decides the undecided entries of `change` on exact sums: the candidate's from the
  // present assignment, the current palette's from the previous one.
  void SettleChanges(PaletteBounds& candidate, std::array<Change, kPaletteSize>& change) {
    std::array<bool, kPaletteSize> undecided{};
    std::array<bool, kPaletteSize> candidateWanted{};
    for (int e = 0; e < kPaletteSize; ++e) {
      undecided[e] = change[e] == Change::Unknown;
      candidateWanted[e] = undecided[e] && !candidate.Exact(e);
    }
    AddSumsAgain(candidateWanted);
    for (int e = 0; e < kPaletteSize; ++e) {
      if (!candidateWanted[e]) continue;
      const double n = static_cast<double>(counts_[e]);
      candidate.SetExact(e, sums_[e].y / n, sums_[e].u / n, sums_[e].v / n);
    }
    MakeCurrentPaletteExact(prevEntryOf_, prevCounts_, false, &undecided);
    for (int e = 0; e < kPaletteSize; ++e) {
      if (undecided[e]) change[e] = IntegerPartsChange(candidate, current_, e);
    }
  }

  // The nearest entry of every colour that takes part, under the current palette; the
  // colours whose entry changes are listed in moves_. `previous` is the palette the bounds
  // were made with.
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
  // started (see StartChain). Both sums are kept per entry and reach step for all colours
  // at once, so that a pass only compares one number per colour with the margin its chain
  // started with.
  void Assign(const PaletteBounds& previous, bool haveBounds) {
    const WorkingPalette& centre = current_.centre;
    search_.SetPalette(centre.Y.data(), centre.U.data(), centre.V.data(), kPaletteSize);
    const double largestRadius = current_.LargestRadius();
    // Entries' true distances from each other are at most this much below the measured
    // ones between centres.
    const double centreSlack = 2.0 * largestRadius;
    // How far every entry can have moved since the bounds were made.
    std::array<double, kPaletteSize> shift{};
    bool chainsHold = haveBounds && centreSlack <= slackCap_;
    if (haveBounds) {
      for (int e = 0; e < kPaletteSize; ++e) {
        const double dY = centre.Y[e] - previous.centre.Y[e];
        const double dU = centre.U[e] - previous.centre.U[e];
        const double dV = centre.V[e] - previous.centre.V[e];
        shift[e] =
            (std::sqrt(dY * dY + dU * dU + dV * dV) + current_.radius[e] + previous.radius[e]) *
            (1.0 + 1e-12);
        if (!(shift[e] < 1e100)) shift[e] = std::numeric_limits<double>::infinity();
        // Sums of huge shifts would lose the margins of the chains in their rounding.
        if (!(shift[e] < kLargestChainShift) || !(drift_[e] < kLargestChainShift)) {
          chainsHold = false;
        }
      }
      // The neighbour lists and the table of each entry depend on nothing else made here;
      // the two threads take half of the entries each.
      RunInTwoParts(threads_, [&](int part) {
        const int first = part == 0 ? 0 : kPaletteSize / 2;
        const int end = part == 0 ? kPaletteSize / 2 : kPaletteSize;
        search_.MakeNeighbourLists(first, end);
        MakeNearShiftTable(shift, first, end);
        if (chainsHold) AddToDrifts(shift, first, end);
      });
    }
    std::vector<double> lowerBefore;
    if (haveBounds && !chainsHold) RestartChains(lowerBefore, centreSlack);
    const int64_t count = static_cast<int64_t>(taking_.size());
    std::vector<int64_t> undecided[2];
    moves_[0].clear();
    moves_[1].clear();
    RunInTwoParts(threads_, [&](int part) {
      auto visit = [&](int64_t k) {
        const ColourTable::Working& w = colours_.working[taking_[k]];
        const int current =
            chainsHold ? static_cast<int>(group_[k] / kGroupsPerEntry) : entryOf_[taking_[k]];
        if (haveBounds) {
          const double upper =
              std::sqrt(search_.SquaredDistance(w.y, w.u, w.v, current)) + current_.radius[current];
          const int second = second_[k];
          const double lowerSecond =
              std::sqrt(search_.SquaredDistance(w.y, w.u, w.v, second)) - current_.radius[second];
          double lowerOthers;
          if (chainsHold) {
            lowerOthers = ChainLower(k);
          } else {
            lowerOthers = lowerBefore[k] - NearShift(current, lowerBefore[k] + upper + centreSlack);
          }
          if (CertainlyBelow(upper, std::min(lowerSecond, lowerOthers))) {
            StartChain(k, current, upper, second, lowerSecond, lowerOthers);
            return;
          }
        }
        if (!Search(k, w.y, w.u, w.v, current, largestRadius, moves_[part])) {
          undecided[part].push_back(k);
        }
      };
      int64_t begin, end;
      HalfRange(count, part, begin, end);
      // Blocks of colours: those whose chains no longer settle them are listed first, and
      // their colours fetched ahead, since they lie scattered through the colour table.
      constexpr int kBlock = 256;
      for (int64_t blockStart = begin; blockStart < end; blockStart += kBlock) {
        if (part == 0 && ((blockStart - begin) & (kItemsPerProgressPoint - 1)) == 0) run_.Pump();
        const int blockCount = static_cast<int>(std::min<int64_t>(kBlock, end - blockStart));
        if (!chainsHold) {
          for (int i = 0; i < blockCount; ++i) visit(blockStart + i);
          continue;
        }
        uint16_t due[kBlock];
        int dueCount = 0;
        const uint32_t* groups = group_.data() + blockStart;
        const double* skipBelow = skipBelow_.data() + blockStart;
        const double* groupDrift = groupDrift_.data();
        for (int i = 0; i < blockCount; ++i) {
          due[dueCount] = static_cast<uint16_t>(i);
          dueCount += !(groupDrift[groups[i]] * (1.0 + 2e-9) < skipBelow[i]);
        }
        for (int i = 0; i < dueCount; ++i) {
          __builtin_prefetch(&colours_.working[taking_[blockStart + due[i]]]);
        }
        for (int i = 0; i < dueCount; ++i) visit(blockStart + due[i]);
      }
    });
    if (undecided[0].empty() && undecided[1].empty()) return;
    // Some colours lie too near the middle between two entries for the bounds of the
    // means: the current palette is made exact, and they are searched again.
    MakeCurrentPaletteExact(entryOf_, counts_, true);
    search_.SetPalette(centre.Y.data(), centre.U.data(), centre.V.data(), kPaletteSize);
    for (int part = 0; part < 2; ++part) {
      for (const int64_t k : undecided[part]) {
        const uint32_t c = taking_[k];
        const ColourTable::Working& w = colours_.working[c];
        Search(k, w.y, w.u, w.v, entryOf_[c], 0.0, moves_[0]);
      }
    }
  }

  // Shifts from this size on end every chain (their sums would swallow the margins).
  static constexpr double kLargestChainShift = 1e12;

  // Adds this pass's shifts to the drifts of entries first..end-1 (after their near-shift
  // tables are made).
  void AddToDrifts(const std::array<double, kPaletteSize>& shift, int first, int end) {
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

  // Ends every chain where it stands: each colour's lower bound of the previous pass is
  // kept in lowerBefore, the drifts start again from 0, and the slack the chains allow
  // grows to cover this pass's.
  void RestartChains(std::vector<double>& lowerBefore, double centreSlack) {
    lowerBefore.resize(taking_.size());
    for (size_t k = 0; k < taking_.size(); ++k) lowerBefore[k] = ChainLower(k);
    drift_.fill(0.0);
    std::fill(nearDrift_.begin(), nearDrift_.end(), 0.0);
    std::fill(groupDrift_.begin(), groupDrift_.end(), 0.0);
    slackCap_ = std::max(slackCap_, 4.0 * centreSlack);
  }

  // Colour k's lower bound of the distance to the entries other than its own and its
  // second at the end of its chain: where it started, less the near shifts added since,
  // less far more than the rounding of those sums.
  double ChainLower(size_t k) const {
    const double base = lowerBase_[k];
    const double near = nearDrift_[group_[k]];
    return (base - near) - (std::fabs(base) + near) * 1e-12;
  }

  // Starts colour k's chain with entry `entry`, the bound `upper` of its distance, its
  // second entry with a lower bound of its distance, and a lower bound of the distance to
  // all other entries, measured this pass.
  //
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
  void StartChain(int64_t k, int entry, double upper, int second, double lowerSecond,
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

  // Reaches are grouped into steps of an eighth of an octave: the bits of a float above its
  // lowest 20 mantissa bits number them in increasing order.
  static constexpr int kReachShift = 20;
  static constexpr uint32_t kFirstReachStep = 0x37800000u >> kReachShift;  // 2^-16
  static constexpr int kReachSteps = 40 * 8;                               // up to 2^24
  // The chains of an entry: one per reach step, and one beyond the last.
  static constexpr int kGroupsPerEntry = kReachSteps + 1;

  // Per entry and reach step s: the largest shift among the neighbours of the entry whose
  // listed distance is at most the upper end of step s.
  // Made for entries first..end-1.
  void MakeNearShiftTable(const std::array<double, kPaletteSize>& shift, int first, int end) {
    for (int e = first; e < end; ++e) {
      const float* distances = search_.NeighbourDistances(e);
      const uint8_t* neighbours = search_.NeighbourIndices(e);
      float* table = nearShift_[e].data();
      int k = 0;
      double running = 0.0;
      float rounded = RoundedUp(running);  // rounded again only when running changes
      for (int step = 0; step < kReachSteps; ++step) {
        uint32_t endBits = (kFirstReachStep + static_cast<uint32_t>(step) + 1) << kReachShift;
        float end;
        std::memcpy(&end, &endBits, sizeof end);
        if (k < kPaletteSize - 1 && distances[k] <= end) {
          while (k < kPaletteSize - 1 && distances[k] <= end) {
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

  static float RoundedUp(double value) {
    if (!(value < 1e30)) return HUGE_VALF;
    const float rounded = static_cast<float>(value * (1.0 + 1e-6));
    return value > 0.0 && rounded < FLT_MIN ? FLT_MIN : rounded;
  }

  // The reach step whose upper end is at least `reach`.
  static int ReachStep(double reach) {
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

  // At least the largest shift among the neighbours of `entry` whose distance from it may
  // be at most `reach`.
  double NearShift(int entry, double reach) const { return nearShift_[entry][ReachStep(reach)]; }

  // A colour that changes its entry: its place among the taking colours and its new entry.
  struct Move {
    uint32_t k;
    uint32_t to;
  };

  // Searches the nearest entry of colour k (whose entry is `start`) and lists it in `moves`
  // when that changes; false when the bounds of the entries cannot tell it.
  bool Search(int64_t k, double y, double u, double v, int start, double largestRadius,
              std::vector<Move>& moves) {
    NearestEntrySearch::RunnersUp runnersUp;
    const int nearest = search_.FindWithRunnersUp(y, u, v, start, runnersUp);
    const double upper =
        std::sqrt(search_.SquaredDistance(y, u, v, nearest)) + current_.radius[nearest];
    const double lowerSecond = runnersUp.secondDistance - largestRadius;
    const double lowerOthers = runnersUp.othersBound - largestRadius;
    if (largestRadius > 0.0 && !CertainlyBelow(upper, std::min(lowerSecond, lowerOthers))) {
      return false;
    }
    if (nearest != start)
      moves.push_back({static_cast<uint32_t>(k), static_cast<uint32_t>(nearest)});
    StartChain(k, nearest, upper, runnersUp.second, lowerSecond, lowerOthers);
    return true;
  }

  // Moves the colours whose entry changed, keeping the counts and totals. (Every change is
  // exact, so the order of the moves does not matter.)
  //
  // Each part of the moves gathers its changes of the totals and counts on its own (on its
  // own thread when there are many); integer totals come out the same in any order, so the
  // changes are then added to them.
  void MoveColours() {
    prevEntryOf_ = entryOf_;
    prevCounts_ = counts_;
    MoveChanges changes[2];
    const size_t moveCount = moves_[0].size() + moves_[1].size();
    RunInTwoParts(moveCount >= kMovesWorthAThread ? threads_ : 1, [&](int part) {
      MoveChanges& own = changes[part];
      for (const Move& move : moves_[part]) {
        const uint32_t c = taking_[move.k];
        const int from = entryOf_[c];
        const int to = static_cast<int>(move.to);
        const int64_t pixels = colours_.takingPart[c];
        if (scale_.usable()) {
          const ColourTable::Working& w = colours_.working[c];
          const __int128 values[3] = {scale_.ToFixed(w.y), scale_.ToFixed(w.u),
                                      scale_.ToFixed(w.v)};
          for (int j = 0; j < 3; ++j) {
            own.totals[from][j].Remove(values[j], pixels);
            own.totals[to][j].Add(values[j], pixels);
          }
        }
        own.counts[from] -= pixels;
        own.counts[to] += pixels;
        own.touched[from] = true;
        own.touched[to] = true;
        entryOf_[c] = static_cast<uint8_t>(to);
      }
    });
    for (const MoveChanges& own : changes) {
      for (int e = 0; e < kPaletteSize; ++e) {
        if (!own.touched[e]) continue;
        for (int j = 0; j < 3; ++j) totals_[e][j].AddTotal(own.totals[e][j]);
        counts_[e] += own.counts[e];
        sumsExact_[e] = false;
      }
    }
  }

  // Moves below this many stay on one thread.
  static constexpr size_t kMovesWorthAThread = 4096;

  // What one part of the moves changes: per entry, its totals and its count.
  struct MoveChanges {
    std::array<std::array<FixedTotal, 3>, kPaletteSize> totals{};
    std::array<int64_t, kPaletteSize> counts{};
    std::array<bool, kPaletteSize> touched{};
  };

  const ColourTable& colours_;
  const ReductionParams& params_;
  WorkingPalette& palette_;
  std::vector<uint8_t>& entryOf_;  // per colour: its entry in the present assignment
  EngineRun& run_;
  int threads_;
  double widening_;
  std::vector<uint32_t> taking_;  // the colours that take part
  int64_t takingPixels_ = 0;
  // Per entry under the present assignment: pixel count, exact totals, and the sums in
  // pixel order where known.
  std::array<int64_t, kPaletteSize> counts_{};
  FixedPointScale scale_;
  std::array<std::array<FixedTotal, 3>, kPaletteSize> totals_{};
  std::array<EntrySums, kPaletteSize> sums_{};
  std::array<bool, kPaletteSize> sumsExact_{};
  // The assignment before the present one, which the current palette was made from.
  std::vector<uint8_t> prevEntryOf_;
  std::array<int64_t, kPaletteSize> prevCounts_{};
  PaletteBounds current_;
  std::vector<Move> moves_[2];  // per part of the last assignment
  // Per taking colour, its chain of bounds (see StartChain): entry and reach step, the
  // drift below which it is skipped, and its lower bound plus the near drift at the start.
  std::vector<uint32_t> group_;
  std::vector<uint8_t> second_;  // its second entry
  std::vector<double> skipBelow_;
  std::vector<double> lowerBase_;
  // Per entry, the sum of its shifts since the chains started; per entry and reach step,
  // the sum of its near shifts, and both added.
  std::array<double, kPaletteSize> drift_{};
  std::vector<double> nearDrift_, groupDrift_;
  // The slack between centres and true entries that the chains' reaches allow for.
  double slackCap_ = 0x1p-20;
  NearestEntrySearch search_;
  std::array<std::array<float, kReachSteps + 1>, kPaletteSize> nearShift_;
};

// The per-pixel colour numbers made again before the clusters' pixel lists are let go: the
// listed pixels take their numbers from their clusters' colour tables, and only the edge
// pixels look theirs up from their bytes. With two threads each takes the clusters of
// about half of the listed pixels and the edge pixels of half of the picture; the pixels
// they write are distinct. The look-up tables and the edge bits are let go afterwards.
void RestorePixelColoursFromClusters(ColourTable& colours, const Clusters& clusters,
                                     const uint8_t* srcR, const uint8_t* srcG, const uint8_t* srcB,
                                     EngineRun& run, int threads) {
  colours.pixelColour.resize(static_cast<size_t>(colours.pixelCount));
  uint32_t* pixelColour = colours.pixelColour.data();
  int64_t listed = 0;
  for (const ClusterMembers& cluster : clusters)
    listed += static_cast<int64_t>(cluster.pixels.size());
  int firstOfSecondPart = 0;
  for (int64_t sofar = 0; firstOfSecondPart < kPaletteSize && sofar * 2 < listed;
       ++firstOfSecondPart) {
    sofar += static_cast<int64_t>(clusters[firstOfSecondPart].pixels.size());
  }
  RunInTwoParts(threads, [&](int part) {
    int64_t sincePump = 0;
    auto visited = [&](int64_t count) {
      sincePump += count;
      if (part == 0 && sincePump >= kItemsPerProgressPoint) {
        sincePump = 0;
        run.Pump();
      }
    };
    const int firstLabel = part == 0 ? 0 : firstOfSecondPart;
    const int endLabel = part == 0 ? firstOfSecondPart : kPaletteSize;
    for (int label = firstLabel; label < endLabel; ++label) {
      const ClusterMembers& cluster = clusters[label];
      const uint32_t* numbers = cluster.colours.data();
      const size_t count = cluster.pixels.size();
      for (size_t start = 0; start < count; start += kItemsPerProgressPoint) {
        const size_t end = std::min(count, start + static_cast<size_t>(kItemsPerProgressPoint));
        for (size_t k = start; k < end; ++k) {
          const Member member = cluster.pixels[k];
          pixelColour[member.pixel] = numbers[member.colour];
        }
        visited(static_cast<int64_t>(end - start));
      }
    }
    int64_t firstWord, endWord;
    HalfRange(static_cast<int64_t>(colours.edgeBits.size()), part, firstWord, endWord);
    for (int64_t w = firstWord; w < endWord; ++w) {
      uint64_t bits = colours.edgeBits[w];
      while (bits != 0) {
        const int64_t i = w * 64 + std::countr_zero(bits);
        bits &= bits - 1;
        pixelColour[i] = colours.ColourOfBytes(srcR[i], srcG[i], srcB[i]) | ColourTable::kEdgeBit;
      }
      visited(64);
    }
  });
  colours.ReleaseLookUpTables();
}

}  // namespace

int NearestEntry(const WorkingPalette& palette, double y, double u, double v) {
  double bestDistance = DBL_MAX;
  int best = 0;
  for (int i = 0; i < kPaletteSize; ++i) {
    const double dY = y - palette.Y[i];
    const double dU = u - palette.U[i];
    const double dV = v - palette.V[i];
    const double distance = dY * dY + dU * dU + dV * dV;
    if (distance < bestDistance) {
      bestDistance = distance;
      best = i;
    }
  }
  return best;
}

void RefinePaletteKMeans(ColourTable& colours, const uint8_t* srcR, const uint8_t* srcG,
                         const uint8_t* srcB, Clusters& clusters, const ReductionParams& params,
                         WorkingPalette& palette, std::vector<uint8_t>& entryOfColour,
                         EngineRun& run, int threads) {
  RestorePixelColoursFromClusters(colours, clusters, srcR, srcG, srcB, run, threads);
  // Lets the pixel lists go.
  KMeans kmeans(colours, clusters, params, palette, entryOfColour, run, threads);
  kmeans.Run();
}

void WidenKMeansBoundsForTesting(double factor) { boundsWidening.store(factor); }

std::vector<uint8_t> NearestEntriesOfColours(const ColourTable& colours,
                                             const WorkingPalette& palette,
                                             const std::vector<uint8_t>& guess, EngineRun& run,
                                             int threads) {
  NearestEntrySearch search;
  search.SetPalette(palette.Y.data(), palette.U.data(), palette.V.data(), kPaletteSize);
  std::vector<uint8_t> nearest(static_cast<size_t>(colours.colourCount));
  RunInTwoParts(threads, [&](int part) {
    int64_t begin, end;
    HalfRange(colours.colourCount, part, begin, end);
    int previous = 0;
    for (int64_t c = begin; c < end; ++c) {
      if (part == 0 && ((c - begin) & (kItemsPerProgressPoint - 1)) == 0) run.Pump();
      const int start = guess.empty() ? previous : guess[c];
      previous =
          search.Find(colours.working[c].y, colours.working[c].u, colours.working[c].v, start);
      nearest[c] = static_cast<uint8_t>(previous);
    }
  });
  return nearest;
}

void AssignNearestEntries(const ColourTable& colours, const std::vector<uint8_t>& nearest,
                          uint8_t* indexPlane) {
  for (int64_t i = 0; i < colours.pixelCount; ++i) indexPlane[i] = nearest[colours.ColourOf(i)];
}

}  // namespace genshoku
