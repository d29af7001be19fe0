#include "tests/engine/reference/reduce_colors.h"

#include <new>
#include <vector>

#include "tests/engine/reference/colour_space.h"
#include "tests/engine/reference/divisive_splitting.h"
#include "tests/engine/reference/edge_map.h"
#include "tests/engine/reference/engine_types.h"
#include "tests/engine/reference/error_diffusion.h"
#include "tests/engine/reference/kmeans.h"
#include "tests/engine/reference/palette_assembly.h"
#include "tests/engine/reference/palette_to_rgb.h"
#include "tests/engine/reference/split_threshold.h"

namespace genshoku::reference {

namespace {

// The phases in their fixed order, on buffers that live for the whole reduction.
ReduceResult RunPhases(int width, int height, uint8_t* srcR, uint8_t* srcG, uint8_t* srcB,
                       uint8_t* indexPlane, uint8_t* paletteRed, uint8_t* paletteGreen,
                       uint8_t* paletteBlue, const ReductionParams& params, EngineRun& run) {
  const int64_t n = static_cast<int64_t>(width) * height;
  Diagnostics& out = run.diagnostics();

  run.PhaseStarted(EnginePhase::ColourSpace);
  std::vector<double> planeY(n), planeU(n), planeV(n);
  ConvertToWorkingSpace(width, height, srcR, srcG, srcB, params, planeY.data(), planeU.data(),
                        planeV.data());

  run.PhaseStarted(EnginePhase::EdgeMap);
  std::vector<int16_t> pixelLabel(n, 0);
  std::vector<double> edgeStrength;
  if (params.edgeOperator == 4) edgeStrength.assign(n, 0.0);
  const int edgeCount =
      BuildEdgeMap(width, height, srcR, srcG, srcB, params.edgeOperator, params.edgeThreshold,
                   pixelLabel.data(), edgeStrength.empty() ? nullptr : edgeStrength.data());
  run.Pump();
  out.Out("EDGE gasosuu=%d\n", edgeCount);

  WorkingPalette palette;
  {
    run.PhaseStarted(EnginePhase::FirstSplit);
    SplitBuffers splitBuffers(n);
    const FirstSplitResult firstSplit =
        FirstSplit(n, planeY.data(), planeU.data(), planeV.data(), pixelLabel.data(), edgeCount,
                   params.thresholdMode, splitBuffers, run);

    run.PhaseStarted(EnginePhase::Splitting);
    ClusterTable clusterTable;
    SplittingState splitting;
    splitting.pixelCount = n;
    splitting.planeY = planeY.data();
    splitting.planeU = planeU.data();
    splitting.planeV = planeV.data();
    splitting.edgeStrength = edgeStrength.empty() ? nullptr : edgeStrength.data();
    splitting.pixelLabel = pixelLabel.data();
    splitting.params = &params;
    splitting.buffers = &splitBuffers;
    splitting.table = &clusterTable;
    splitting.run = &run;
    splitting.lastAxisIndex = firstSplit.axisIndex;
    SplitClusters(splitting, firstSplit.threshold);

    run.PhaseStarted(EnginePhase::PaletteAssembly);
    AssemblePalette(n, pixelLabel.data(), planeY.data(), planeU.data(), planeV.data(), clusterTable,
                    palette, run);
  }

  if (params.kmeansOn == 1) {
    run.PhaseStarted(EnginePhase::KMeans);
    RefinePaletteKMeans(n, planeY.data(), planeU.data(), planeV.data(), pixelLabel.data(), srcR,
                        srcG, srcB, params, palette, indexPlane, run);
  }
  run.PhaseStarted(EnginePhase::NearestEntries);
  AssignNearestEntries(n, planeY.data(), planeU.data(), planeV.data(), palette, indexPlane);

  run.PhaseStarted(EnginePhase::PaletteToRgb);
  PaletteRecord records[kPaletteSize];
  PaletteToRgb(palette, params, records, paletteRed, paletteGreen, paletteBlue);

  run.PhaseStarted(EnginePhase::FinalMapping);
  if (params.finalMapMode == 1) {
    DiffuseToIndicesRgb(width, height, params.diffusionKernel, params.diffusionStrength, srcR, srcG,
                        srcB, kPaletteSize, paletteRed, paletteGreen, paletteBlue, indexPlane);
  } else if (params.finalMapMode == 2) {
    DiffuseToIndicesWeighted(width, height, params.diffusionKernel, params.diffusionStrength,
                             planeV.data(), planeY.data(), planeU.data(), kPaletteSize, records,
                             indexPlane);
  }
  return ReduceResult::Ok;
}

}  // namespace

ReduceResult ReduceColors(int width, int height, uint8_t* srcR, uint8_t* srcG, uint8_t* srcB,
                          uint8_t* indexPlane, uint8_t* paletteRed, uint8_t* paletteGreen,
                          uint8_t* paletteBlue, const ReductionParams& params,
                          const EngineServices& services) {
  if (width <= 0 || height <= 0 || static_cast<int64_t>(width) * height > kMaxReductionPixels ||
      !srcR || !srcG || !srcB || !indexPlane || !paletteRed || !paletteGreen || !paletteBlue ||
      !ValidateReductionParams(params, nullptr)) {
    return ReduceResult::InvalidArguments;
  }
  EngineHost idleHost;
  EngineRandom freshRandom;
  EngineRun run(services.host ? *services.host : idleHost,
                services.diagnostics ? *services.diagnostics : SilentDiagnostics(),
                services.random ? *services.random : freshRandom);
  try {
    return RunPhases(width, height, srcR, srcG, srcB, indexPlane, paletteRed, paletteGreen,
                     paletteBlue, params, run);
  } catch (const EngineStopped&) {
    return ReduceResult::Stopped;
  } catch (const EigenNotConverged&) {
    return ReduceResult::JacobiNotConverged;
  } catch (const std::bad_alloc&) {
    return ReduceResult::OutOfMemory;
  }
}

}  // namespace genshoku::reference
