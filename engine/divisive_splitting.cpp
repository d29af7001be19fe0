#include "engine/divisive_splitting.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <memory>
#include <thread>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "engine/integer_parts.h"
#include "engine/parallel.h"
#include "engine/split_threshold.h"
#include "engine/uncleared_vector.h"

namespace genshoku {

namespace {

// Clusters at which the splitting shows its state on standard error.
constexpr int kMatrixDumpClusters = 41;
constexpr int kFirstCountDumpClusters = 5;
constexpr int kSecondCountDumpClusters = 6;

// A progress point every this many pixels of a long pass.
constexpr int64_t kPixelsPerProgressPoint = int64_t{1} << 16;

// Clusters smaller than this are split without a second thread.
constexpr int32_t kPixelsWorthAThread = int32_t{1} << 15;

// The passes over a cluster's pixels read their colours' records in no useful order; they
// ask for the record this many pixels ahead.
constexpr int kFetchAhead = 16;

// A double with every bit cleared unless `keep` is all ones: x or +0.0. Adding +0.0 leaves
// a running sum that started at +0.0 unchanged (such a sum is never -0.0).
inline double Masked(double x, uint64_t keep) {
  return std::bit_cast<double>(std::bit_cast<uint64_t>(x) & keep);
}

// The working colours of a cluster's colours in the order of its table, written in full
// as soon as they are sized.
using WorkingColours = UnclearedVector<ColourTable::Working>;

// Where one colour of a cluster being split goes: its working colour, its side of the cut
// (1: at or above it, the side that moves) and its place in that side's table, side by side
// so that the pass over the pixels reads one record per pixel.
struct SharedColour {
  double y, u, v;
  uint32_t place;
  uint32_t up;
};

// The Y, U and V sums of a pass that adds only some pixels, without branching on which:
// every pixel adds either its values or +0.0 (`keep` all ones or zero). Each sum is still
// added in pixel order; with SSE2, Y and U share a register, one lane each.
class MaskedSums {
 public:
  explicit MaskedSums(const double* sums) {
#if defined(__SSE2__)
    yu_ = _mm_loadu_pd(&sums[0]);
    v_ = _mm_load_sd(&sums[2]);
#else
    y_ = sums[0], u_ = sums[1], v_ = sums[2];
#endif
  }
  void Add(const SharedColour& colour, uint64_t keep) {
#if defined(__SSE2__)
    const __m128d mask = _mm_castsi128_pd(_mm_set1_epi64x(static_cast<int64_t>(keep)));
    yu_ = _mm_add_pd(yu_, _mm_and_pd(mask, _mm_loadu_pd(&colour.y)));
    v_ = _mm_add_sd(v_, _mm_and_pd(mask, _mm_load_sd(&colour.v)));
#else
    y_ += Masked(colour.y, keep);
    u_ += Masked(colour.u, keep);
    v_ += Masked(colour.v, keep);
#endif
  }
  void Store(double* sums) const {
#if defined(__SSE2__)
    _mm_storeu_pd(&sums[0], yu_);
    _mm_store_sd(&sums[2], v_);
#else
    sums[0] = y_, sums[1] = u_, sums[2] = v_;
#endif
  }

 private:
#if defined(__SSE2__)
  __m128d yu_, v_;
#else
  double y_, u_, v_;
#endif
};

// The split of one cluster, worked out before it is entered into the table. What it holds
// depends only on the cluster's pixels, except where noted.
struct WorkedSplit {
  // The cluster's own sums, for putting it back together when the split is dropped.
  Triple parentSums;
  CovarianceSums parentProducts;
  bool converged = true;  // the covariance could be diagonalised
  // The axis came from the eigenvalues; otherwise it is the previous split's, and a split
  // worked out ahead of its turn cannot be used.
  bool axisFromEigenvalues = true;
  Matrix3 covariance;
  int axisIndex = 0;
  int threshold = 0;
  ClusterMembers staying, moving;
  double spread[2] = {0.0, 0.0};
};

class Splitter {
 public:
  Splitter(ColourTable& colours, const double* edgeStrength, const ReductionParams& params,
           int threads, ClusterTable& table, Clusters& clusters, EngineRun& run)
      : colours_(colours),
        edgeStrength_(edgeStrength),
        params_(params),
        threads_(threads),
        configuredThreads_(threads),
        table_(table),
        clusters_(clusters),
        run_(run) {}

  // The splits are entered into the table one by one in their fixed order. With two
  // threads, the cluster that will most likely be split next is worked out on the second
  // thread meanwhile; a split depends only on its cluster's pixels, so the result is the
  // same whenever it is made, and it waits until its cluster's turn comes. (Only the
  // median rule prints at every split and the spread rules other than the squared
  // distances may diagonalise again; with those everything runs in turn.)
  void Run() {
    FirstSplit();
    EngineHost idleHost;
    EngineRandom unusedRandom;
    EngineRun quietRun(idleHost, SilentDiagnostics(), unusedRandom);
    Splitter helper(colours_, edgeStrength_, params_, 1, table_, clusters_, quietRun);
    const bool ahead = configuredThreads_ >= 2 && params_.thresholdMode != 1 &&
                       (params_.spreadMode == 0 || params_.spreadMode == 1);
    std::array<std::unique_ptr<WorkedSplit>, kPaletteSize> worked;  // by label
    for (int n = 2; n < kPaletteSize; ++n) {
      if (n > 2) run_.Pump();
      const int k = SelectClusterToSplit(table_, n, params_.spreadMode);
      const ClusterRecord chosen = table_.PT[table_.MEN][k];
      std::unique_ptr<WorkedSplit>& mine = worked[chosen.INDEXNO];
      if (mine && !mine->axisFromEigenvalues) {
        clusters_[chosen.INDEXNO] = Rejoined(*mine);
        mine.reset();
      }
      if (!mine) {
        const int next = ahead ? LikeliestNextSplit(n, k, worked) : -1;
        const ClusterRecord* guess = next >= 0 ? &table_.PT[table_.MEN][next] : nullptr;
        // Two large clusters of about the same size are worth a thread each; otherwise both
        // threads work on the one cluster. Two splits at once hold, besides the lists of
        // both clusters, new lists for their smaller parts; with the two clusters at most a
        // quarter of the pixels that stays well below what the first split needs.
        if (guess && chosen.COUNT >= kPixelsWorthAThread &&
            int64_t{guess->COUNT} * 3 >= int64_t{chosen.COUNT} &&
            (int64_t{chosen.COUNT} + guess->COUNT) * 4 <= int64_t{table_.nonEdgeCount}) {
          std::unique_ptr<WorkedSplit>& theirs = worked[guess->INDEXNO];
          RunInTwoParts(2, [&](int part) {
            if (part == 0) {
              mine = Work(chosen.INDEXNO, chosen.COUNT, 1);
            } else {
              theirs = helper.Work(guess->INDEXNO, guess->COUNT, 1);
            }
          });
        } else {
          mine = Work(chosen.INDEXNO, chosen.COUNT, configuredThreads_);
        }
      }
      Commit(k, n, *mine);
      mine.reset();
    }
    // Splits worked out for clusters whose turn never came: the clusters stay whole.
    for (int label = 0; label < kPaletteSize; ++label) {
      if (worked[label]) clusters_[label] = Rejoined(*worked[label]);
    }
#if defined(__GLIBC__)
    // The helper thread's lists came from its own memory pool, where the memory they left
    // stays with the process unless handed back.
    if (configuredThreads_ >= 2) malloc_trim(0);
#endif
  }

