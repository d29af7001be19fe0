#pragma once
// Reduction of a picture with transparency, keeping the engine three-dimensional.
//
// The pixels fall into three classes by their alpha, and each class is reduced where its
// colours matter:
// - fully transparent pixels (alpha 0) show nothing: they all share one entry with alpha 0;
// - fully opaque pixels (alpha 255) are reduced by the engine to the entries left over,
//   with every other pixel excluded from the palette design and from the diffusion (no
//   error flows into or out of them), so the opaque part gets exactly the treatment of an
//   opaque picture;
// - partly transparent pixels get a small palette of their own designed in premultiplied
//   RGBA (engine/premultiplied_palette.h), sized by their share of the picture, and each
//   takes its nearest entry there: an entry keeps an alpha close to its pixels', and no
//   opaque pixel ever takes a transparent entry nor a transparent one an opaque entry.
// A picture with no more distinct colours (all transparent pixels counted as one) than the
// palette holds keeps them exactly when the options ask for it. When only one entry is left
// for the opaque pixels, it is their mean colour; when only one visible entry is left at
// all, it goes to them and the partly transparent pixels take the nearest entry.

#include <cstdint>
#include <vector>

#include "common/pictures.h"
#include "engine/reduce_colors.h"

namespace genshoku {

// Entries of the palette: transparent first, then partly transparent, then opaque.
struct AlphaPalette {
  std::vector<Rgba> entries;
};

// Reduces `source` (whose planes the engine may change) with per-pixel `alpha` (one byte
// per pixel) to options.paletteSize entries at most; on Ok every index of `indices` names
// an entry of `palette`. A picture without a pixel below alpha 255 gets exactly the
// engine's reduction.
ReduceResult ReduceColorsWithAlpha(const EngineSource& source, const uint8_t* alpha,
                                   const ReductionParams& params, const EngineOptions& options,
                                   uint8_t* indices, AlphaPalette& palette,
                                   const EngineServices& services = {});

// How the palette is shared between the classes (for tests and the diagnostics).
struct AlphaBudget {
  int transparent = 0;  // 0 or 1
  int partial = 0;      // entries of the premultiplied palette
  int opaque = 0;       // entries of the opaque pixels: the engine's when 2 or more
};

// The budget for `entries` entries given the pixel counts of the classes, the partly
// transparent pixels weighed by their alpha (one at alpha 255: a faint pixel shows less of
// its error), and the number of distinct partly transparent colours.
AlphaBudget ShareEntries(int entries, int64_t transparentPixels, double partialPixels,
                         int64_t opaquePixels, int64_t partialColours);

}  // namespace genshoku
