#include "engine/reduce_colors.h"

#include <cmath>
#include <memory>
#include <new>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <vector>

#include "engine/adaptive_diffusion.h"
#include "engine/colour_space.h"
#include "engine/colour_table.h"
#include "engine/divisive_splitting.h"
#include "engine/edge_map.h"
#include "engine/engine_types.h"
#include "engine/error_diffusion.h"
#include "engine/exact_palette.h"
#include "engine/kmeans.h"
#include "engine/kmeans/pixel_colours.h"
#include "engine/nearest_entries.h"
#include "engine/palette_assembly.h"
#include "engine/palette_refinement.h"
#include "engine/palette_to_rgb.h"
#include "engine/parallel.h"

namespace genshoku {

const char* EnginePhaseName(EnginePhase phase) {
  switch (phase) {
    case EnginePhase::ColourSpace: return "colour space";
    case EnginePhase::EdgeMap: return "edge map";
    case EnginePhase::FirstSplit: return "first split";
    case EnginePhase::Splitting: return "splitting";
    case EnginePhase::PaletteAssembly: return "palette assembly";
    case EnginePhase::KMeans: return "k-means";
    case EnginePhase::NearestEntries: return "nearest entries";
    case EnginePhase::PaletteToRgb: return "palette to RGB";
    case EnginePhase::FinalMapping: return "final mapping";
  }
  return "?";
}

const char* ReduceResultText(ReduceResult result) {
  switch (result) {
    case ReduceResult::Ok: return "reduced";
    case ReduceResult::Stopped: return "stopped";
    case ReduceResult::JacobiNotConverged: return "the colour statistics did not converge";
    case ReduceResult::OutOfMemory: return "not enough memory for the reduction";
    case ReduceResult::InvalidArguments: return "the picture or the settings cannot be reduced";
  }
  return "?";
}

namespace {

// The clustering: the colours split into as many clusters as the palette has entries, the
// palette of the clusters and its k-means refinement, or without the refinement each
// colour's cluster as the entry its searches start from. Every pixel carries its colour
// number again on return, and the clusters' memory is let go.
void ClusterColours(ColourTable& colours, std::vector<double>& edgeStrength, uint8_t* srcR,
                    uint8_t* srcG, uint8_t* srcB, const ReductionParams& params,
                    const EngineOptions& options, EngineRun& run, int threads,
                    WorkingPalette& palette, std::vector<uint8_t>& entryOfColour) {
  const int entries = options.paletteSize;
  run.PhaseStarted(EnginePhase::FirstSplit);
  ClusterTable clusterTable;
  auto clusters = std::make_unique<Clusters>();
  SplitIntoClusters(colours, edgeStrength.empty() ? nullptr : edgeStrength.data(), params, threads,
                    entries, clusterTable, *clusters, run);
  std::vector<double>().swap(edgeStrength);

  run.PhaseStarted(EnginePhase::PaletteAssembly);
  AssemblePalette(clusterTable, *clusters, entries, palette, run);

  if (params.kmeansOn == 1) {
    run.PhaseStarted(EnginePhase::KMeans);
    RenumberColoursByCluster(colours, *clusters);
    RefinePaletteKMeans(colours, srcR, srcG, srcB, *clusters, params, palette, entryOfColour, run,
                        threads, entries, options.kmeansBoundsWidening);
  } else {
    RestorePixelColoursFromClusters(colours, *clusters, srcR, srcG, srcB, run, threads);
    // Without the refinement every colour starts its searches from its cluster.
    entryOfColour.assign(static_cast<size_t>(colours.colourCount), 0);
    for (int label = 0; label < entries; ++label) {
      for (const uint32_t c : (*clusters)[label].colours) {
        entryOfColour[c] = static_cast<uint8_t>(label);
      }
    }
  }
}

// The final mapping: every pixel to an entry of the RGB palette, with the diffusion the
// settings choose (none leaves the nearest entries already in `indexPlane`).
void MapPixelsToEntries(const EngineSource& source, const ReductionParams& params,
                        const EngineOptions& options, ColourTable& colours,
                        const PaletteRecord* records, const uint8_t* paletteRed,
                        const uint8_t* paletteGreen, const uint8_t* paletteBlue,
                        uint8_t* indexPlane, EngineRun& run, int threads) {
  const int width = source.width;
  const int height = source.height;
  const uint8_t* srcR = source.red;
  const uint8_t* srcG = source.green;
  const uint8_t* srcB = source.blue;
  const uint8_t* excluded = source.excluded;
  const int entries = options.paletteSize;
  if (options.adaptiveDiffusion == 1) {
    AdaptiveDiffusionSettings settings;
    const bool large = options.diffusionLargeFrom > 0.0 &&
                       static_cast<double>(width) * height >= options.diffusionLargeFrom;
    settings.strength = large ? options.diffusionLargeStrength : params.diffusionStrength;
    settings.contrastScale = options.diffusionContrastScale;
    settings.serpentine = options.serpentine == 1;
    settings.quadraticFalloff = options.diffusionFalloff == 2;
    settings.errorLimit = options.diffusionErrorLimit;
    settings.chromaWeight = options.chromaWeight;
    settings.spacingScale = options.diffusionSpacingScale;
    settings.fineStep = options.diffusionFineStep;
    settings.coarseError = options.diffusionCoarseError;
    settings.coarseContrast = options.diffusionCoarseContrast;
    settings.fineError = options.diffusionFineError;
    settings.visibleMix = !large                        ? options.diffusionVisibleMix
                          : options.chromaWeight == 1.0 ? options.diffusionLargeVisibleMix
                                                        : 0.0;
    settings.excluded = excluded;
    DiffuseAdaptive(width, height, srcR, srcG, srcB, entries, paletteRed, paletteGreen, paletteBlue,
                    settings, indexPlane, &run);
  } else if (params.finalMapMode == 1) {
    DiffuseColoursRgb(width, height, params.diffusionKernel, params.diffusionStrength, colours,
                      srcR, srcG, srcB, entries, paletteRed, paletteGreen, paletteBlue, excluded,
                      indexPlane, run, threads);
  } else if (params.finalMapMode == 2) {
    DiffuseColoursWeighted(width, height, params.diffusionKernel, params.diffusionStrength, colours,
                           entries, records, excluded, indexPlane, run, threads);
  }
}

// The phases in their fixed order. The working colours live in a table of the picture's
// distinct colours; each buffer is released when the last phase that reads it ends. Every
// phase works on the first `entries` entries of the palette.
ReduceResult RunPhases(const EngineSource& source, uint8_t* indexPlane,
                       EnginePalette& enginePalette, const ReductionParams& params,
                       const EngineOptions& options, EngineRun& run, int threads) {
  const int width = source.width;
  const int height = source.height;
  uint8_t* srcR = source.red;
  uint8_t* srcG = source.green;
  uint8_t* srcB = source.blue;
  const uint8_t* excluded = source.excluded;
  const int entries = options.paletteSize;
  Diagnostics& out = run.diagnostics();
  uint8_t* paletteRed = enginePalette.red.data();
  uint8_t* paletteGreen = enginePalette.green.data();
  uint8_t* paletteBlue = enginePalette.blue.data();

  run.PhaseStarted(EnginePhase::ColourSpace);
  PrepareSourcePlanes(width, height, srcR, srcG, srcB, params);
  if (options.exactFewColours && MapFewColoursExactly(source, entries, indexPlane, enginePalette)) {
    return ReduceResult::Ok;
  }
  ColourTable colours;
  BuildColourTable(width, height, srcR, srcG, srcB, params, threads, colours, run);

  run.PhaseStarted(EnginePhase::EdgeMap);
  std::vector<double> edgeStrength;
  if (params.edgeOperator == 4) {
    edgeStrength.assign(static_cast<size_t>(colours.pixelCount), 0.0);
  }
  const int edgeCount =
      MarkEdgePixels(width, height, srcR, srcG, srcB, params, threads, colours,
                     edgeStrength.empty() ? nullptr : edgeStrength.data(), run, excluded);
  run.Pump();
  out.Out("EDGE gasosuu=%d\n", edgeCount);

  WorkingPalette palette;
  std::vector<uint8_t> entryOfColour;
  ClusterColours(colours, edgeStrength, srcR, srcG, srcB, params, options, run, threads, palette,
                 entryOfColour);
  std::vector<uint32_t>().swap(colours.takingPart);

#if defined(__GLIBC__)
  // What the helper threads of the clustering left in their own memory pools goes back to
  // the system before the last buffers are made.
  if (threads >= 2) malloc_trim(0);
#endif
  // The plain nearest entries matter only when no final mapping overwrites them.
  run.PhaseStarted(EnginePhase::NearestEntries);
  const bool adaptive = options.adaptiveDiffusion == 1;
  const bool finalMapping = adaptive || params.finalMapMode == 1 || params.finalMapMode == 2;
  if (!finalMapping) {
    const std::vector<uint8_t> nearest =
        NearestEntriesOfColours(colours, palette, entries, entryOfColour, run, threads);
    AssignNearestEntries(colours, nearest, indexPlane);
  }
  std::vector<uint8_t>().swap(entryOfColour);

  run.PhaseStarted(EnginePhase::PaletteToRgb);
  PaletteRecord records[kPaletteSize];
  PaletteToRgb(palette, entries, params, records, paletteRed, paletteGreen, paletteBlue);

  if (options.refineIterations > 0) {
    const WeightedColours weighted = CollectWeightedColours(
        width, height, srcR, srcG, srcB, colours, options.refineContrastScale, &run, excluded);
    RefinePaletteRgb(weighted, options.refineIterations, entries, paletteRed, paletteGreen,
                     paletteBlue, &run, options.chromaWeight, threads);
  }

  run.PhaseStarted(EnginePhase::FinalMapping);
  MapPixelsToEntries(source, params, options, colours, records, paletteRed, paletteGreen,
                     paletteBlue, indexPlane, run, threads);
  return ReduceResult::Ok;
}

bool SomePixelTakesPart(const EngineSource& source) {
  if (source.excluded == nullptr) return true;
  const int64_t n = int64_t{source.width} * source.height;
  for (int64_t i = 0; i < n; ++i) {
    if (source.excluded[i] == 0) return true;
  }
  return false;
}

}  // namespace

ReduceResult ReduceColors(const EngineSource& source, const ReductionParams& params,
                          const EngineOptions& options, uint8_t* indices, EnginePalette& palette,
                          const EngineServices& services) {
  const int width = source.width;
  const int height = source.height;
  if (width <= 0 || height <= 0 || static_cast<int64_t>(width) * height > kMaxReductionPixels ||
      !source.red || !source.green || !source.blue || !indices ||
      !ValidateReductionParams(params, nullptr) || !ValidateEngineOptions(options, nullptr) ||
      !SomePixelTakesPart(source)) {
    return ReduceResult::InvalidArguments;
  }
  EngineHost idleHost;
  EngineRandom freshRandom;
  EngineRun run(services.host ? *services.host : idleHost,
                services.diagnostics ? *services.diagnostics : SilentDiagnostics(),
                services.random ? *services.random : freshRandom);
  try {
    palette.size = options.paletteSize;
    return RunPhases(source, indices, palette, params, options, run,
                     EngineThreadCount(services.threads));
  } catch (const EngineStopped&) {
    return ReduceResult::Stopped;
  } catch (const EigenNotConverged&) {
    return ReduceResult::JacobiNotConverged;
  } catch (const std::bad_alloc&) {
    return ReduceResult::OutOfMemory;
  }
}

}  // namespace genshoku