  // The cluster of a split that is dropped, from its two parts: the pixels in pixel order,
  // the colours of the staying part and then those of the moving one. Nothing the engine
  // computes depends on the order of a cluster's colours.
  static ClusterMembers Rejoined(WorkedSplit& worked) {
    ClusterMembers whole;
    const MemberList& a = worked.staying.pixels;
    const MemberList& b = worked.moving.pixels;
    const uint32_t shift = static_cast<uint32_t>(worked.staying.colours.size());
    whole.pixels.resize(a.size() + b.size());
    size_t i = 0, j = 0, k = 0;
    while (i < a.size() || j < b.size()) {
      if (j == b.size() || (i < a.size() && a[i].pixel < b[j].pixel)) {
        whole.pixels[k++] = a[i++];
      } else {
        whole.pixels[k++] = Member{b[j].pixel, b[j].colour + shift};
        ++j;
      }
    }
    whole.colours = std::move(worked.staying.colours);
    whole.colours.insert(whole.colours.end(), worked.moving.colours.begin(),
                         worked.moving.colours.end());
    whole.sums = worked.parentSums;
    whole.products = worked.parentProducts;
    worked = WorkedSplit{};
    return whole;
  }

 private:
  // Position of the cluster other than k with the largest key that holds pixels and has no
  // split worked out yet, or -1.
  int LikeliestNextSplit(int n, int k,
                         const std::array<std::unique_ptr<WorkedSplit>, kPaletteSize>& worked) {
    const ClusterRecord* records = table_.PT[table_.MEN];
    int best = -1;
    double bestKey = 0.0;
    for (int position = 0; position < n; ++position) {
      const ClusterRecord& record = records[position];
      if (position == k || record.COUNT == 0 || worked[record.INDEXNO]) continue;
      const double key = params_.spreadMode == 0 ? static_cast<double>(record.COUNT) * record.SPREAD
                                                 : record.SPREAD;
      if (best < 0 || key > bestKey) {
        best = position;
        bestKey = key;
      }
    }
    return best;
  }

  // The colours being split are numbered 0..count-1 here: the places in the cluster's
  // table (or, at the first split, the colour numbers themselves).
  struct ColourSet {
    const ColourTable::Working* working;  // by number
    const uint32_t* pixels;               // taking-part pixels by number
    std::vector<uint32_t> numbers;        // the numbers in the set, ascending
  };

  // Calls visit(pixel, colour) for every taking-part pixel in pixel order. The visits read
  // their colour's working values, which are fetched ahead. Only the engine's own thread
  // `pumps`.
  template <typename Visit>
  void ForEachTakingPartPixel(Visit&& visit, bool pumps = true) {
    const uint32_t* pixelColour = colours_.pixelColour.data();
    const ColourTable::Working* working = colours_.working.data();
    const int64_t pixelCount = colours_.pixelCount;
    for (int64_t start = 0; start < pixelCount; start += kPixelsPerProgressPoint) {
      if (pumps) run_.Pump();
      const int64_t end = std::min(pixelCount, start + kPixelsPerProgressPoint);
      for (int64_t i = start; i < end; ++i) {
        if (i + kFetchAhead < pixelCount) {
          __builtin_prefetch(&working[pixelColour[i + kFetchAhead] & ColourTable::kColourMask]);
        }
        const uint32_t colour = pixelColour[i];
        if ((colour & ColourTable::kEdgeBit) == 0) visit(i, colour);
      }
    }
  }

  // Calls visit(part, state, pixel, colour) for parts 0 and 1 and every taking-part pixel,
  // each part in pixel order and with its own state (states[part]): with two threads each
  // part passes over the pixels on its own thread, otherwise one pass visits both parts of
  // each pixel in turn. The states are worked on as local copies, which can stay in
  // registers.
  template <typename State, typename Visit>
  void ForEachTakingPartPixelInTwoParts(State (&states)[2], Visit&& visit) {
    if (threads_ < 2) {
      State first = states[0], second = states[1];
      ForEachTakingPartPixel([&](int64_t i, uint32_t c) {
        visit(0, first, i, c);
        visit(1, second, i, c);
      });
      states[0] = first;
      states[1] = second;
      return;
    }
    RunInTwoParts(2, [&](int part) {
      State state = states[part];
      ForEachTakingPartPixel([&](int64_t i, uint32_t c) { visit(part, state, i, c); }, part == 0);
      states[part] = state;
    });
  }

