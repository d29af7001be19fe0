#include "engine/adaptive_diffusion.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

#include "engine/candidate_grid.h"
#include "engine/chroma_weighted_rgb.h"
#include "engine/local_contrast.h"
#include "engine/nearest_entry_search.h"
#include "engine/visible_error.h"

namespace genshoku {

namespace {

constexpr int kChannels = 3;

// Each pixel's strength from its local contrast, row by row.
class StrengthRows {
 public:
  StrengthRows(int width, int height, const uint8_t* red, const uint8_t* green, const uint8_t* blue,
               const AdaptiveDiffusionSettings& settings)
      : width_(width),
        settings_(settings),
        contrast_(width, height, red, green, blue),
        row_(static_cast<size_t>(width)) {}

  // The strengths of row y, which must follow row y - 1 (or be the first row). With
  // spacingScale above 0 they depend on the entry each pixel takes: the full strength is
  // given here. The row's contrasts are kept for Contrasts() whenever the contrast is read.
  void Strengths(int y, double* strengths) {
    if (settings_.spacingScale > 0.0 ||
        (settings_.contrastScale <= 0.0 && settings_.coarseContrast > 0.0)) {
      contrast_.Row(y, row_.data());
    }
    if (settings_.spacingScale > 0.0 || settings_.contrastScale <= 0.0) {
      std::fill_n(strengths, width_, settings_.strength);
      return;
    }
    contrast_.Row(y, row_.data());
    const double scale = settings_.contrastScale;
    const bool squared = settings_.quadraticFalloff;
    for (int x = 0; x < width_; ++x) {
      const double r = row_[x] / scale;
      strengths[x] = settings_.strength / (1.0 + (squared ? r * r : r));
    }
  }

  // The contrast of the row last asked for (when any setting reads the contrast).
  const float* Contrasts() const { return row_.data(); }

 private:
  int width_;
  AdaptiveDiffusionSettings settings_;
  LocalContrastRows contrast_;
  std::vector<float> row_;
};

// How finely the palette covers each pixel's own colour, and the strength that follows:
// raised towards full where the nearest entry is visibly off on a smooth area (there the
// palette's steps show as bands unless the error is diffused), lowered where an entry
// matches the colour invisibly closely (there diffusing only adds noise).
class PaletteCoverage {
 public:
  PaletteCoverage(const AdaptiveDiffusionSettings& settings, const double (*palette)[3], int count)
      : coarse_(settings.coarseError * settings.coarseError),
        coarseContrast_(settings.coarseContrast),
        fine_(settings.fineError * settings.fineError),
        matrices_(static_cast<size_t>(count)) {
    for (int e = 0; e < count; ++e) {
      matrices_[e] = VisibleErrorMatrix(palette[e][0], palette[e][1], palette[e][2]);
    }
  }

  static bool Enabled(const AdaptiveDiffusionSettings& settings) {
    return settings.coarseError > 0.0 || settings.fineError > 0.0;
  }

  // The strength of a pixel whose colour `own` has `nearest` as its nearest entry, from
  // the strength the contrast gave it and its local contrast.
  double Adjust(double strength, const double own[3], const double nearest[3], int entry,
                double contrast) const {
    const double d[3] = {own[0] - nearest[0], own[1] - nearest[1], own[2] - nearest[2]};
    const double seen = matrices_[entry].Squared(d);
    if (coarse_ > 0.0) {
      double share = seen / (seen + coarse_);
      if (coarseContrast_ > 0.0) {
        const double r = contrast / coarseContrast_;
        share /= 1.0 + r * r;
      }
      strength += (1.0 - strength) * share;
    }
    if (fine_ > 0.0) strength *= seen / (seen + fine_);
    return strength;
  }

 private:
  double coarse_;
  double coarseContrast_;
  double fine_;
  std::vector<VisibleErrorMatrix> matrices_;
};

// The entry of least mixed RGB and visible cost (AdaptiveDiffusionSettings::visibleMix).
// The search walks the neighbours of the RGB-nearest entry n by their distance from n:
// an entry e is at least |n - e| - |x - n| from the colour x, and its cost at least that
// squared times (1 - mix) plus the visible share times the least stretch of the visible
// matrix, so the walk stops where that bound passes the best cost.
class VisibleChoice {
 public:
  VisibleChoice(double mix, const double (*palette)[3], int count, const NearestEntrySearch& search)
      : palette_(palette), count_(count), search_(search), forms_(static_cast<size_t>(count)) {
    const double plainShare = 1.0 - mix;
    const double visibleShare = mix * kBytesPerVisibleUnit * kBytesPerVisibleUnit;
    for (int e = 0; e < count; ++e) {
      const VisibleErrorMatrix seen(palette[e][0], palette[e][1], palette[e][2]);
      double gram[3][3];
      seen.Gram(gram);
      CostForm& form = forms_[e];
      form.square[0] = plainShare + visibleShare * gram[0][0];
      form.square[1] = plainShare + visibleShare * gram[1][1];
      form.square[2] = plainShare + visibleShare * gram[2][2];
      form.cross[0] = 2.0 * visibleShare * gram[0][1];
      form.cross[1] = 2.0 * visibleShare * gram[0][2];
      form.cross[2] = 2.0 * visibleShare * gram[1][2];
      form.least = plainShare + visibleShare * seen.LeastStretch();
    }
  }

