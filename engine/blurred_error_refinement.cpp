#include "engine/blurred_error_refinement.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <vector>

#include "engine/candidate_grid.h"
#include "engine/chroma_weighted_rgb.h"
#include "engine/local_variance.h"
#include "engine/nearest_entry_search.h"
#include "engine/parallel.h"

namespace genshoku {

namespace {

constexpr int kChannels = 3;
// Reach of A (G correlated with itself: a Gaussian of sigma sqrt 2, 0.02 of its peak at 4).
constexpr int kReach = 4;
constexpr int kTaps = 2 * kReach + 1;
// Rows of a band: at least kReach, so that bands of the same parity never meet.
constexpr int kBandRows = 64;
// The constant of the structural comparison's contrast term, (0.03 * 255)^2.
constexpr double kStructureConstant = 0.03 * 255.0 * 0.03 * 255.0;

// One dimension of A: a sampled Gaussian of sigma 1 (reach 4, summing to 1) correlated with
// itself.
std::array<double, kTaps> AutocorrelationTaps() {
  std::array<double, kTaps> g{};
  double sum = 0.0;
  for (int i = -kReach; i <= kReach; ++i) sum += g[i + kReach] = std::exp(-0.5 * i * i);
  for (double& v : g) v /= sum;
  std::array<double, kTaps> a{};
  for (int d = -kReach; d <= kReach; ++d) {
    for (int i = -kReach; i <= kReach; ++i) {
      const int j = i + d;
      if (j >= -kReach && j <= kReach) a[d + kReach] += g[i + kReach] * g[j + kReach];
    }
  }
  return a;
}

struct Job {
  int width;
  int height;
  const uint8_t* source[kChannels];
  int count;
  double palette[256][kChannels];
  std::array<double, kTaps> taps;
  double centre;  // A(0, 0)
  double plainWeight;
  const CandidateGrid* grid;
  uint8_t* indexPlane;
  ChromaWeightedRgb view{1.0};

  // The source colour of pixel i in the view the errors are measured in.
  void Source(size_t i, double out[kChannels]) const {
    const double rgb[kChannels] = {static_cast<double>(source[0][i]),
                                   static_cast<double>(source[1][i]),
                                   static_cast<double>(source[2][i])};
    view.Apply(rgb, out);
  }
};

// Works on one band of rows at a time with rings of rows: the error filtered along the rows
// (kTaps rows) and c (kReach + 1 rows, the current one and those below it).
class BandWorker {
 public:
  explicit BandWorker(const Job& job)
      : job_(job),
        rowFloats_(static_cast<size_t>(job.width) * kChannels),
        along_(kTaps * rowFloats_),
        c_((kReach + 1) * rowFloats_),
        variance_(static_cast<size_t>(job.width)),
        variances_(job.width, job.height, job.source[0], job.source[1], job.source[2]) {}

  // Rows first..end-1; `pump` is called once per row.
  template <typename Pump>
  void Run(int first, int end, Pump&& pump) {
    first_ = first;
    end_ = end;
    for (int r = first - kReach; r <= first + kReach; ++r) FilterAlong(r);
    for (int r = first; r <= std::min(first + kReach, end - 1); ++r) {
      if (r > first) FilterAlong(r + kReach);
      FilterAcross(r);
    }
    for (int y = first; y < end; ++y) {
      pump();
      if (y > first && y + kReach < end) {
        FilterAlong(y + 2 * kReach);
        FilterAcross(y + kReach);
      }
      RefineRow(y);
    }
  }

 private:
  float* Along(int r) {
    return along_.data() + static_cast<size_t>((r % kTaps + kTaps) % kTaps) * rowFloats_;
  }
  float* C(int r) { return c_.data() + static_cast<size_t>(r % (kReach + 1)) * rowFloats_; }

  // The error of row r filtered along the row (zero outside the picture).
  void FilterAlong(int r) {
    float* out = Along(r);
    if (r < 0 || r >= job_.height) {
      std::fill_n(out, rowFloats_, 0.0f);
      return;
    }
    const int width = job_.width;
    const size_t start = static_cast<size_t>(r) * width;
    error_.resize(static_cast<size_t>(width + 2 * kReach) * kChannels);
    std::fill(error_.begin(), error_.end(), 0.0f);
    for (int x = 0; x < width; ++x) {
      const int entry = job_.indexPlane[start + x];
      double source[kChannels];
      job_.Source(start + x, source);
      for (int ch = 0; ch < kChannels; ++ch) {
        error_[(x + kReach) * kChannels + ch] =
            static_cast<float>(source[ch] - job_.palette[entry][ch]);
      }
    }
    for (int x = 0; x < width; ++x) {
      for (int ch = 0; ch < kChannels; ++ch) {
        double sum = 0.0;
        for (int d = 0; d < kTaps; ++d) sum += job_.taps[d] * error_[(x + d) * kChannels + ch];
        out[x * kChannels + ch] = static_cast<float>(sum);
      }
    }
  }

  // c of row r (first_ <= r < end_) from the filtered rows r - kReach..r + kReach.
  void FilterAcross(int r) {
    float* out = C(r);
    for (size_t i = 0; i < rowFloats_; ++i) {
      double sum = 0.0;
      for (int d = 0; d < kTaps; ++d) sum += job_.taps[d] * Along(r - kReach + d)[i];
      out[i] = static_cast<float>(sum);
    }
  }