  // The coordinates of every colour of the set in the frame of `axis`, centred on `mean`.
  void RotateColours(const ColourSet& set, size_t size, const Triple& mean, const Triple& axis) {
    along_.resize(size);
    across1_.resize(size);
    across2_.resize(size);
    const AxisRotation rotation(axis);
    for (const uint32_t c : set.numbers) {
      const ColourTable::Working& w = set.working[c];
      rotation.Apply(w.y - mean.z, w.u - mean.y, w.v - mean.x, along_[c], across1_[c], across2_[c]);
    }
  }

  // The threshold of the pixels of the set (in `pixels` order, or in picture order when
  // there is no list), by the split rule.
  int ChooseThreshold(const ColourSet& set, int64_t count, bool firstSplit,
                      const MemberList* pixels) {
    const int mode = params_.thresholdMode;
    IntegerHistogram histogram;
    std::vector<ThresholdRun> runs;
    if (ThresholdNeedsHistogram(mode) && count > 0) histogram = HistogramOfColours(set, count);
    if (ThresholdNeedsRuns(mode) && count > 0) runs = SortedRuns(set, pixels);
    // Small lists are not worth a second thread.
    const int threads = count >= (int64_t{1} << 16) ? threads_ : 1;
    return SplitThreshold(mode, count, histogram, runs, firstSplit, lastThreshold_, run_, threads);
  }

  IntegerHistogram HistogramOfColours(const ColourSet& set, int64_t count) {
    IntegerHistogram histogram;
    histogram.count = count;
    bool first = true;
    for (const uint32_t c : set.numbers) {
      const int32_t value = RoundHalfUpTruncated(along_[c]);
      if (first || value < histogram.minimum) histogram.minimum = value;
      if (first || value > histogram.maximum) histogram.maximum = value;
      first = false;
    }
    histogram.bins.assign(static_cast<size_t>(int64_t{histogram.maximum} - histogram.minimum + 1),
                          0);
    for (const uint32_t c : set.numbers) {
      histogram.bins[static_cast<size_t>(RoundHalfUpTruncated(along_[c]) - histogram.minimum)] +=
          set.pixels[c];
    }
    return histogram;
  }

  // The records of the threshold search in the order of a stable sort of the pixels by
  // their along-axis value: one run per colour, except where different colours share a
  // value; their pixels then follow each other in pixel order.
  std::vector<ThresholdRun> SortedRuns(const ColourSet& set, const MemberList* pixels) {
    std::vector<std::pair<double, uint32_t>> keyed = SortedByAlongValue(set);
    std::vector<ThresholdRun> runs;
    runs.reserve(keyed.size());
    size_t i = 0;
    while (i < keyed.size()) {
      // The colours come in the order of their values, scattered through the coordinate
      // arrays: those a few places ahead are fetched meanwhile.
      if (i + kFetchAhead < keyed.size()) {
        const uint32_t ahead = keyed[i + kFetchAhead].second;
        __builtin_prefetch(&across1_[ahead]);
        __builtin_prefetch(&across2_[ahead]);
        __builtin_prefetch(&set.pixels[ahead]);
      }
      size_t end = i + 1;
      while (end < keyed.size() && keyed[end].first == keyed[i].first) ++end;
      if (end == i + 1) {
        const uint32_t c = keyed[i].second;
        runs.push_back({keyed[i].first, across1_[c], across2_[c], set.pixels[c]});
      } else {
        AppendTiedRuns(keyed, i, end, pixels, runs);
      }
      i = end;
    }
    return runs;
  }

  // The colours of the set as (along-axis value, number) pairs in increasing order. The
  // pairs are first shared out to groups by their value, about one colour per group on
  // average (steps of a power of two below one unit), then each group is sorted on its
  // own.
  std::vector<std::pair<double, uint32_t>> SortedByAlongValue(const ColourSet& set) {
    const size_t n = set.numbers.size();
    std::vector<std::pair<double, uint32_t>> keyed(n);
    double low = HUGE_VAL, high = -HUGE_VAL;
    for (const uint32_t c : set.numbers) {
      low = std::min(low, along_[c]);
      high = std::max(high, along_[c]);
    }
    const double first = std::floor(low);
    const double span = std::floor(high) - first;
    if (n < 64 || !(span >= 0.0 && span < 4.0 * static_cast<double>(n))) {
      // Few colours, values far apart or not numbers: one sort.
      for (size_t k = 0; k < n; ++k) keyed[k] = {along_[set.numbers[k]], set.numbers[k]};
      std::sort(keyed.begin(), keyed.end());
      return keyed;
    }
    // Steps of 1/steps units; the group number never decreases as the value grows.
    double steps = 1.0;
    while (steps < 1024.0 && (span + 1.0) * steps * 2.0 <= static_cast<double>(n)) steps *= 2.0;
    const size_t groups = static_cast<size_t>((span + 1.0) * steps);
    std::vector<uint32_t> start(groups + 1, 0);
    auto groupOf = [&](double value) {
      return std::min(static_cast<size_t>((value - first) * steps), groups - 1);
    };
    for (const uint32_t c : set.numbers) ++start[groupOf(along_[c]) + 1];
    for (size_t g = 0; g < groups; ++g) start[g + 1] += start[g];
    std::vector<uint32_t> next(start.begin(), start.end() - 1);
    for (const uint32_t c : set.numbers) keyed[next[groupOf(along_[c])]++] = {along_[c], c};
    for (size_t g = 0; g < groups; ++g) {
      if (start[g + 1] - start[g] > 1) {
        std::sort(keyed.begin() + start[g], keyed.begin() + start[g + 1]);
      }
    }
    return keyed;
  }

  // Colours keyed[begin..end) share one along-axis value: their pixels in pixel order.
  void AppendTiedRuns(const std::vector<std::pair<double, uint32_t>>& keyed, size_t begin,
                      size_t end, const MemberList* pixels, std::vector<ThresholdRun>& runs) {
    std::vector<uint32_t> tied;
    for (size_t k = begin; k < end; ++k) tied.push_back(keyed[k].second);
    std::sort(tied.begin(), tied.end());
    auto isTied = [&](uint32_t c) { return std::binary_search(tied.begin(), tied.end(), c); };
    uint32_t lastColour = UINT32_MAX;
    auto append = [&](uint32_t c) {
      if (c == lastColour) {
        ++runs.back().repeat;
        return;
      }
      runs.push_back({along_[c], across1_[c], across2_[c], 1});
      lastColour = c;
    };
    if (pixels) {
      for (const Member& member : *pixels) {
        if (isTied(member.colour)) append(member.colour);
      }
    } else {
      ForEachTakingPartPixel([&](int64_t, uint32_t c) {
        if (isTied(c)) append(c);
      });
    }
  }

