#pragma once
// How often the engine's long passes reach a progress point (EngineRun::Pump), where the
// host may ask it to stop: once every this many items (pixels or colours) of a pass, on the
// engine's own thread. Often enough that a stop is obeyed within a few milliseconds, rare
// enough that the call costs nothing measurable.

#include <cstdint>

namespace genshoku {

inline constexpr int64_t kItemsPerProgressPoint = int64_t{1} << 16;

// True for the items of a pass (counted from 0) at which a progress point falls.
inline bool AtProgressPoint(int64_t item) { return (item & (kItemsPerProgressPoint - 1)) == 0; }

}  // namespace genshoku
