#include "engine/kmeans.h"

#include <array>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "engine/integer_parts.h"
#include "engine/kmeans/entry_statistics.h"
#include "engine/kmeans/entry_sums.h"
#include "engine/kmeans/nearest_assignment.h"
#include "engine/kmeans/palette_bounds.h"
#include "engine/kmeans/pixel_colours.h"

namespace genshoku {

namespace {

// Upper end (exclusive) of the random values of one component: the component's weight
// times 256. A weight below 1/256 would make it 0; such a component is drawn as 0.
int RandomRange(double weight) {
  const int32_t range = TruncateToInt32(weight * 256.0);
  return range >= 1 ? range : 1;
}

// The colours that take part, in colour order: as the clustering numbers them, the first
// ones, without a list; should they not be, they are listed in `list`.
TakingColourSet TakingPartColours(const ColourTable& colours, std::vector<uint32_t>& list) {
  int64_t first = 0;
  while (first < colours.colourCount && colours.takingPart[first] != 0) ++first;
  bool onlyFirst = true;
  for (int64_t c = first; c < colours.colourCount && onlyFirst; ++c) {
    onlyFirst = colours.takingPart[c] == 0;
  }
  if (onlyFirst) return TakingColourSet::FirstColours(static_cast<size_t>(first));
  for (int64_t c = 0; c < colours.colourCount; ++c) {
    if (colours.takingPart[c] != 0) list.push_back(static_cast<uint32_t>(c));
  }
  return TakingColourSet(list);
}

// The clusters' labels, counts and sums as the first assignment; their pixel lists are let
// go (where the pixels must be added again, their colours come from the planes).
void TakeOverClusters(Clusters& clusters, int64_t colourCount, std::vector<uint8_t>& entryOfColour,
                      std::array<int64_t, kPaletteSize>& counts,
                      std::array<EntrySums, kPaletteSize>& sums) {
  entryOfColour.assign(static_cast<size_t>(colourCount), 0);
  for (int label = 0; label < kPaletteSize; ++label) {
    ClusterMembers& cluster = clusters[label];
    for (const uint32_t c : cluster.colours) entryOfColour[c] = static_cast<uint8_t>(label);
    counts[label] = static_cast<int64_t>(cluster.pixels.size());
    sums[label] = {cluster.sums.z, cluster.sums.y, cluster.sums.x};
    cluster = ClusterMembers{};
  }
}

// Lloyd passes over the colours that take part: assignment, then the update of the
// entries' statistics and a candidate palette of their means, until the palette settles.
class KMeans {
 public:
  // Starts from the first assignment: entryOfColour, and per entry its pixel count and the
  // sums of its pixels in pixel order.
  KMeans(const ColourTable& colours, const ReductionParams& params, WorkingPalette& palette,
         std::vector<uint8_t>& entryOfColour, const std::array<int64_t, kPaletteSize>& counts,
         const std::array<EntrySums, kPaletteSize>& sums, EngineRun& run, int threads,
         int entryCount, double widening)
      : params_(params),
        palette_(palette),
        run_(run),
        entries_(entryCount),
        widening_(widening),
        taking_(TakingPartColours(colours, takingList_)),
        statistics_(colours, taking_, entryOfColour, run, threads),
        assignment_(colours, taking_, entryOfColour, run, threads, entryCount) {
    statistics_.Start(counts, sums);
    for (int e = 0; e < kPaletteSize; ++e) {
      current_.SetExact(e, palette_.Y[e], palette_.U[e], palette_.V[e]);
    }
  }

  void Run() {
    Diagnostics& diagnostics = run_.diagnostics();
    PaletteBounds previous;
    for (int pass = 1;; ++pass) {
      run_.Pump();
      run_.ShowKmeansProgress(pass);
      diagnostics.Err("%d iter\n", pass);
      if (!assignment_.Assign(current_, previous, pass > 1)) {
        // Some colours lie too near the middle between two entries for the bounds of the
        // means: the current palette is made exact, and they are searched again.
        statistics_.MakeExact(current_, EntryStatistics::MadeFrom::Present);
        assignment_.SearchUndecided(current_);
      }
      statistics_.Move(assignment_.moves());
      PaletteBounds candidate = Candidate();
      if (pass >= KMEANS_MAX_PASSES || Settled(candidate)) {
        // The palette keeps the values the last assignment used; the candidate is dropped.
        statistics_.MakeExact(current_, EntryStatistics::MadeFrom::BeforeLastMoves);
        palette_ = current_.centre;
        diagnostics.Err("%d iter\n", pass);
        return;
      }
      previous = current_;
      current_ = candidate;
    }
  }

