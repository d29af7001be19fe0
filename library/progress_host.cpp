#include "library/progress_host.h"

#include <algorithm>

namespace genshoku::library {

namespace {

// Where each phase starts, in parts of the whole reduction: the shares of a 12-megapixel
// photo's reduction through the library, two threads, mean of three runs (the copy of the
// pixels and colour space 5 %, edge map 4 %, first split 6 %, splitting 33 %, k-means 24 %,
// final mapping 28 %). The phases between are short.
struct PhaseShare {
  EnginePhase phase;
  double start;
};

constexpr PhaseShare kPhaseStarts[] = {
    {EnginePhase::ColourSpace, 0.00},     {EnginePhase::EdgeMap, 0.05},
    {EnginePhase::FirstSplit, 0.09},      {EnginePhase::Splitting, 0.15},
    {EnginePhase::PaletteAssembly, 0.48}, {EnginePhase::KMeans, 0.48},
    {EnginePhase::NearestEntries, 0.72},  {EnginePhase::PaletteToRgb, 0.72},
    {EnginePhase::FinalMapping, 0.72},
};

// The refinement's number of passes is not known ahead; pass p is shown at p / (p + this)
// of the k-means share, which reaches half of it at this pass and never passes its end.
constexpr double kHalfwayPass = 16.0;

}  // namespace

double ProgressHost::PhaseStart(EnginePhase phase) {
  for (const PhaseShare& share : kPhaseStarts) {
    if (share.phase == phase) return share.start;
  }
  return 0.0;
}

void ProgressHost::PhaseStarted(EnginePhase phase) { Report(PhaseStart(phase)); }

void ProgressHost::ShowKmeansProgress(int pass) {
  const double start = PhaseStart(EnginePhase::KMeans);
  const double end = PhaseStart(EnginePhase::NearestEntries);
  Report(start + (end - start) * pass / (pass + kHalfwayPass));
}

bool ProgressHost::Report(double fraction) {
  if (stopped_) return false;
  fraction_ = std::clamp(std::max(fraction, fraction_), 0.0, 1.0);
  if (callback_ != nullptr && callback_(fraction_, userData_) != 0) stopped_ = true;
  return !stopped_;
}

}  // namespace genshoku::library
