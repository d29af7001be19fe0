#pragma once
// The zlib stream inside the PNG writer's IDAT chunk: header with a window fitted to the
// image, the rows fed in units of 256 as dynamic blocks with a stored fallback, and the
// Adler-32 trailer.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/diagnostics.h"

namespace genshoku::png {

inline constexpr int kRowsPerUnit = 256;
inline constexpr size_t kStoredPieceSize = 32768;
// From this many filtered bytes on, the units' tokens are made ahead on a second thread.
inline constexpr int64_t kTokenizeAheadBytes = 1'000'000;

struct PngStreamOptions {
  int lineReport = 1;  // print "nLinePerUnit" once and "Y" once per unit
  int storeOnly = 0;   // write every unit as stored blocks without trying compression
  // 0: a second thread makes the units' tokens ahead for large pictures on machines with
  // two cores; 1: one thread always; 2: the second thread whenever there are several units.
  // The stream and the lines are the same either way.
  int threads = 0;
};

// Compresses `height` rows of `bytesPerRow` bytes, each preceded by filter byte 0, into
// a complete zlib stream. The block statistics go to `diagnostics`.
std::vector<uint8_t> BuildPngZlibStream(const uint8_t* rows, int64_t height, int64_t bytesPerRow,
                                        const PngStreamOptions& options, Diagnostics& diagnostics);

}  // namespace genshoku::png