  // Which side of the cut every colour of the set falls on (1: at or above `cut`, the
  // side that moves), its place in its side's table, and the two tables.
  void ShareOutColours(const ColourSet& set, double cut, ClusterMembers& below,
                       ClusterMembers& above, const uint32_t* numberOf, int64_t& aboveCount) {
    // At the first split the set is the whole colour table and the pass over the pixels
    // reads their colours from the picture: a word per colour is enough there.
    const bool records = numberOf != nullptr;
    if (records) {
      shared_.resize(along_.size());
    } else {
      placeAndSide_.resize(along_.size());
    }
    aboveCount = 0;
    for (const uint32_t c : set.numbers) {
      const bool up = along_[c] >= cut;
      ClusterMembers& target = up ? above : below;
      const ColourTable::Working& w = set.working[c];
      const uint32_t place = static_cast<uint32_t>(target.colours.size());
      if (records) {
        shared_[c] = {w.y, w.u, w.v, place, up};
      } else {
        placeAndSide_[c] = place | (up ? kUpBit : 0u);
      }
      target.colours.push_back(numberOf ? numberOf[c] : c);
      if (up) aboveCount += set.pixels[c];
    }
  }

  void FirstSplit() {
    int64_t count = 0;
    ColourSet set{colours_.working.data(), colours_.takingPart.data(), {}};
    for (int64_t c = 0; c < colours_.colourCount; ++c) {
      if (colours_.takingPart[c] != 0) set.numbers.push_back(static_cast<uint32_t>(c));
    }
    // Each sum is added in pixel order on its own; the two parts take some each.
    struct PartSums {
      double a = 0.0, b = 0.0, c = 0.0;
      int64_t count = 0;
    };
    PartSums parts[2];
    ForEachTakingPartPixelInTwoParts(parts, [&](int part, PartSums& own, int64_t, uint32_t c) {
      const ColourTable::Working& w = colours_.working[c];
      if (part == 0) {
        own.a += w.u;
        own.b += w.y;
      } else {
        own.a += w.v;
        ++own.count;
      }
    });
    count = parts[1].count;
    const Triple sums{parts[1].a, parts[0].a, parts[0].b};
    const Triple mean = MeanOfSums(sums, count);
    parts[0] = parts[1] = PartSums{};
    ForEachTakingPartPixelInTwoParts(parts, [&](int part, PartSums& own, int64_t, uint32_t c) {
      const ColourTable::Working& w = colours_.working[c];
      const double d1 = w.y - mean.z, d2 = w.u - mean.y, d3 = w.v - mean.x;
      if (part == 0) {
        own.a += d1 * d1;
        own.b += d2 * d2;
        own.c += d1 * d2;
      } else {
        own.a += d3 * d3;
        own.b += d3 * d1;
        own.c += d3 * d2;
      }
    });
    CovarianceSums products;
    products.s11 = parts[0].a;
    products.s22 = parts[0].b;
    products.s12 = parts[0].c;
    products.s33 = parts[1].a;
    products.s13 = parts[1].b;
    products.s23 = parts[1].c;
    Matrix3 covariance, diag, vectors;
    CovarianceFromSums(products, count, covariance);
    DiagonaliseCovariance(covariance, diag, vectors, run_);
    const PrincipalAxisChoice principal = PrincipalAxis(diag, vectors);
    const size_t colourCount = static_cast<size_t>(colours_.colourCount);
    RotateColours(set, colourCount, mean, principal.axis);
    const int threshold = ChooseThreshold(set, count, true, nullptr);
    run_.PhaseStarted(EnginePhase::Splitting);

    // The first assignment: here the pixels at or above the threshold keep the lower
    // label; in every later split they are the ones that move to the new label.
    table_.PT[0][0] = ClusterRecord{0, 0, 0.0};
    table_.PT[0][1] = ClusterRecord{0, 1, 0.0};
    table_.MEN = 0;
    ClusterMembers& upper = clusters_[0];
    ClusterMembers& lower = clusters_[1];
    upper = ClusterMembers{};
    lower = ClusterMembers{};
    int64_t upperCount = 0;
    ShareOutColours(set, static_cast<double>(threshold), lower, upper, nullptr, upperCount);
    ReleaseScratch();
    // Part 0 gathers the upper cluster, part 1 the lower one.
    upper.pixels.resize(static_cast<size_t>(upperCount));
    lower.pixels.resize(static_cast<size_t>(count - upperCount));
    struct Gathering {
      Member* out;
      Triple sums;
    };
    Gathering gathering[2] = {{upper.pixels.data(), {}}, {lower.pixels.data(), {}}};
    ForEachTakingPartPixelInTwoParts(
        gathering, [&](int part, Gathering& own, int64_t i, uint32_t c) {
          const uint32_t placeAndSide = placeAndSide_[c];
          if (((placeAndSide & kUpBit) != 0) != (part == 0)) return;
          *own.out++ = {static_cast<uint32_t>(i), placeAndSide & ~kUpBit};
          const ColourTable::Working& w = colours_.working[c];
          own.sums.x += w.v;
          own.sums.y += w.u;
          own.sums.z += w.y;
        });
    upper.sums = gathering[0].sums;
    lower.sums = gathering[1].sums;
    // From here on every cluster carries its pixels' colours.
    colours_.ReleasePixelColours();
    std::vector<uint32_t>().swap(placeAndSide_);
    table_.PT[0][0].COUNT = static_cast<int32_t>(upper.pixels.size());
    table_.PT[0][1].COUNT = static_cast<int32_t>(lower.pixels.size());
    table_.nonEdgeCount = static_cast<int32_t>(count);
    lastAxisIndex_ = principal.index;
    ComputeSpreads(0, 0, 1);
    lastThreshold_ = threshold;
  }

