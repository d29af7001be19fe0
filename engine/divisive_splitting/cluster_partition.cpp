#include "engine/divisive_splitting/cluster_partition.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "engine/parallel.h"
#include "engine/progress_points.h"

namespace genshoku {

namespace {

// A double with every bit cleared unless `keep` is all ones: x or +0.0. Adding +0.0 leaves
// a running sum that started at +0.0 unchanged (such a sum is never -0.0).
inline double Masked(double x, uint64_t keep) {
  return std::bit_cast<double>(std::bit_cast<uint64_t>(x) & keep);
}

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
  // yuv: the Y, U and V values side by side.
  void Add(const double* yuv, uint64_t keep) {
#if defined(__SSE2__)
    const __m128d mask = _mm_castsi128_pd(_mm_set1_epi64x(static_cast<int64_t>(keep)));
    yu_ = _mm_add_pd(yu_, _mm_and_pd(mask, _mm_loadu_pd(yuv)));
    v_ = _mm_add_sd(v_, _mm_and_pd(mask, _mm_load_sd(yuv + 2)));
#else
    y_ += Masked(yuv[0], keep);
    u_ += Masked(yuv[1], keep);
    v_ += Masked(yuv[2], keep);
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

// One cluster's list as the partition fills it, and its sums so far.
struct PartitionState {
  Member* out;
  size_t filled = 0;
  double sums[3] = {};  // Y, U, V

  void Finish(ClusterMembers& cluster) const {
    cluster.pixels.resize(filled);
    cluster.sums = Triple{sums[2], sums[1], sums[0]};
  }
};

// What the pass reads of one colour of the parent.
struct SideOfColour {
  const double* yuv;
  uint32_t place;
  uint32_t up;
};

// The colours' records copied side by side.
struct CopiedSideReader {
  const ColourSide* sides;
  void Prefetch(const Member* ahead) const { __builtin_prefetch(&sides[ahead->colour]); }
  SideOfColour operator()(uint32_t c) const {
    const ColourSide& side = sides[c];
    return {&side.y, side.place, side.up};
  }
};

// The colours' sides as words and their working colours in the colour table: the words
// and numbers are fetched further ahead than the working colours they lead to.
struct TableSideReader {
  TableSides sides;
  void Prefetch(const Member* ahead) const {
    __builtin_prefetch(&sides.numbers[ahead[kFetchAhead].colour]);
    __builtin_prefetch(&sides.placeAndUp[ahead[kFetchAhead].colour]);
    __builtin_prefetch(&sides.working[sides.numbers[ahead->colour]]);
  }
  SideOfColour operator()(uint32_t c) const {
    const uint32_t word = sides.placeAndUp[c];
    return {&sides.working[sides.numbers[c]].y, word & ~TableSides::kUpBit, word >> 31};
  }
};

// One stretch of the partition for both clusters at once: each pixel is written to both
// lists, and each list and each cluster's sums advance as in PartitionStretch.
template <typename Reader>
void PartitionBothStretch(const Member* begin, const Member* end, const Reader& colours,
                          PartitionState (&states)[2]) {
  Member* const out0 = states[0].out;
  Member* const out1 = states[1].out;
  size_t filled0 = states[0].filled, filled1 = states[1].filled;
  MaskedSums sums0(states[0].sums), sums1(states[1].sums);
  for (const Member* member = begin; member != end; ++member) {
    if (end - member > 2 * kFetchAhead) colours.Prefetch(member + kFetchAhead);
    const SideOfColour colour = colours(member->colour);
    const uint32_t up = colour.up;
    const Member entry{member->pixel, colour.place};
    out0[filled0] = entry;
    out1[filled1] = entry;
    filled0 += 1 - up;
    filled1 += up;
    const uint64_t keep1 = uint64_t{0} - up;
    sums0.Add(colour.yuv, ~keep1);
    sums1.Add(colour.yuv, keep1);
  }
  sums0.Store(states[0].sums);
  sums1.Store(states[1].sums);
  states[0].filled = filled0;
  states[1].filled = filled1;
}

// One stretch of the partition for the cluster on side `mine`, with everything it updates
// in registers.
template <typename Reader>
void PartitionStretch(const Member* begin, const Member* end, const Reader& colours, uint32_t mine,
                      PartitionState& state) {
  Member* const out = state.out;
  size_t filled = state.filled;
  MaskedSums sums(state.sums);
  for (const Member* member = begin; member != end; ++member) {
    if (end - member > 2 * kFetchAhead) colours.Prefetch(member + kFetchAhead);
    const SideOfColour colour = colours(member->colour);
    const uint32_t own = colour.up == mine;
    out[filled] = Member{member->pixel, colour.place};
    filled += own;
    sums.Add(colour.yuv, uint64_t{0} - own);
  }
  sums.Store(state.sums);
  state.filled = filled;
}

// Written without branches on the side (which follows no pattern a processor could guess):
// every pixel is written to the list and the list advances only for its own pixels, and
// the sums add either the value or +0.0.
//
// The larger cluster is written over the parent's list: a pixel is written at or before
// the place it was read from, so one pass can do it. With two threads each cluster has its
// own thread passing over all the parent's pixels, and the larger one's pass waits, a
// stretch at a time, until the other has read the stretch.
template <typename Reader>
void PartitionWith(MemberList& parentPixels, int64_t stayingCount, int64_t movingCount,
                   const Reader& sides, ClusterMembers& staying, ClusterMembers& moving,
                   EngineRun& run, int threads) {
  ClusterMembers* clusters[2] = {&staying, &moving};
  const int larger = stayingCount >= movingCount ? 0 : 1;
  const int64_t smallerCount = larger == 0 ? movingCount : stayingCount;
  const size_t count = parentPixels.size();
  clusters[larger]->pixels = std::move(parentPixels);
  clusters[1 - larger]->pixels.resize(static_cast<size_t>(smallerCount) + 1);
  const Member* parent = clusters[larger]->pixels.data();
  const size_t stretch = static_cast<size_t>(kItemsPerProgressPoint);
  if (ThreadsForPass(static_cast<int64_t>(count), threads) < 2) {
    // One thread fills both lists in one pass.
    PartitionState states[2];
    for (int part = 0; part < 2; ++part) states[part].out = clusters[part]->pixels.data();
    for (size_t start = 0; start < count; start += stretch) {
      if (start > 0) run.Pump();
      PartitionBothStretch(parent + start, parent + std::min(count, start + stretch), sides,
                           states);
    }
    for (int part = 0; part < 2; ++part) states[part].Finish(*clusters[part]);
    return;
  }
  std::atomic<size_t> smallerRead{0};  // the parent's pixels the smaller side has read
  std::atomic<bool> cancelled{false};
  RunInTwoParts(
      2,
      [&](int part) {
        PartitionState state;
        state.out = clusters[part]->pixels.data();
        for (size_t start = 0; start < count; start += stretch) {
          if (part == 0 && start > 0) run.Pump();
          const size_t end = std::min(count, start + stretch);
          if (part == larger && !WaitUntilReached(smallerRead, end, cancelled)) return;
          PartitionStretch(parent + start, parent + end, sides, static_cast<uint32_t>(part), state);
          if (part != larger) smallerRead.store(end, std::memory_order_release);
        }
        state.Finish(*clusters[part]);
      },
      &cancelled);
}

}  // namespace

void PartitionMembers(MemberList& parentPixels, int64_t stayingCount, int64_t movingCount,
                      const ColourSide* sides, ClusterMembers& staying, ClusterMembers& moving,
                      EngineRun& run, int threads) {
  PartitionWith(parentPixels, stayingCount, movingCount, CopiedSideReader{sides}, staying, moving,
                run, threads);
}

void PartitionMembers(MemberList& parentPixels, int64_t stayingCount, int64_t movingCount,
                      const TableSides& sides, ClusterMembers& staying, ClusterMembers& moving,
                      EngineRun& run, int threads) {
  PartitionWith(parentPixels, stayingCount, movingCount, TableSideReader{sides}, staying, moving,
                run, threads);
}

ClusterMembers Rejoined(ClusterMembers& staying, ClusterMembers& moving) {
  ClusterMembers whole;
  const MemberList& a = staying.pixels;
  const MemberList& b = moving.pixels;
  const uint32_t shift = static_cast<uint32_t>(staying.colours.size());
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
  whole.colours = std::move(staying.colours);
  whole.colours.insert(whole.colours.end(), moving.colours.begin(), moving.colours.end());
  staying = ClusterMembers{};
  moving = ClusterMembers{};
  return whole;
}

}  // namespace genshoku
