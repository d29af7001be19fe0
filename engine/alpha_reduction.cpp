#include "engine/alpha_reduction.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <unordered_map>

#include "engine/premultiplied_diffusion.h"
#include "engine/premultiplied_palette.h"

namespace genshoku {

namespace {

// Lloyd steps of the premultiplied palette after its median cut.
constexpr int kPremultipliedLloydSteps = 4;

// A pixel's colour as one word, 0xAARRGGBB; every fully transparent pixel is 0.
uint32_t KeyOf(const EngineSource& source, const uint8_t* alpha, size_t i) {
  if (alpha[i] == 0) return 0;
  return (uint32_t{alpha[i]} << 24) | (uint32_t{source.red[i]} << 16) |
         (uint32_t{source.green[i]} << 8) | source.blue[i];
}

Rgba ColourOfKey(uint32_t key) {
  return {static_cast<uint8_t>(key >> 16), static_cast<uint8_t>(key >> 8),
          static_cast<uint8_t>(key), static_cast<uint8_t>(key >> 24)};
}

// When the picture has at most `entries` distinct colours, one entry each in increasing
// order of their keys (the transparent one first) and every pixel's index.
bool MapFewColoursExactly(const EngineSource& source, const uint8_t* alpha, int entries,
                          uint8_t* indices, AlphaPalette& palette) {
  const size_t n = static_cast<size_t>(source.width) * static_cast<size_t>(source.height);
  std::unordered_map<uint32_t, int> entryOf;
  uint32_t lastKey = 0;
  bool haveLast = false;
  for (size_t i = 0; i < n; ++i) {
    const uint32_t key = KeyOf(source, alpha, i);
    if (haveLast && key == lastKey) continue;
    lastKey = key;
    haveLast = true;
    if (entryOf.emplace(key, 0).second && entryOf.size() > static_cast<size_t>(entries))
      return false;
  }
  std::vector<uint32_t> keys;
  for (const auto& [key, unused] : entryOf) keys.push_back(key);
  std::sort(keys.begin(), keys.end());
  palette.entries.clear();
  for (size_t e = 0; e < keys.size(); ++e) {
    entryOf[keys[e]] = static_cast<int>(e);
    palette.entries.push_back(ColourOfKey(keys[e]));
  }
  for (size_t i = 0; i < n; ++i) {
    indices[i] = static_cast<uint8_t>(entryOf[KeyOf(source, alpha, i)]);
  }
  return true;
}

// The distinct colours of the pixels `wanted` picks, in increasing key order, with counts.
template <typename Wanted>
std::vector<CountedRgba> CountColours(const EngineSource& source, const uint8_t* alpha,
                                      Wanted wanted, std::vector<uint32_t>& sortedKeys) {
  const size_t n = static_cast<size_t>(source.width) * static_cast<size_t>(source.height);
  std::vector<uint32_t> keys;
  for (size_t i = 0; i < n; ++i) {
    if (wanted(alpha[i])) keys.push_back(KeyOf(source, alpha, i));
  }
  std::sort(keys.begin(), keys.end());
  std::vector<CountedRgba> counted;
  sortedKeys.clear();
  for (size_t i = 0; i < keys.size();) {
    size_t j = i;
    while (j < keys.size() && keys[j] == keys[i]) ++j;
    counted.push_back({ColourOfKey(keys[i]), static_cast<uint64_t>(j - i)});
    sortedKeys.push_back(keys[i]);
    i = j;
  }
  return counted;
}

// Designs the premultiplied palette of the pixels `wanted` picks and writes their indices
// (entries appended to `palette`): with error diffusion of the given strength among them,
// or (strength 0) each pixel's nearest entry.
template <typename Wanted>
void ReducePremultiplied(const EngineSource& source, const uint8_t* alpha, Wanted wanted,
                         int entries, double strength, uint8_t* indices, AlphaPalette& palette) {
  std::vector<uint32_t> keys;
  const std::vector<CountedRgba> colours = CountColours(source, alpha, wanted, keys);
  const std::vector<Rgba> own =
      DesignPremultipliedPalette(colours, entries, kPremultipliedLloydSteps);
  if (own.empty()) return;
  const int firstEntry = static_cast<int>(palette.entries.size());
  const size_t n = static_cast<size_t>(source.width) * static_cast<size_t>(source.height);
  if (strength > 0.0 && own.size() > 1) {
    std::vector<uint8_t> mapped(n);
    for (size_t i = 0; i < n; ++i) mapped[i] = wanted(alpha[i]) ? 1 : 0;
    DiffusePremultiplied(
        {source.width, source.height, source.red, source.green, source.blue, alpha}, mapped.data(),
        own, strength, firstEntry, indices);
    palette.entries.insert(palette.entries.end(), own.begin(), own.end());
    return;
  }
  std::vector<uint8_t> entryOfColour(colours.size());
  for (size_t c = 0; c < colours.size(); ++c) {
    entryOfColour[c] =
        static_cast<uint8_t>(firstEntry + NearestPremultipliedEntry(own, colours[c].colour));
  }
  for (size_t i = 0; i < n; ++i) {
    if (!wanted(alpha[i])) continue;
    const auto at = std::lower_bound(keys.begin(), keys.end(), KeyOf(source, alpha, i));
    indices[i] = entryOfColour[static_cast<size_t>(at - keys.begin())];
  }
  palette.entries.insert(palette.entries.end(), own.begin(), own.end());
}

// Each partly transparent pixel takes the nearest entry of the whole palette.
void MapToNearest(const EngineSource& source, const uint8_t* alpha, const AlphaPalette& palette,
                  uint8_t* indices) {
  const size_t n = static_cast<size_t>(source.width) * static_cast<size_t>(source.height);
  for (size_t i = 0; i < n; ++i) {
    if (alpha[i] == 0 || alpha[i] == 255) continue;
    const Rgba colour = ColourOfKey(KeyOf(source, alpha, i));
    indices[i] = static_cast<uint8_t>(NearestPremultipliedEntry(palette.entries, colour));
  }
}

// Distinct colours among the partly transparent pixels, counted up to `limit`.
int64_t PartialColours(const EngineSource& source, const uint8_t* alpha, int64_t limit) {
  const size_t n = static_cast<size_t>(source.width) * static_cast<size_t>(source.height);
  std::unordered_map<uint32_t, bool> seen;
  for (size_t i = 0; i < n && static_cast<int64_t>(seen.size()) < limit; ++i) {
    if (alpha[i] != 0 && alpha[i] != 255) seen.emplace(KeyOf(source, alpha, i), true);
  }
  return static_cast<int64_t>(seen.size());
}

// The engine's reduction of the opaque pixels alone to `entries` entries (every other pixel
// left out), appended to `palette`, with their indices.
ReduceResult ReduceOpaquePixels(const EngineSource& source, const uint8_t* alpha,
                                const ReductionParams& params, const EngineOptions& options,
                                int entries, uint8_t* indices, AlphaPalette& palette,
                                const EngineServices& services) {
  const size_t n = static_cast<size_t>(source.width) * static_cast<size_t>(source.height);
  std::vector<uint8_t> excluded(n);
  for (size_t i = 0; i < n; ++i) excluded[i] = alpha[i] != 255;
  std::vector<uint8_t> opaqueIndices(n, 0);
  EngineSource opaqueSource = source;
  opaqueSource.excluded = excluded.data();
  EngineOptions opaqueOptions = options;
  opaqueOptions.paletteSize = entries;
  EnginePalette engine;
  const ReduceResult result =
      ReduceColors(opaqueSource, params, opaqueOptions, opaqueIndices.data(), engine, services);
  if (result != ReduceResult::Ok) return result;
  const int firstOpaque = static_cast<int>(palette.entries.size());
  for (int e = 0; e < engine.size; ++e) {
    palette.entries.push_back({engine.red[e], engine.green[e], engine.blue[e], 255});
  }
  for (size_t i = 0; i < n; ++i) {
    if (alpha[i] == 255) indices[i] = static_cast<uint8_t>(firstOpaque + opaqueIndices[i]);
  }
  return ReduceResult::Ok;
}

}  // namespace

AlphaBudget ShareEntries(int entries, int64_t transparentPixels, double partialPixels,
                         int64_t opaquePixels, int64_t partialColours) {
  AlphaBudget budget;
  budget.transparent = transparentPixels > 0 ? 1 : 0;
  const int available = entries - budget.transparent;
  if (opaquePixels == 0) {
    budget.partial = available;
    return budget;
  }
  if (partialPixels <= 0.0 || available == 1) {
    // With one visible entry it goes to the opaque pixels; partly transparent ones then
    // take the nearest entry of the two.
    budget.opaque = available;
    return budget;
  }
  // Partly transparent pixels vary in alpha as well as in colour, and lie mostly along
  // edges where their errors show: they get more entries than their share of the pixels
  // alone would give them (the square root of the share), but never more than their
  // colours, and the engine keeps at least two where there are three or more.
  const double share = partialPixels / (partialPixels + static_cast<double>(opaquePixels));
  const int64_t wanted = static_cast<int64_t>(std::ceil(available * std::sqrt(share)));
  budget.partial = static_cast<int>(std::clamp<int64_t>(std::min<int64_t>(wanted, partialColours),
                                                        1, std::max(1, available - 2)));
  budget.opaque = available - budget.partial;
  return budget;
}

ReduceResult ReduceColorsWithAlpha(const EngineSource& source, const uint8_t* alpha,
                                   const ReductionParams& params, const EngineOptions& options,
                                   uint8_t* indices, AlphaPalette& palette,
                                   const EngineServices& services) {
  const int width = source.width;
  const int height = source.height;
  if (width <= 0 || height <= 0 || static_cast<int64_t>(width) * height > kMaxReductionPixels ||
      !source.red || !source.green || !source.blue || !alpha || !indices ||
      !ValidateReductionParams(params, nullptr) || !ValidateEngineOptions(options, nullptr)) {
    return ReduceResult::InvalidArguments;
  }
  const size_t n = static_cast<size_t>(width) * static_cast<size_t>(height);
  int64_t transparent = 0, partial = 0;
  double partialVisibility = 0.0;  // the partly transparent pixels weighed by their alpha
  for (size_t i = 0; i < n; ++i) {
    transparent += alpha[i] == 0;
    const bool isPartial = alpha[i] != 0 && alpha[i] != 255;
    partial += isPartial;
    if (isPartial) partialVisibility += alpha[i] / 255.0;
  }
  const int64_t opaque = static_cast<int64_t>(n) - transparent - partial;
  palette.entries.clear();
  try {
    if (transparent == 0 && partial == 0) {
      EnginePalette engine;
      const ReduceResult result = ReduceColors(source, params, options, indices, engine, services);
      if (result != ReduceResult::Ok) return result;
      for (int e = 0; e < engine.size; ++e) {
        palette.entries.push_back({engine.red[e], engine.green[e], engine.blue[e], 255});
      }
      return result;
    }
    if (options.exactFewColours &&
        MapFewColoursExactly(source, alpha, options.paletteSize, indices, palette)) {
      return ReduceResult::Ok;
    }
    const AlphaBudget budget =
        ShareEntries(options.paletteSize, transparent, partialVisibility, opaque,
                     PartialColours(source, alpha, options.paletteSize));
    Diagnostics& out = services.diagnostics ? *services.diagnostics : SilentDiagnostics();
    out.Out(
        "alpha: %lld transparent, %lld partly transparent, %lld opaque pixels; entries %d, "
        "%d, %d\n",
        static_cast<long long>(transparent), static_cast<long long>(partial),
        static_cast<long long>(opaque), budget.transparent, budget.partial, budget.opaque);
    if (budget.transparent == 1) palette.entries.push_back({0, 0, 0, 0});
    for (size_t i = 0; i < n; ++i) {
      if (alpha[i] == 0) indices[i] = 0;
    }
    // Read before the engine, which may smooth the planes.
    const auto isPartial = [](uint8_t a) { return a != 0 && a != 255; };
    // The partly transparent pixels are diffused as the engine's final mapping diffuses.
    const bool diffused =
        options.adaptiveDiffusion == 1 || params.finalMapMode == 1 || params.finalMapMode == 2;
    ReducePremultiplied(source, alpha, isPartial, budget.partial,
                        diffused ? std::min(params.diffusionStrength, 1.0) : 0.0, indices, palette);
    if (budget.opaque < kMinPaletteSize) {
      // One entry for the opaque pixels: their mean colour.
      const auto isOpaque = [](uint8_t a) { return a == 255; };
      ReducePremultiplied(source, alpha, isOpaque, budget.opaque, 0.0, indices, palette);
      if (budget.partial == 0 && partial > 0) MapToNearest(source, alpha, palette, indices);
      return ReduceResult::Ok;
    }

    return ReduceOpaquePixels(source, alpha, params, options, budget.opaque, indices, palette,
                              services);
  } catch (const std::bad_alloc&) {
    return ReduceResult::OutOfMemory;
  }
}

}  // namespace genshoku
