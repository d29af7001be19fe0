#include "tests/engine/reference/kmeans.h"

#include <array>
#include <cfloat>
#include <vector>

#include "tests/engine/reference/integer_parts.h"

namespace genshoku::reference {

namespace {

// Upper end (exclusive) of the random values of one component: the component's weight
// times 256. A weight below 1/256 would make it 0; such a component is drawn as 0.
int RandomRange(double weight) {
  const int32_t range = TruncateToInt32(weight * 256.0);
  return range >= 1 ? range : 1;
}

bool SameIntegerParts(double a, double b) { return TruncateToInt32(a) == TruncateToInt32(b); }

}  // namespace

int NearestEntry(const WorkingPalette& palette, double y, double u, double v) {
  double bestDistance = DBL_MAX;
  int best = 0;
  for (int i = 0; i < kPaletteSize; ++i) {
    const double dY = y - palette.Y[i];
    const double dU = u - palette.U[i];
    const double dV = v - palette.V[i];
    const double distance = dY * dY + dU * dU + dV * dV;
    if (distance < bestDistance) {
      bestDistance = distance;
      best = i;
    }
  }
  return best;
}

int CountDistinctColours(int64_t pixelCount, const int16_t* pixelLabel, const uint8_t* srcR,
                         const uint8_t* srcG, const uint8_t* srcB, int limit) {
  std::vector<bool> seen(size_t{1} << 24, false);
  int distinct = 0;
  for (int64_t i = 0; i < pixelCount && distinct < limit; ++i) {
    if (pixelLabel[i] == LABEL_EDGE) continue;
    const size_t colour = (size_t{srcR[i]} << 16) | (size_t{srcG[i]} << 8) | srcB[i];
    if (!seen[colour]) {
      seen[colour] = true;
      ++distinct;
    }
  }
  return distinct;
}

void RefinePaletteKMeans(int64_t pixelCount, const double* planeY, const double* planeU,
                         const double* planeV, const int16_t* pixelLabel, const uint8_t* srcR,
                         const uint8_t* srcG, const uint8_t* srcB, const ReductionParams& params,
                         WorkingPalette& palette, uint8_t* indexPlane, EngineRun& run) {
  Diagnostics& diagnostics = run.diagnostics();
  // With fewer distinct colours than entries some entries can never hold a pixel and are
  // redrawn in every pass, so the passes would never settle on their own.
  const bool fewerColoursThanEntries =
      CountDistinctColours(pixelCount, pixelLabel, srcR, srcG, srcB, kPaletteSize) < kPaletteSize;
  const int rangeY = RandomRange(params.weightY);
  const int rangeU = RandomRange(params.weightU);
  const int rangeV = RandomRange(params.weightV);

  for (int pass = 1;; ++pass) {
    run.Pump();
    run.ShowKmeansProgress(pass);
    diagnostics.Err("%d iter\n", pass);

    for (int64_t i = 0; i < pixelCount; ++i) {
      if (pixelLabel[i] == LABEL_EDGE) continue;
      run.Pump();
      indexPlane[i] = static_cast<uint8_t>(NearestEntry(palette, planeY[i], planeU[i], planeV[i]));
    }

    std::array<double, kPaletteSize> sumY{}, sumU{}, sumV{};
    std::array<int64_t, kPaletteSize> members{};
    for (int64_t i = 0; i < pixelCount; ++i) {
      if (pixelLabel[i] == LABEL_EDGE) continue;
      const int entry = indexPlane[i];
      sumY[entry] += planeY[i];
      sumU[entry] += planeU[i];
      sumV[entry] += planeV[i];
      ++members[entry];
    }
    WorkingPalette candidate;
    for (int i = 0; i < kPaletteSize; ++i) {
      run.Pump();
      if (members[i] >= 1) {
        const double n = static_cast<double>(members[i]);
        candidate.Y[i] = sumY[i] / n;
        candidate.U[i] = sumU[i] / n;
        candidate.V[i] = sumV[i] / n;
      } else {
        EngineRandom& random = run.random();
        candidate.Y[i] = static_cast<double>(random.Draw() % rangeY);
        candidate.U[i] = static_cast<double>(random.Draw() % rangeU);
        candidate.V[i] = static_cast<double>(random.Draw() % rangeV);
        diagnostics.Out("RAND de dasita palette = %f %f %f\n", candidate.Y[i], candidate.U[i],
                        candidate.V[i]);
      }
    }

    bool converged = true;
    bool onlyEmptyEntriesMoved = true;
    for (int i = 0; i < kPaletteSize; ++i) {
      const bool moved = !SameIntegerParts(candidate.Y[i], palette.Y[i]) ||
                         !SameIntegerParts(candidate.U[i], palette.U[i]) ||
                         !SameIntegerParts(candidate.V[i], palette.V[i]);
      if (!moved) continue;
      converged = false;
      if (members[i] != 0) onlyEmptyEntriesMoved = false;
    }
    if (converged || (fewerColoursThanEntries && onlyEmptyEntriesMoved) ||
        pass >= KMEANS_MAX_PASSES) {
      // The palette keeps the values the last assignment used; the candidate is dropped.
      diagnostics.Err("%d iter\n", pass);
      return;
    }
    palette = candidate;
  }
}

void AssignNearestEntries(int64_t pixelCount, const double* planeY, const double* planeU,
                          const double* planeV, const WorkingPalette& palette,
                          uint8_t* indexPlane) {
  for (int64_t i = 0; i < pixelCount; ++i) {
    indexPlane[i] = static_cast<uint8_t>(NearestEntry(palette, planeY[i], planeU[i], planeV[i]));
  }
}

}  // namespace genshoku::reference