  void ReleaseScratch() {
    UnclearedVector<double>().swap(along_);
    UnclearedVector<double>().swap(across1_);
    UnclearedVector<double>().swap(across2_);
    UnclearedVector<SharedColour>().swap(shared_);
  }

  // Works out the split of the cluster labelled `label` (m pixels), taking its members
  // out of clusters_. Uses up to `threads` threads.
  std::unique_ptr<WorkedSplit> Work(int label, int64_t m, int threads) {
    threads_ = threads;
    auto worked = std::make_unique<WorkedSplit>();
    ClusterMembers parent = std::move(clusters_[label]);
    clusters_[label] = ClusterMembers{};
    worked->parentSums = parent.sums;
    worked->parentProducts = parent.products;
    // An empty cluster gives 0/0 here; the NaNs make the diagonalisation stop at once and
    // touch no pixel below.
    const Triple mean = MeanOfSums(parent.sums, m);
    Matrix3 diag, vectors, scratch1, scratch2;
    CovarianceFromSums(parent.products, m, worked->covariance);
    if (JacobiEigen(JACOBI_MAX_ITERATIONS, JACOBI_TOLERANCE, worked->covariance, diag, scratch1,
                    vectors, scratch2) != 0) {
      worked->converged = false;
      // Put back whole should the split be dropped.
      worked->staying = std::move(parent);
      return worked;
    }
    worked->axisFromEigenvalues =
        diag.m[0][0] > -1e18 || diag.m[1][1] > -1e18 || diag.m[2][2] > -1e18;
    const PrincipalAxisChoice principal = PrincipalAxis(diag, vectors, lastAxisIndex_);
    worked->axisIndex = principal.index;

    const size_t colourCount = parent.colours.size();
    const WorkingColours parentWorking = WorkingOf(parent.colours);
    ColourSet set{parentWorking.data(), nullptr, std::vector<uint32_t>(colourCount)};
    pixelsOfColour_.resize(colourCount);
    for (size_t c = 0; c < colourCount; ++c) {
      set.numbers[c] = static_cast<uint32_t>(c);
      pixelsOfColour_[c] = colours_.takingPart[parent.colours[c]];
    }
    set.pixels = pixelsOfColour_.data();
    RotateColours(set, colourCount, mean, principal.axis);
    worked->threshold = ChooseThreshold(set, m, false, &parent.pixels);

    // Pixels at or above the threshold move to the new cluster.
    ClusterMembers& staying = worked->staying;
    ClusterMembers& moving = worked->moving;
    int64_t movingCount = 0;
    ShareOutColours(set, static_cast<double>(worked->threshold), staying, moving,
                    parent.colours.data(), movingCount);
    // Only the records the pass over the pixels reads stay while the lists are made.
    std::vector<uint32_t>().swap(parent.colours);
    std::vector<uint32_t>().swap(set.numbers);
    UnclearedVector<double>().swap(along_);
    UnclearedVector<double>().swap(across1_);
    UnclearedVector<double>().swap(across2_);
    std::vector<uint32_t>().swap(pixelsOfColour_);
    Partition(parent.pixels, m - movingCount, movingCount, staying, moving);
    parent = ClusterMembers{};
    UnclearedVector<SharedColour>().swap(shared_);
    SpreadsOfParts(*worked);
    return worked;
  }

  // Enters a worked-out split of the cluster at position k into the table as the split that
  // makes cluster n, with the diagnostics of that step.
  void Commit(int k, int n, WorkedSplit& worked) {
    Diagnostics& err = run_.diagnostics();
    const int side = table_.MEN;
    const ClusterRecord chosen = table_.PT[side][k];
    if (n == kMatrixDumpClusters) {
      err.Err("NUM= %d\n", k);
      err.Err("PT[MEN][%d].INDEXNO=%d\n", k, chosen.INDEXNO);
      for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) err.Err("%f ", worked.covariance.m[row][col]);
        err.Err("\n");
      }
    }
    if (!worked.converged) {
      err.Err("Jacobi syuusoku simasen!!\n");
      throw EigenNotConverged{};
    }
    lastAxisIndex_ = worked.axisIndex;
    lastThreshold_ = worked.threshold;
    clusters_[chosen.INDEXNO] = std::move(worked.staying);
    clusters_[n] = std::move(worked.moving);

    const int other = 1 - side;
    ClusterRecord* rebuilt = table_.PT[other];
    rebuilt[0].COUNT = static_cast<int32_t>(clusters_[chosen.INDEXNO].pixels.size());
    rebuilt[0].INDEXNO = chosen.INDEXNO;
    rebuilt[0].SPREAD = worked.spread[0];
    rebuilt[1].COUNT = static_cast<int32_t>(clusters_[n].pixels.size());
    rebuilt[1].INDEXNO = n;
    rebuilt[1].SPREAD = worked.spread[1];
    table_.MEN = other;
    const int clusterCount = n + 1;
    if (clusterCount == kFirstCountDumpClusters || clusterCount == kSecondCountDumpClusters) {
      err.Err("INDEXNO%d %d\n", chosen.INDEXNO, rebuilt[0].COUNT);
      err.Err("INDEXNO%d %d\n", n, rebuilt[1].COUNT);
    }
    const ClusterRecord* previous = table_.PT[side];
    for (int position = 0; position < k; ++position) rebuilt[position + 2] = previous[position];
    for (int position = k + 1; position < n; ++position) {
      rebuilt[position + 1] = previous[position];
    }
  }

