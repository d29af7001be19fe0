#include "engine/palette_refinement.h"

#include <algorithm>
#include <cmath>

#include "engine/candidate_grid.h"
#include "engine/chroma_weighted_rgb.h"
#include "engine/local_contrast.h"
#include "engine/nearest_entry_search.h"
#include "engine/parallel.h"

namespace genshoku {

WeightedColours CollectWeightedColours(int width, int height, const uint8_t* red,
                                       const uint8_t* green, const uint8_t* blue,
                                       const ColourTable& colours, double contrastScale,
                                       EngineRun* run, const uint8_t* excluded) {
  WeightedColours out;
  out.rgb.assign(static_cast<size_t>(colours.colourCount), 0);
  out.weight.assign(static_cast<size_t>(colours.colourCount), 0.0f);
  LocalContrastRows contrast(width, height, red, green, blue);
  std::vector<float> row(static_cast<size_t>(width), 0.0f);
  for (int y = 0; y < height; ++y) {
    if (run) run->Pump();
    if (contrastScale > 0.0) contrast.Row(y, row.data());
    const int64_t start = int64_t{y} * width;
    for (int x = 0; x < width; ++x) {
      const int64_t i = start + x;
      const uint32_t c = colours.ColourOf(i);
      out.rgb[c] = (uint32_t{red[i]} << 16) | (uint32_t{green[i]} << 8) | blue[i];
      if (excluded != nullptr && excluded[i] != 0) continue;
      out.weight[c] +=
          contrastScale > 0.0 ? static_cast<float>(contrastScale / (contrastScale + row[x])) : 1.0f;
    }
  }
  return out;
}

void RefinePaletteRgb(const WeightedColours& colours, int iterations, int count,
                      uint8_t* paletteRed, uint8_t* paletteGreen, uint8_t* paletteBlue,
                      EngineRun* run, double chromaWeight, int threads) {
  if (count < 1 || count > 256 || iterations <= 0 || colours.rgb.empty()) return;
  double c0[256], c1[256], c2[256];
  for (int e = 0; e < count; ++e) {
    c0[e] = paletteRed[e];
    c1[e] = paletteGreen[e];
    c2[e] = paletteBlue[e];
  }
  const int64_t cells =
      std::clamp<int64_t>(static_cast<int64_t>(colours.rgb.size()) / 8, 1 << 19, 1 << 22);
  const ChromaWeightedRgb view(chromaWeight);
  const bool turned = chromaWeight != 1.0;
  double low[3] = {0.0, 0.0, 0.0}, high[3] = {255.0, 255.0, 255.0};
  if (turned) view.CubeBounds(low, high);
  double v0[256], v1[256], v2[256];
  const int64_t colourCount = static_cast<int64_t>(colours.rgb.size());
  std::vector<uint8_t> nearest(colours.rgb.size());
  // One search for every step: its neighbour lists follow the entries as they move.
  NearestEntrySearch search;
  for (int step = 0; step < iterations; ++step) {
    if (run) run->Pump();
    for (int e = 0; e < count; ++e) {
      double rgb[3] = {c0[e], c1[e], c2[e]}, p[3] = {c0[e], c1[e], c2[e]};
      if (turned) view.Apply(rgb, p);
      v0[e] = p[0];
      v1[e] = p[1];
      v2[e] = p[2];
    }
    search.SetPalette(v0, v1, v2, count);
    search.MakeAllNeighbourLists();
    const CandidateGrid grid(search, low, high, cells);
    // The nearest entries are found on both threads (the grid answers the same whoever
    // asks); the sums then run in the colours' order, so the result is the same for one
    // thread or two.
    RunInTwoParts(threads, [&](int part) {
      int64_t begin, end;
      HalfRange(colourCount, part, begin, end);
      int last = 0;
      for (int64_t k = begin; k < end; ++k) {
        const uint32_t rgb = colours.rgb[k];
        const double r = rgb >> 16, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
        double p[3] = {r, g, b};
        if (turned) {
          const double plain[3] = {r, g, b};
          view.Apply(plain, p);
        }
        last = grid.Find(p[0], p[1], p[2], last);
        nearest[k] = static_cast<uint8_t>(last);
      }
    });
    double sums[256][4] = {};
    for (int64_t k = 0; k < colourCount; ++k) {
      const uint32_t rgb = colours.rgb[k];
      const double w = colours.weight[k];
      double* sum = sums[nearest[k]];
      sum[0] += w * static_cast<double>(rgb >> 16);
      sum[1] += w * static_cast<double>((rgb >> 8) & 0xFF);
      sum[2] += w * static_cast<double>(rgb & 0xFF);
      sum[3] += w;
    }
    for (int e = 0; e < count; ++e) {
      if (sums[e][3] <= 0.0) continue;
      c0[e] = sums[e][0] / sums[e][3];
      c1[e] = sums[e][1] / sums[e][3];
      c2[e] = sums[e][2] / sums[e][3];
    }
  }
  auto toByte = [](double v) { return static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L)); };
  for (int e = 0; e < count; ++e) {
    paletteRed[e] = toByte(c0[e]);
    paletteGreen[e] = toByte(c1[e]);
    paletteBlue[e] = toByte(c2[e]);
  }
}

}  // namespace genshoku