  // The entry for the corrected colour x, whose nearest entry in RGB is `nearest`.
  int Choose(const double x[3], int nearest) const {
    const CostForm& form = forms_[nearest];
    int best = nearest;
    double bestCost = form.Cost(x, palette_[nearest]);
    const double reach = std::sqrt(search_.SquaredDistance(x[0], x[1], x[2], nearest));
    const float* distances = search_.NeighbourDistances(nearest);
    const uint8_t* neighbours = search_.NeighbourIndices(nearest);
    for (int k = 0; k < count_ - 1; ++k) {
      const double gap = distances[k] - reach;
      if (gap > 0.0 && form.least * gap * gap > bestCost) break;
      const int e = neighbours[k];
      const double cost = form.Cost(x, palette_[e]);
      if (cost < bestCost || (cost == bestCost && e < best)) {
        best = e;
        bestCost = cost;
      }
    }
    return best;
  }

 private:
  static constexpr double kBytesPerVisibleUnit = 2.5;

  // The mixed cost as a quadratic form of the RGB difference, judged at one entry.
  struct CostForm {
    double square[3];  // of d0^2, d1^2, d2^2
    double cross[3];   // of d0 d1, d0 d2, d1 d2
    double least;      // at most cost / |d|^2 for every d
    double Cost(const double x[3], const double* entry) const {
      const double d0 = x[0] - entry[0], d1 = x[1] - entry[1], d2 = x[2] - entry[2];
      return square[0] * d0 * d0 + square[1] * d1 * d1 + square[2] * d2 * d2 +
             (cross[0] * d0 * d1 + cross[1] * d0 * d2 + cross[2] * d1 * d2);
    }
  };