  // SPREAD of the two parts of a worked-out split; the pixel passes of the two parts are
  // independent and may run on two threads.
  void SpreadsOfParts(WorkedSplit& worked) {
    ClusterMembers* parts[2] = {&worked.staying, &worked.moving};
    WorkingColours working[2];
    double termSums[2] = {0.0, 0.0};
    Triple means[2];
    const int64_t larger =
        static_cast<int64_t>(std::max(parts[0]->pixels.size(), parts[1]->pixels.size()));
    const int threads = larger >= (int64_t{1} << 16) ? threads_ : 1;
    RunInTwoParts(threads, [&](int part) {
      ClusterMembers& cluster = *parts[part];
      const int64_t count = static_cast<int32_t>(cluster.pixels.size());
      if (count == 0) return;
      means[part] = MeanOfSums(cluster.sums, count);
      working[part] = WorkingOf(cluster.colours);
      termSums[part] =
          AddProducts(cluster, working[part].data(), means[part], part == 0 || threads < 2);
    });
    for (int part = 0; part < 2; ++part) {
      ClusterRecord record{static_cast<int32_t>(parts[part]->pixels.size()), 0, 0.0};
      if (record.COUNT != 0) {
        FinishSpread(record, *parts[part], working[part], means[part], termSums[part],
                     worked.axisIndex);
      }
      worked.spread[part] = record.SPREAD;
    }
  }

  // Shares the parent's pixels out to the two clusters by the side of their colour, in
  // pixel order, and adds each cluster's sums; one thread per cluster, each passing over
  // all the parent's pixels. Written without branches on the side (which follows no
  // pattern a processor could guess): every pixel is written to the list and the list
  // advances only for its own pixels, and the sums add either the value or +0.0.
  //
  // The larger cluster is written over the parent's list, which it then keeps, shrunk in
  // place: a pixel is written at or before the place it was read from, so one pass can do
  // it; with two threads that pass waits, a stretch at a time, until the other thread has
  // read the stretch. The smaller cluster gets a list of its own.
  void Partition(MemberList& pixels, int64_t stayingCount, int64_t movingCount,
                 ClusterMembers& staying, ClusterMembers& moving) {
    ClusterMembers* clusters[2] = {&staying, &moving};
    const int larger = stayingCount >= movingCount ? 0 : 1;
    const int64_t smallerCount = larger == 0 ? movingCount : stayingCount;
    const size_t count = pixels.size();
    clusters[larger]->pixels = std::move(pixels);
    clusters[1 - larger]->pixels.resize(static_cast<size_t>(smallerCount) + 1);
    const Member* parent = clusters[larger]->pixels.data();
    const int threads = count >= (size_t{1} << 16) ? threads_ : 1;
    if (threads < 2) {
      // One thread fills both lists in one pass.
      PartitionState states[2];
      for (int part = 0; part < 2; ++part) states[part].out = clusters[part]->pixels.data();
      for (size_t start = 0; start < count; start += kPixelsPerProgressPoint) {
        if (start > 0) run_.Pump();
        const size_t end = std::min(count, start + static_cast<size_t>(kPixelsPerProgressPoint));
        PartitionBothStretch(parent + start, parent + end, shared_.data(), states);
      }
      for (int part = 0; part < 2; ++part) {
        clusters[part]->pixels.resize(states[part].filled);
        clusters[part]->sums =
            Triple{states[part].sums[2], states[part].sums[1], states[part].sums[0]};
      }
      return;
    }
    std::atomic<size_t> smallerRead{0};  // the parent's pixels the smaller side has read
    std::atomic<bool> cancelled{false};
    RunInTwoParts(
        threads,
        [&](int part) {
          PartitionState state;
          state.out = clusters[part]->pixels.data();
          for (size_t start = 0; start < count; start += kPixelsPerProgressPoint) {
            if (part == 0 && start > 0) run_.Pump();
            const size_t end =
                std::min(count, start + static_cast<size_t>(kPixelsPerProgressPoint));
            if (part == larger && !WaitUntilRead(smallerRead, end, cancelled)) return;
            PartitionStretch(parent + start, parent + end, shared_.data(),
                             static_cast<uint32_t>(part), state);
            if (part != larger) smallerRead.store(end, std::memory_order_release);
          }
          clusters[part]->pixels.resize(state.filled);
          clusters[part]->sums = Triple{state.sums[2], state.sums[1], state.sums[0]};
        },
        &cancelled);
  }

  // Waits until `read` reaches `needed`; false when the other part gave up meanwhile.
  static bool WaitUntilRead(const std::atomic<size_t>& read, size_t needed,
                            const std::atomic<bool>& cancelled) {
    int spins = 0;
    while (read.load(std::memory_order_acquire) < needed) {
      if (cancelled.load(std::memory_order_relaxed)) return false;
      if (++spins > 64) std::this_thread::yield();
    }
    return true;
  }

  struct PartitionState {
    Member* out;
    size_t filled = 0;
    double sums[3] = {};  // Y, U, V
  };

  // One stretch of Partition for both clusters at once: each pixel is written to both
  // lists, and each list and each cluster's sums advance as in PartitionStretch.
  static void PartitionBothStretch(const Member* begin, const Member* end,
                                   const SharedColour* colours, PartitionState (&states)[2]) {
    Member* const out0 = states[0].out;
    Member* const out1 = states[1].out;
    size_t filled0 = states[0].filled, filled1 = states[1].filled;
    MaskedSums sums0(states[0].sums), sums1(states[1].sums);
    for (const Member* member = begin; member != end; ++member) {
      if (end - member > kFetchAhead) __builtin_prefetch(&colours[member[kFetchAhead].colour]);
      const SharedColour& colour = colours[member->colour];
      const uint32_t up = colour.up;
      const Member entry{member->pixel, colour.place};
      out0[filled0] = entry;
      out1[filled1] = entry;
      filled0 += 1 - up;
      filled1 += up;
      const uint64_t keep1 = uint64_t{0} - up;
      sums0.Add(colour, ~keep1);
      sums1.Add(colour, keep1);
    }
    sums0.Store(states[0].sums);
    sums1.Store(states[1].sums);
    states[0].filled = filled0;
    states[1].filled = filled1;
  }

