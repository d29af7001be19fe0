#pragma once
// Where to cut a cluster in two: its colours in a frame whose first axis is the cluster's
// principal axis, and the integer cut point on that axis.
//
// Whatever rule chooses the threshold T, the cut is made on the real along-axis value:
// alongAxis >= T on one side, alongAxis < T on the other.

#include <cstdint>
#include <vector>

#include "common/diagnostics.h"
#include "engine/divisive_splitting/cluster_statistics.h"
#include "engine/engine_run.h"
#include "engine/parallel.h"

namespace genshoku {

// The rotation that turns `axis` (plane order, any length) into the first coordinate:
// along is the component along the axis, across1 and across2 the two perpendicular ones.
// Lengths are preserved. The per-axis constants are worked out once; the products are
// grouped exactly as the per-pixel formula reads left to right.
class AxisRotation {
 public:
  explicit AxisRotation(const Triple& axis);

  void Apply(double a, double b, double c, double& along, double& across1, double& across2) const {
    along = along_[0] * a - along_[1] * b + along_[2] * c;
    across1 = across1_[0] * a + across1_[1] * b + across1_[2] * c;
    across2 = across2_[0] * a + across2_[1] * b + across2_[2] * c;
  }

 private:
  double along_[3] = {};
  double across1_[3] = {};
  double across2_[3] = {};
};

// Rotates every vector (inY[i], inU[i], inV[i]) with AxisRotation(axis).
void RotateOntoAxis(int64_t pixelCount, const Triple& axis, const double* inY, const double* inU,
                    const double* inV, double* outAlong, double* outAcross1, double* outAcross2);

// The double that `times` additions of x to `sum`, one after the other, end with; without
// making them one by one where the sums stay between two powers of two.
double AddedRepeatedly(double sum, double x, int64_t times);

// `repeat` equal records (v, p1, p2) in a row of the sorted list of a threshold search.
struct ThresholdRun {
  double v, p1, p2;
  int64_t repeat;
};

// Counts and sums of the values on one side of a candidate threshold.
struct ThresholdStats {
  double sumV = 0.0, sumP1 = 0.0, sumP2 = 0.0;
  double sumV2 = 0.0, sumP12 = 0.0, sumP22 = 0.0;
  int64_t count = 0;
};

// Adds `repeat` records of the same values, one after the other.
void AddRepeated(ThresholdStats& stats, const ThresholdRun& record);

// The integer candidates lo, lo + 1, ..., lo + candidates - 1 of a threshold search over
// values from minimum to maximum; false when there are fewer than two.
bool ThresholdCandidates(double minimum, double maximum, int32_t& lo, int64_t& candidates);

// The best candidate lo + j (j >= 1) by the criterion, from the sums below and above each.
int BestThresholdCandidate(const std::vector<ThresholdStats>& lower,
                           const std::vector<ThresholdStats>& upper, int32_t lo, int criterion,
                           EngineRun& run);

// Cut point for the records (sorted ascending by v; equal values in pixel order), `count`
// records in all, searched over the integer positions between the smallest and the largest
// value. Criterion 3 maximises the one-dimensional Otsu separation of v, criterion 4
// minimises the summed squared distances of both halves from their means in all three
// dimensions; any other criterion gives 0. Calls run.Pump() before scoring each candidate.
// An empty list gives 0 without pumping.
//
// `records` gives size(), the record at a place (operator[]) and may fetch one ahead
// (Prefetch): each record is asked for twice, once by each of the two sums, so a list may
// work its records out when asked rather than keep them.
template <typename Records>
int OtsuThresholdOfRecords(const Records& records, int64_t count, int criterion, EngineRun& run,
                           int threads) {
  if (criterion != 3 && criterion != 4) return 0;
  const int64_t recordCount = static_cast<int64_t>(records.size());
  if (count <= 0 || recordCount == 0) return 0;
  int32_t lo = 0;
  int64_t K = 0;
  if (!ThresholdCandidates(records[0].v, records[recordCount - 1].v, lo, K)) return lo;

  // lower[j]: every record below lo + j, added from the smallest up; upper[j]: every record
  // at or above lo + j, added from the largest down.
  constexpr int64_t kAhead = 16;
  std::vector<ThresholdStats> lower(static_cast<size_t>(K)), upper(static_cast<size_t>(K));
  // The two tables do not depend on each other.
  RunInTwoParts(threads, [&](int part) {
    ThresholdStats running;
    if (part == 0) {
      int64_t next = 0;
      for (int64_t j = 1; j < K; ++j) {
        const double cut = static_cast<double>(lo + j);
        while (next < recordCount) {
          if (next + kAhead < recordCount) records.Prefetch(next + kAhead);
          const ThresholdRun record = records[next];
          if (!(record.v < cut)) break;
          AddRepeated(running, record);
          ++next;
        }
        lower[j] = running;
      }
    } else {
      int64_t next = recordCount - 1;
      for (int64_t j = K - 1; j >= 1; --j) {
        const double cut = static_cast<double>(lo + j);
        while (next >= 0) {
          if (next >= kAhead) records.Prefetch(next - kAhead);
          const ThresholdRun record = records[next];
          if (!(record.v >= cut)) break;
          AddRepeated(running, record);
          --next;
        }
        upper[j] = running;
      }
    }
  });
  return BestThresholdCandidate(lower, upper, lo, criterion, run);
}

// The same for the records of a list.
int OtsuThresholdRuns(const std::vector<ThresholdRun>& runs, int64_t count, int criterion,
                      EngineRun& run, int threads = 1);

// The same for `count` unsorted values v with perpendicular coordinates p1, p2 in pixel
// order.
int OtsuThresholdReal(int64_t count, const double* v, const double* p1, const double* p2,
                      int criterion, EngineRun& run);

// Histogram of integers: bins[b] counts the value minimum + b.
struct IntegerHistogram {
  int64_t count = 0;
  int32_t minimum = 0;
  int32_t maximum = 0;
  std::vector<int64_t> bins;
};
IntegerHistogram HistogramOf(int64_t count, const int32_t* values);

// One-dimensional Otsu cut point of the histogram's values, scored in single precision. An
// empty histogram gives 0.
int OtsuThresholdInt(const IntegerHistogram& histogram);
int OtsuThresholdInt(int64_t count, const int32_t* values);

// Histogram median; prints "MIN=%d,MED=%d,MAX=%d\n" on standard output. An empty histogram
// gives 0 and prints nothing.
int MedianThreshold(const IntegerHistogram& histogram, Diagnostics& diagnostics);
int MedianThreshold(int64_t count, const int32_t* values, Diagnostics& diagnostics);

// What the threshold rules read of the pixels being split: the rounded along-axis values
// (as a histogram) for modes 0 and 1, the sorted coordinates for modes 3 and 4.
inline bool ThresholdNeedsHistogram(int thresholdMode) {
  return thresholdMode == 0 || thresholdMode == 1;
}
inline bool ThresholdNeedsRuns(int thresholdMode) {
  return thresholdMode == 3 || thresholdMode == 4;
}

// The threshold of one split of `count` pixels by thresholdMode (0 Otsu on the integer
// positions, 1 median, 2 the mean, 3 Otsu on the real values, 4 minimum three-dimensional
// scatter, other: the previous split's threshold). At the first split modes 0, 3 and 4
// print the threshold ("THRESH OHTSU=%d\n" or "THRESH OHTSU2=%d\n"); an empty list gives 0
// and prints nothing.
// The two tables of the real-valued search may be built on two threads.
int SplitThreshold(int thresholdMode, int64_t count, const IntegerHistogram& histogram,
                   const std::vector<ThresholdRun>& runs, bool firstSplit, int previousThreshold,
                   EngineRun& run, int threads = 1);

// The same from per-pixel lists: `intValues` are the rounded along-axis values, `along`,
// `across1`, `across2` the real coordinates, all of the same `count` pixels in pixel order.
int SplitThreshold(int thresholdMode, int64_t count, const int32_t* intValues, const double* along,
                   const double* across1, const double* across2, bool firstSplit,
                   int previousThreshold, EngineRun& run);

}  // namespace genshoku
