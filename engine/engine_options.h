#pragma once
// Options of the engine beyond its 25 settings. The window never sets them: their defaults
// give exactly the window's reduction, so a caller that leaves them alone gets the window's
// palette, indices and lines. The command line's presets choose them.

namespace genshoku {

inline constexpr int kMinPaletteSize = 2;
inline constexpr int kMaxPaletteSize = 256;

struct EngineOptions {
  // Entries of the palette the reduction makes, kMinPaletteSize..kMaxPaletteSize.
  int paletteSize = kMaxPaletteSize;
  // A picture with no more distinct colours than paletteSize keeps them exactly: one entry
  // per colour, no clustering and no diffusion, and a palette of just those entries.
  bool exactFewColours = false;

  // Testing seam, never set by a program: widens the bounds within which the k-means
  // refinement knows the means of entries whose pixels changed, and moves their centres off
  // the true means, so that more of its decisions fall back on adding the pixels again.
  // 1 (the default) leaves the bounds as they are; any value of at least 1 must give the
  // same results, which is what the tests that set it check.
  double kmeansBoundsWidening = 1.0;
};

// True when every option is in its range; otherwise false with a message naming the first
// one outside it (when `message` is given).
bool ValidateEngineOptions(const EngineOptions& options, const char** message);

}  // namespace genshoku