  void RefineRow(int y) {
    const int width = job_.width;
    variances_.Row(y, variance_.data());
    const size_t start = static_cast<size_t>(y) * width;
    const bool backwards = (y & 1) == 1;
    float* c = C(y);
    int last = job_.indexPlane[start];
    for (int i = 0; i < width; ++i) {
      const int x = backwards ? width - 1 - i : i;
      const int entry = job_.indexPlane[start + x];
      const double* q = job_.palette[entry];
      double source[kChannels], target[kChannels];
      job_.Source(start + x, source);
      const double w =
          job_.plainWeight * kStructureConstant / (kStructureConstant + 2.0 * variance_[x]);
      const double denominator = job_.centre + w;
      for (int ch = 0; ch < kChannels; ++ch) {
        target[ch] = (job_.centre * q[ch] + c[x * kChannels + ch] + w * source[ch]) / denominator;
      }
      const int better = job_.grid->Find(target[0], target[1], target[2], last);
      last = better;
      if (better == entry) continue;
      const double* u = job_.palette[better];
      double change = 0.0;
      double delta[kChannels];
      for (int ch = 0; ch < kChannels; ++ch) {
        delta[ch] = u[ch] - q[ch];
        const double before = source[ch] - q[ch], after = source[ch] - u[ch];
        change += job_.centre * delta[ch] * delta[ch] - 2.0 * delta[ch] * c[x * kChannels + ch] +
                  w * (after * after - before * before);
      }
      if (!(change < 0.0)) continue;
      job_.indexPlane[start + x] = static_cast<uint8_t>(better);
      Move(x, y, delta);
    }
  }

  // c -= delta * A around (x, y), in the rows of the band from y on.
  void Move(int x, int y, const double delta[kChannels]) {
    const int left = std::max(x - kReach, 0), right = std::min(x + kReach, job_.width - 1);
    const int bottom = std::min(y + kReach, end_ - 1);
    for (int r = y; r <= bottom; ++r) {
      float* row = C(r);
      const double across = job_.taps[r - y + kReach];
      for (int n = left; n <= right; ++n) {
        const double a = across * job_.taps[n - x + kReach];
        for (int ch = 0; ch < kChannels; ++ch) {
          row[n * kChannels + ch] = static_cast<float>(row[n * kChannels + ch] - a * delta[ch]);
        }
      }
    }
  }

  const Job& job_;
  size_t rowFloats_;
  std::vector<float> along_;
  std::vector<float> c_;
  std::vector<float> variance_;
  std::vector<float> error_;
  LocalVarianceRows variances_;
  int first_ = 0;
  int end_ = 0;
};

}  // namespace

void RefineForBlurredError(int width, int height, const uint8_t* red, const uint8_t* green,
                           const uint8_t* blue, int count, const uint8_t* paletteRed,
                           const uint8_t* paletteGreen, const uint8_t* paletteBlue,
                           const BlurredErrorSettings& settings, uint8_t* indexPlane,
                           EngineRun* run, int threads) {
  if (width <= 0 || height <= 0 || count < 2 || count > 256 || settings.passes <= 0) return;
  Job job{};
  job.width = width;
  job.height = height;
  job.source[0] = red;
  job.source[1] = green;
  job.source[2] = blue;
  job.count = count;
  double c0[256], c1[256], c2[256];
  job.view = ChromaWeightedRgb(settings.chromaWeight);
  for (int e = 0; e < count; ++e) {
    const double rgb[kChannels] = {static_cast<double>(paletteRed[e]),
                                   static_cast<double>(paletteGreen[e]),
                                   static_cast<double>(paletteBlue[e])};
    job.view.Apply(rgb, job.palette[e]);
    c0[e] = job.palette[e][0];
    c1[e] = job.palette[e][1];
    c2[e] = job.palette[e][2];
  }
  job.taps = AutocorrelationTaps();
  job.centre = job.taps[kReach] * job.taps[kReach];
  job.plainWeight = settings.plainWeight;
  job.indexPlane = indexPlane;
  NearestEntrySearch search;
  search.SetPalette(c0, c1, c2, count);
  search.MakeAllNeighbourLists();
  double low[3], high[3];
  job.view.CubeBounds(low, high);
  const CandidateGrid grid(search, low, high,
                           std::clamp<int64_t>(int64_t{width} * height / 8, 1 << 19, 1 << 22));
  job.grid = &grid;

  const int bands = (height + kBandRows - 1) / kBandRows;
  for (int pass = 0; pass < settings.passes; ++pass) {
    for (int parity = 0; parity < 2; ++parity) {
      std::atomic<int> next{0};
      std::atomic<bool> cancelled{false};
      RunInTwoParts(
          threads,
          [&](int part) {
            BandWorker worker(job);
            for (;;) {
              if (cancelled.load()) return;
              const int band = parity + 2 * next.fetch_add(1);
              if (band >= bands) return;
              const int first = band * kBandRows;
              worker.Run(first, std::min(first + kBandRows, height), [&] {
                if (part == 0 && run) run->Pump();
              });
            }
          },
          &cancelled);
    }
  }
}

}  // namespace genshoku
