#pragma once
// The colour reduction engine: from three byte planes to a palette of exactly 256 colours
// and one palette index per pixel.

#include <cstdint>

#include "common/diagnostics.h"
#include "engine/engine_run.h"
#include "engine/reduction_params.h"

namespace genshoku {

// Pictures with more pixels than this are not reduced.
inline constexpr int64_t kMaxReductionPixels = 100'000'000;

enum class ReduceResult {
  Ok,
  Stopped,             // the host asked the engine to stop
  JacobiNotConverged,  // a covariance matrix could not be diagonalised
  OutOfMemory,         // the working buffers could not be had
  InvalidArguments,    // empty or oversized picture, or a setting out of range
};

const char* ReduceResultText(ReduceResult result);

struct EngineServices {
  EngineHost* host = nullptr;                         // null: never stops, shows nothing
  Diagnostics* diagnostics = &StandardDiagnostics();  // where the engine's lines go
  EngineRandom* random = nullptr;                     // null: a fresh generator (state 1)
  // Worker threads the engine may use; 0: as many as the machine has, at most 2. The
  // results never depend on it.
  int threads = 0;
};

// Reduces the picture of width x height pixels given as three planes (row-major, top row
// first, no gaps). Writes all 256 entries of the three palette arrays and all
// width x height bytes of indexPlane when the result is Ok. The source planes are changed
// only when pre-smoothing or a channel floor is set.
ReduceResult ReduceColors(int width, int height, uint8_t* srcR, uint8_t* srcG, uint8_t* srcB,
                          uint8_t* indexPlane, uint8_t* paletteRed, uint8_t* paletteGreen,
                          uint8_t* paletteBlue, const ReductionParams& params,
                          const EngineServices& services = {});

}  // namespace genshoku