 private:
  // The means of the entries that hold pixels, and random entries for the others.
  PaletteBounds Candidate() {
    PaletteBounds candidate;
    statistics_.MeansInto(candidate, widening_);
    const int rangeY = RandomRange(params_.weightY);
    const int rangeU = RandomRange(params_.weightU);
    const int rangeV = RandomRange(params_.weightV);
    for (int e = 0; e < entries_; ++e) {
      run_.Pump();
      if (statistics_.count(e) >= 1) continue;
      EngineRandom& random = run_.random();
      const double y = static_cast<double>(random.Draw() % rangeY);
      const double u = static_cast<double>(random.Draw() % rangeU);
      const double v = static_cast<double>(random.Draw() % rangeV);
      candidate.SetExact(e, y, u, v);
      // The system's own line, romanised Japanese: "palette entry drawn at random".
      run_.diagnostics().Out("RAND de dasita palette = %f %f %f\n", y, u, v);
    }
    return candidate;
  }

  // Whether the passes end with this candidate: no entry's integer parts change, or (with
  // fewer distinct colours than entries, where some entries can never hold a pixel and are
  // redrawn in every pass) only entries without pixels change.
  bool Settled(PaletteBounds& candidate) {
    std::array<Change, kPaletteSize> change;
    bool anyUnknown = false;
    bool heldEntryMoved = false;
    for (int e = 0; e < entries_; ++e) {
      change[e] = IntegerPartsChange(candidate, current_, e);
      anyUnknown |= change[e] == Change::Unknown;
      heldEntryMoved |= change[e] == Change::Moved && statistics_.count(e) != 0;
    }
    // Once an entry that holds pixels has moved, the passes go on whatever the others do;
    // otherwise every undecided entry is settled on exact sums.
    if (anyUnknown && !heldEntryMoved) SettleChanges(candidate, change);
    bool converged = true;
    bool onlyEmptyEntriesMoved = true;
    for (int e = 0; e < entries_; ++e) {
      if (change[e] == Change::None) continue;
      converged = false;
      if (statistics_.count(e) != 0) onlyEmptyEntriesMoved = false;
    }
    const bool fewerColoursThanEntries = taking_.size() < static_cast<size_t>(entries_);
    return converged || (fewerColoursThanEntries && onlyEmptyEntriesMoved);
  }

  // Decides the undecided entries of `change` on exact sums: the candidate's from the
  // present assignment, the current palette's from the one before the last moves.
  void SettleChanges(PaletteBounds& candidate, std::array<Change, kPaletteSize>& change) {
    std::array<bool, kPaletteSize> undecided{};
    std::array<bool, kPaletteSize> candidateWanted{};
    for (int e = 0; e < entries_; ++e) {
      undecided[e] = change[e] == Change::Unknown;
      candidateWanted[e] = undecided[e] && !candidate.Exact(e);
    }
    statistics_.MakeExact(candidateWanted, candidate);
    statistics_.MakeExact(current_, EntryStatistics::MadeFrom::BeforeLastMoves, &undecided);
    for (int e = 0; e < entries_; ++e) {
      if (undecided[e]) change[e] = IntegerPartsChange(candidate, current_, e);
    }
  }

  const ReductionParams& params_;
  WorkingPalette& palette_;
  EngineRun& run_;
  const int entries_;  // the entries that take part: 0..entries_-1
  const double widening_;
  std::vector<uint32_t> takingList_;  // only where taking_ needs a list
  const TakingColourSet taking_;      // the colours that take part
  EntryStatistics statistics_;
  NearestAssignment assignment_;
  PaletteBounds current_;
};

}  // namespace

void RefinePaletteKMeans(ColourTable& colours, const uint8_t* srcR, const uint8_t* srcG,
                         const uint8_t* srcB, Clusters& clusters, const ReductionParams& params,
                         WorkingPalette& palette, std::vector<uint8_t>& entryOfColour,
                         EngineRun& run, int threads, int entryCount, double boundsWidening) {
  RestorePixelColoursFromClusters(colours, clusters, srcR, srcG, srcB, run, threads);
  std::array<int64_t, kPaletteSize> counts{};
  std::array<EntrySums, kPaletteSize> sums{};
  TakeOverClusters(clusters, colours.colourCount, entryOfColour, counts, sums);
#if defined(__GLIBC__)
  // Many of the lists lay in the helper thread's memory pool, which keeps what is freed
  // unless it is handed back; the refinement's own buffers come next.
  if (threads >= 2) malloc_trim(0);
#endif
  KMeans kmeans(colours, params, palette, entryOfColour, counts, sums, run, threads, entryCount,
                boundsWidening);
  kmeans.Run();
}

}  // namespace genshoku
