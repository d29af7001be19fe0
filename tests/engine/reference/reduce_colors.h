#pragma once
// The literal colour reduction engine, kept as the oracle of the engine's tests: every phase
// is the straightforward whole-image computation, so its results are easy to trust and slow
// to get. The engine must give the same palette, indices and diagnostic lines.

#include <cstdint>

#include "engine/reduce_colors.h"
#include "tests/engine/reference/engine_run.h"

namespace genshoku::reference {

using genshoku::EngineServices;
using genshoku::kMaxReductionPixels;
using genshoku::ReduceResult;

ReduceResult ReduceColors(int width, int height, uint8_t* srcR, uint8_t* srcG, uint8_t* srcB,
                          uint8_t* indexPlane, uint8_t* paletteRed, uint8_t* paletteGreen,
                          uint8_t* paletteBlue, const ReductionParams& params,
                          const EngineServices& services = {});

}  // namespace genshoku::reference
