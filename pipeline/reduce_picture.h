#pragma once
// The middle step of the pipeline: a picture's colour planes are reduced by the engine with
// given settings into an indexed picture.
//
// The step is split so that a caller can run the engine on a thread of its own: the job
// holds everything the engine reads, and ExecuteReduction touches nothing else.

#include <cstdint>
#include <vector>

#include "common/pictures.h"
#include "engine/engine_options.h"
#include "engine/reduce_colors.h"
#include "engine/reduction_params.h"

namespace genshoku {

// Everything that decides a reduction's result: the engine's 25 settings and its options.
// The defaults are the window's reduction.
struct ReductionSettings {
  ReductionParams params;
  EngineOptions options;
};

// Three byte planes, red, green and blue, row-major, top row first, no gaps, and the alpha
// plane of a picture with transparency (empty for an opaque one).
struct ColourPlanes {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> red, green, blue;
  std::vector<uint8_t> alpha;
};

// The planes of a picture, with its alpha when some pixel is not opaque. May throw
// std::bad_alloc.
ColourPlanes PlanesFromPicture(const RgbaPicture& picture);

struct ReductionJob {
  ColourPlanes planes;
  ReductionSettings settings;
};

struct ReductionOutput {
  ReduceResult result = ReduceResult::InvalidArguments;
  // When the result is Ok: the indices and the palette of settings.options.paletteSize
  // entries (fewer when a picture of few colours keeps them exactly); opaque entries unless
  // the planes have alpha and the options keep it (keepAlpha).
  IndexedPicture picture;
};

// Runs the engine on the job's planes (which pre-smoothing or a channel floor may change);
// with alpha planes and keepAlpha, the reduction that keeps the transparency.
ReductionOutput ExecuteReduction(ReductionJob& job, const EngineServices& services);

}  // namespace genshoku
