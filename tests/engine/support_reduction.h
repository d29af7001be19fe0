#pragma once
// One whole reduction of a test picture, by the engine or by the literal engine, with its
// outputs and captured lines gathered for comparison.

#include <cstdint>
#include <string>
#include <vector>

#include "engine/reduce_colors.h"
#include "tests/engine/support_pictures.h"

namespace genshoku::test_support {

using ReduceFunction = ReduceResult (*)(int, int, uint8_t*, uint8_t*, uint8_t*, uint8_t*, uint8_t*,
                                        uint8_t*, uint8_t*, const ReductionParams&,
                                        const EngineServices&);

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
                 ReduceFunction reduce = &ReduceColors);

}  // namespace genshoku::test_support