  const double (*palette_)[3];
  int count_;
  const NearestEntrySearch& search_;
  std::vector<CostForm> forms_;
};

// Cells of the candidate grid: a small share of a byte per pixel, at least 2^19.
int64_t GridCells(int64_t pixels) {
  return std::clamp<int64_t>(pixels / 8, int64_t{1} << 19, int64_t{1} << 22);
}

}  // namespace

void AdaptiveStrengths(int width, int height, const uint8_t* red, const uint8_t* green,
                       const uint8_t* blue, const AdaptiveDiffusionSettings& settings,
                       double* strengths) {
  if (width <= 0 || height <= 0) return;
  StrengthRows rows(width, height, red, green, blue, settings);
  for (int y = 0; y < height; ++y) rows.Strengths(y, strengths + static_cast<size_t>(y) * width);
}

// One loop over the picture, kept whole: the error rows, the scan direction and the
// strength of each pixel all meet in it.
void DiffuseAdaptive(int width, int height, const uint8_t* red, const uint8_t* green,
                     const uint8_t* blue, int count, const uint8_t* paletteRed,
                     const uint8_t* paletteGreen, const uint8_t* paletteBlue,
                     const AdaptiveDiffusionSettings& settings, uint8_t* indexPlane,
                     EngineRun* run) {
  if (width <= 0 || height <= 0 || count < 1 || count > 256) return;
  double palette[256][kChannels];
  double c0[256], c1[256], c2[256];
  const ChromaWeightedRgb view(settings.chromaWeight);
  const bool turned = settings.chromaWeight != 1.0;
  for (int e = 0; e < count; ++e) {
    palette[e][0] = c0[e] = paletteRed[e];
    palette[e][1] = c1[e] = paletteGreen[e];
    palette[e][2] = c2[e] = paletteBlue[e];
    if (turned) {
      double p[kChannels];
      view.Apply(palette[e], p);
      c0[e] = p[0];
      c1[e] = p[1];
      c2[e] = p[2];
    }
  }
  // Per entry, from its distance to the nearest other entry: the contrast at which the
  // strength halves (spacingScale) and the factor that raises the strength towards 1 where
  // the entries lie close (fineStep).
  double entryScale[256];
  double entryBoost[256];
  for (int e = 0; e < count; ++e) {
    double nearest = HUGE_VAL;
    for (int f = 0; f < count; ++f) {
      if (f == e) continue;
      double squared = 0.0;
      for (int c = 0; c < kChannels; ++c) {
        const double d = palette[e][c] - palette[f][c];
        squared += d * d;
      }
      nearest = std::min(nearest, squared);
    }
    const double spacing = nearest < HUGE_VAL ? std::sqrt(nearest) : 255.0;
    entryScale[e] = settings.spacingScale * spacing;
    const double s = settings.strength;
    const double fine = settings.fineStep / (settings.fineStep + spacing);
    entryBoost[e] = settings.fineStep > 0.0 && s > 0.0 ? (s + (1.0 - s) * fine) / s : 1.0;
  }
  const bool covered = PaletteCoverage::Enabled(settings);
  std::optional<PaletteCoverage> coverage;
  if (covered) coverage.emplace(settings, palette, count);
  NearestEntrySearch search;
  search.SetPalette(c0, c1, c2, count);
  search.MakeAllNeighbourLists();
  double low[3] = {0.0, 0.0, 0.0}, high[3] = {255.0, 255.0, 255.0};
  if (turned) view.CubeBounds(low, high);
  const CandidateGrid grid(search, low, high, GridCells(int64_t{width} * height));
  std::optional<VisibleChoice> visible;
  if (settings.visibleMix > 0.0 && !turned)
    visible.emplace(settings.visibleMix, palette, count, search);

  // Two error rows per channel with a cell of margin on each side: the current row and the
  // one below it. The error is kept as the sum of the shares received (in sixteenths).
  const size_t stride = static_cast<size_t>(width) + 2;
  std::vector<double> errors(2 * kChannels * stride, 0.0);
  auto errorRow = [&](int which, int channel) {
    return errors.data() + (static_cast<size_t>(which) * kChannels + channel) * stride + 1;
  };
  std::vector<double> strengths(static_cast<size_t>(width));
  StrengthRows strengthRows(width, height, red, green, blue, settings);
  const double limit = settings.errorLimit > 0.0 ? settings.errorLimit : HUGE_VAL;
  const uint8_t* source[kChannels] = {red, green, blue};

  int current = 0;
  int lastEntry = 0;
  int lastOwnEntry = 0;
  for (int y = 0; y < height; ++y) {
    if (run) run->Pump();
    strengthRows.Strengths(y, strengths.data());
    const bool backwards = settings.serpentine && (y & 1) == 1;
    const int step = backwards ? -1 : 1;
    double* here[kChannels];
    double* below[kChannels];
    for (int c = 0; c < kChannels; ++c) {
      here[c] = errorRow(current, c);
      below[c] = errorRow(1 - current, c);
    }
    const size_t rowStart = static_cast<size_t>(y) * width;
    for (int i = 0; i < width; ++i) {
      const int x = backwards ? width - 1 - i : i;
      if (settings.excluded != nullptr && settings.excluded[rowStart + x] != 0) {
        indexPlane[rowStart + x] = 0;
        continue;
      }
      double strength = strengths[x];
      double value[kChannels];
      for (int c = 0; c < kChannels; ++c) {
        const double carried = std::clamp(here[c][x] / 16.0, -limit, limit);
        value[c] = std::clamp(source[c][rowStart + x] + carried, 0.0, 255.0);
      }
      double point[kChannels] = {value[0], value[1], value[2]};
      if (turned) view.Apply(value, point);
      const int nearest = grid.Find(point[0], point[1], point[2], lastEntry);
      lastEntry = nearest;
      const int entry = visible ? visible->Choose(value, nearest) : nearest;
      indexPlane[rowStart + x] = static_cast<uint8_t>(entry);
      if (settings.spacingScale > 0.0) {
        strength = settings.strength /
                   (1.0 + strengthRows.Contrasts()[x] / std::max(entryScale[entry], 1e-9));
      }
      strength *= entryBoost[entry];
      if (covered) {
        // The entry nearest to the pixel's own colour, before any error is added.
        double own[kChannels], ownPoint[kChannels];
        for (int c = 0; c < kChannels; ++c) own[c] = ownPoint[c] = source[c][rowStart + x];
        if (turned) view.Apply(own, ownPoint);
        lastOwnEntry = grid.Find(ownPoint[0], ownPoint[1], ownPoint[2], lastOwnEntry);
        strength = coverage->Adjust(strength, own, palette[lastOwnEntry], lastOwnEntry,
                                    strengthRows.Contrasts()[x]);
      }
      for (int c = 0; c < kChannels; ++c) {
        const double error = (value[c] - palette[entry][c]) * strength;
        here[c][x + step] += error * 7.0;
        below[c][x - step] += error * 3.0;
        below[c][x] += error * 5.0;
        below[c][x + step] += error * 1.0;
      }
    }
    for (int c = 0; c < kChannels; ++c) std::fill_n(here[c] - 1, stride, 0.0);
    current = 1 - current;
  }
}

}  // namespace genshoku