  // One stretch of Partition for the cluster on side `mine`, with everything it updates in
  // registers.
  static void PartitionStretch(const Member* begin, const Member* end, const SharedColour* colours,
                               uint32_t mine, PartitionState& state) {
    Member* const out = state.out;
    size_t filled = state.filled;
    MaskedSums sums(state.sums);
    for (const Member* member = begin; member != end; ++member) {
      if (end - member > kFetchAhead) __builtin_prefetch(&colours[member[kFetchAhead].colour]);
      const SharedColour& colour = colours[member->colour];
      const uint32_t own = colour.up == mine;
      out[filled] = Member{member->pixel, colour.place};
      filled += own;
      sums.Add(colour, uint64_t{0} - own);
    }
    sums.Store(state.sums);
    state.filled = filled;
  }

  // The products about the mean and the split priority terms of one cluster, over its
  // pixels in pixel order.
  double AddProducts(ClusterMembers& cluster, const ColourTable::Working* working,
                     const Triple& mean, bool pumps) {
    const int spreadMode = params_.spreadMode;
    const bool sumsTerms =
        spreadMode == 1 && (params_.distancePowerOn == 0 || params_.distancePowerOn == 1);
    const bool edgeWeighted = params_.edgeOperator == 4;
    const double power = params_.distanceExponent * 0.5;
    // pow(d2, 1.0) is d2 itself: the power function is accurate to well within one unit of
    // the last place, and d2 is a double.
    const bool plainSquares = params_.distancePowerOn == 0 || power == 1.0;
    double termSum = 0.0;
    CovarianceSums products;
    int64_t visited = 0;
    if (sumsTerms && !edgeWeighted && plainSquares) {
      // The usual settings: the split priority is the sum of the squared distances.
      const Member* members = cluster.pixels.data();
      const size_t count = cluster.pixels.size();
#if defined(__SSE2__)
      // Pairs of the seven sums side by side in vector lanes; each lane is still its own
      // sum in pixel order, with the same products as below.
      const __m128d meanYU = _mm_set_pd(mean.y, mean.z);
      const __m128d meanV = _mm_set_sd(mean.x);
      __m128d s11s22 = _mm_setzero_pd(), s13s23 = _mm_setzero_pd();
      __m128d s33 = _mm_setzero_pd(), s12 = _mm_setzero_pd(), terms = _mm_setzero_pd();
      for (size_t i = 0; i < count; ++i) {
        if (pumps && (++visited & (kPixelsPerProgressPoint - 1)) == 0) run_.Pump();
        if (i + kFetchAhead < count) __builtin_prefetch(&working[members[i + kFetchAhead].colour]);
        const ColourTable::Working& w = working[members[i].colour];
        const __m128d dYU = _mm_sub_pd(_mm_loadu_pd(&w.y), meanYU);  // dY, dU
        const __m128d dV = _mm_sub_sd(_mm_load_sd(&w.v), meanV);     // dV, 0
        const __m128d squares = _mm_mul_pd(dYU, dYU);                // dY*dY, dU*dU
        const __m128d dVdV = _mm_mul_sd(dV, dV);
        s11s22 = _mm_add_pd(s11s22, squares);
        s33 = _mm_add_sd(s33, dVdV);
        s12 = _mm_add_sd(s12, _mm_mul_sd(dYU, _mm_unpackhi_pd(dYU, dYU)));      // dY*dU
        s13s23 = _mm_add_pd(s13s23, _mm_mul_pd(_mm_unpacklo_pd(dV, dV), dYU));  // dV*dY, dV*dU
        const __m128d term =
            _mm_add_sd(_mm_add_sd(squares, _mm_unpackhi_pd(squares, squares)), dVdV);
        terms = _mm_add_sd(terms, term);
      }
      double pair[2];
      _mm_storeu_pd(pair, s11s22);
      products.s11 = pair[0];
      products.s22 = pair[1];
      _mm_storeu_pd(pair, s13s23);
      products.s13 = pair[0];
      products.s23 = pair[1];
      products.s33 = _mm_cvtsd_f64(s33);
      products.s12 = _mm_cvtsd_f64(s12);
      termSum = _mm_cvtsd_f64(terms);
#else
      for (size_t i = 0; i < count; ++i) {
        if (pumps && (++visited & (kPixelsPerProgressPoint - 1)) == 0) run_.Pump();
        if (i + kFetchAhead < count) __builtin_prefetch(&working[members[i + kFetchAhead].colour]);
        const ColourTable::Working& w = working[members[i].colour];
        const double dY = w.y - mean.z;
        const double dU = w.u - mean.y;
        const double dV = w.v - mean.x;
        products.Add(dY, dU, dV);
        termSum += dY * dY + dU * dU + dV * dV;
      }
#endif
      cluster.products = products;
      return termSum;
    }
    for (const Member& member : cluster.pixels) {
      if (pumps && (++visited & (kPixelsPerProgressPoint - 1)) == 0) run_.Pump();
      const ColourTable::Working& w = working[member.colour];
      const double dY = w.y - mean.z;
      const double dU = w.u - mean.y;
      const double dV = w.v - mean.x;
      products.Add(dY, dU, dV);
      if (!sumsTerms) continue;
      const double d2 = dY * dY + dU * dU + dV * dV;
      if (!edgeWeighted) {
        termSum += plainSquares ? d2 : std::pow(d2, power);
      } else {
        const double strength = edgeStrength_[member.pixel];
        if (params_.distancePowerOn == 0) {
          termSum += d2 * (255.0 - strength) / 255.0;
        } else {
          const double damped = 255.0 - std::min(255.0, strength * params_.edgeStrengthGain);
          termSum += std::pow(d2, power) * std::pow(damped / 255.0, params_.edgeWeightExponent);
        }
      }
    }
    cluster.products = products;
    return termSum;
  }

