#pragma once
// One whole reduction of a test picture, by the engine or by the literal engine, with its
// outputs and captured lines gathered for comparison.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/reduce_colors.h"
#include "tests/engine/support_pictures.h"

namespace genshoku::test_support {

using ReduceFunction =
    std::function<ReduceResult(int, int, uint8_t*, uint8_t*, uint8_t*, uint8_t*, uint8_t*, uint8_t*,
                               uint8_t*, const ReductionParams&, const EngineServices&)>;

// The engine behind the literal engine's signature, so that both can be run alike.
ReduceResult EngineReduceColors(int width, int height, uint8_t* srcR, uint8_t* srcG, uint8_t* srcB,
                                uint8_t* indexPlane, uint8_t* paletteRed, uint8_t* paletteGreen,
                                uint8_t* paletteBlue, const ReductionParams& params,
                                const EngineServices& services);

// The same with engine options other than the defaults.
ReduceFunction EngineWithOptions(const EngineOptions& options);

struct Reduction {
  ReduceResult result = ReduceResult::InvalidArguments;
  std::vector<uint8_t> indices, red, green, blue;
  std::string out, err;

  // FNV-1a of the palette, the indices and both streams' lines.
  uint64_t Hash() const;
};

// Gammas 1, no rotation, weights 1: the colour conversion of the mode alone.
ReductionParams PlainColourSettings(int colourMode);

// Reduces `picture`, whose planes the engine may change (pre-smoothing, floor). The
// services' diagnostics are captured here; host, random and threads are the caller's.
Reduction Reduce(Picture& picture, const ReductionParams& params = {}, EngineServices services = {},
                 ReduceFunction reduce = &EngineReduceColors);

}  // namespace genshoku::test_support
