#pragma once
// The colour reduction engine: from three byte planes to a palette of the asked number of
// colours (2..256, 256 by default) and one palette index per pixel.

#include <array>
#include <cstdint>

#include "common/diagnostics.h"
#include "engine/engine_options.h"
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

// The picture the engine reduces: three byte planes, row-major, top row first, no gaps.
// The planes are changed only when pre-smoothing or a channel floor is set.
struct EngineSource {
  int width = 0;
  int height = 0;
  uint8_t* red = nullptr;
  uint8_t* green = nullptr;
  uint8_t* blue = nullptr;
  // One byte per pixel, or null: a marked pixel takes no part in the palette, the final
  // mappings pass no error into or out of it, and its index is left unspecified (the
  // caller maps it itself). At least one pixel must be left unmarked.
  const uint8_t* excluded = nullptr;
};

// The palette a reduction made: `size` entries (the options' paletteSize, or fewer when a
// picture of few colours keeps them exactly); the arrays past them are left as they were.
struct EnginePalette {
  int size = kMaxPaletteSize;
  std::array<uint8_t, kMaxPaletteSize> red{};
  std::array<uint8_t, kMaxPaletteSize> green{};
  std::array<uint8_t, kMaxPaletteSize> blue{};
};

// Reduces `source` with the given settings and options. When the result is Ok, every one of
// the width x height bytes of `indices` holds a palette index and `palette` holds the
// palette; otherwise neither is meaningful.
ReduceResult ReduceColors(const EngineSource& source, const ReductionParams& params,
                          const EngineOptions& options, uint8_t* indices, EnginePalette& palette,
                          const EngineServices& services = {});

}  // namespace genshoku