  // SPREAD of the two records at positions a and b of PT[side]; the pixel passes of the two
  // clusters are independent and may run on two threads.
  void ComputeSpreads(int side, int a, int b) {
    ClusterRecord* records[2] = {&table_.PT[side][a], &table_.PT[side][b]};
    WorkingColours working[2];
    double termSums[2] = {0.0, 0.0};
    Triple means[2];
    const int64_t larger = std::max<int64_t>(records[0]->COUNT, records[1]->COUNT);
    const int threads = larger >= (int64_t{1} << 16) ? threads_ : 1;
    RunInTwoParts(threads, [&](int part) {
      ClusterRecord& record = *records[part];
      if (record.COUNT == 0) return;
      ClusterMembers& cluster = clusters_[record.INDEXNO];
      means[part] = MeanOfSums(cluster.sums, record.COUNT);
      working[part] = WorkingOf(cluster.colours);
      // Only the calling thread may pass progress points.
      termSums[part] =
          AddProducts(cluster, working[part].data(), means[part], part == 0 || threads < 2);
    });
    for (int part = 0; part < 2; ++part) {
      ClusterRecord& record = *records[part];
      if (record.COUNT == 0) {
        record.SPREAD = 0.0;
        continue;
      }
      FinishSpread(record, clusters_[record.INDEXNO], working[part], means[part], termSums[part],
                   lastAxisIndex_);
    }
  }

  // The working colours of a cluster's colours, in the order of its table: the passes over
  // its pixels read them from there rather than from the whole colour table.
  WorkingColours WorkingOf(const std::vector<uint32_t>& colourNumbers) const {
    WorkingColours working(colourNumbers.size());
    for (size_t k = 0; k < colourNumbers.size(); ++k)
      working[k] = colours_.working[colourNumbers[k]];
    return working;
  }

  void FinishSpread(ClusterRecord& record, const ClusterMembers& cluster,
                    const WorkingColours& working, const Triple& mean, double termSum,
                    int previousAxisIndex) {
    const int spreadMode = params_.spreadMode;
    const int64_t m = record.COUNT;
    if (spreadMode == 0) {
      double largest = 0.0;
      for (const ColourTable::Working& w : working) {
        const double dY = w.y - mean.z;
        const double dU = w.u - mean.y;
        const double dV = w.v - mean.x;
        const double d2 = dY * dY + dU * dU + dV * dV;
        if (d2 > largest) largest = d2;
      }
      record.SPREAD = largest;
    } else if (spreadMode == 1) {
      record.SPREAD = termSum;
    } else if (spreadMode >= 2 && spreadMode <= 5) {
      Matrix3 covariance, diag, vectors;
      CovarianceFromSums(cluster.products, m, covariance);
      DiagonaliseCovariance(covariance, diag, vectors, run_);
      const PrincipalAxisChoice principal = PrincipalAxis(diag, vectors, previousAxisIndex);
      const double lambda = diag.m[principal.index][principal.index];
      switch (spreadMode) {
        case 2: record.SPREAD = static_cast<double>(m) * lambda; break;
        case 3: record.SPREAD = lambda; break;
        case 4: record.SPREAD = ExtentAlongAxis(working, mean, principal.axis); break;
        case 5:
          record.SPREAD = static_cast<double>(m) * ExtentAlongAxis(working, mean, principal.axis);
          break;
      }
    }
    // Any other mode leaves SPREAD as it was.
  }

  // Extent (largest minus smallest coordinate) of a cluster along `axis`.
  double ExtentAlongAxis(const WorkingColours& working, const Triple& mean, const Triple& axis) {
    const AxisRotation rotation(axis);
    double largest = -9.99e65, smallest = 9.99e65;
    for (const ColourTable::Working& w : working) {
      double along, across1, across2;
      rotation.Apply(w.y - mean.z, w.u - mean.y, w.v - mean.x, along, across1, across2);
      if (along > largest) largest = along;
      if (along < smallest) smallest = along;
    }
    return largest - smallest;
  }

  ColourTable& colours_;
  const double* edgeStrength_;
  const ReductionParams& params_;
  int threads_;  // for the split being worked out
  const int configuredThreads_;
  ClusterTable& table_;
  Clusters& clusters_;
  EngineRun& run_;
  // Per colour of the set being split: its coordinates in the frame of its cluster, where
  // it goes, and its taking-part pixels.
  // Sized per set and written for every colour of the set before they are read.
  UnclearedVector<double> along_, across1_, across2_;
  UnclearedVector<SharedColour> shared_;
  std::vector<uint32_t> placeAndSide_;  // at the first split: place, and kUpBit for the side
  static constexpr uint32_t kUpBit = 0x80000000u;
  std::vector<uint32_t> pixelsOfColour_;
  int lastThreshold_ = 0;
  int lastAxisIndex_ = 0;
};

}  // namespace

int SelectClusterToSplit(const ClusterTable& table, int n, int spreadMode) {
  if (spreadMode < 0 || spreadMode > 5) return 0;
  const ClusterRecord* records = table.PT[table.MEN];
  auto key = [&](int position) {
    const ClusterRecord& record = records[position];
    return spreadMode == 0 ? static_cast<double>(record.COUNT) * record.SPREAD : record.SPREAD;
  };
  int best = 0;
  double bestKey = key(0);
  for (int position = 1; position < n; ++position) {
    if (key(position) > bestKey) {
      bestKey = key(position);
      best = position;
    }
  }
  return best;
}

void RenumberColoursByCluster(ColourTable& colours, Clusters& clusters) {
  const uint32_t unset = UINT32_MAX;
  std::vector<uint32_t> newNumber(static_cast<size_t>(colours.colourCount), unset);
  uint32_t next = 0;
  for (const ClusterMembers& cluster : clusters) {
    for (const uint32_t c : cluster.colours) newNumber[c] = next++;
  }
  for (uint32_t& number : newNumber) {
    if (number == unset) number = next++;
  }
  // The members name places in their cluster's table, which stay as they are.
  for (ClusterMembers& cluster : clusters) {
    for (uint32_t& c : cluster.colours) c = newNumber[c];
  }
  colours.Renumber(newNumber);
}

void SplitIntoClusters(ColourTable& colours, const double* edgeStrength,
                       const ReductionParams& params, int threads, ClusterTable& table,
                       Clusters& clusters, EngineRun& run) {
  Splitter splitter(colours, edgeStrength, params, threads, table, clusters, run);
  splitter.Run();
}

}  // namespace genshoku
