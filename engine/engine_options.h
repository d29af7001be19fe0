#pragma once
// Options of the engine beyond its 25 settings. The window never sets them: their defaults
// give exactly the window's reduction, so a caller that leaves them alone gets the window's
// palette, indices and lines. The command line's presets choose them.
//
// `kEngineOptionTable` lists the options that are numbers, once each, with name, range,
// default and meaning, so that the command line's --set reaches them as it reaches the
// settings.

#include <array>
#include <string>
#include <string_view>

#include "engine/named_number.h"

namespace genshoku {

inline constexpr int kMinPaletteSize = 2;
inline constexpr int kMaxPaletteSize = 256;

struct EngineOptions {
  // Entries of the palette the reduction makes, kMinPaletteSize..kMaxPaletteSize.
  int paletteSize = kMaxPaletteSize;
  // A picture with no more distinct colours than paletteSize keeps them exactly: one entry
  // per colour, no clustering and no diffusion, and a palette of just those entries.
  bool exactFewColours = false;

  // 1: the final mapping is the adaptive error diffusion of the source bytes against the
  // byte palette (engine/adaptive_diffusion.h) with the four options below, in place of
  // the mapping the finalMapMode setting chooses. Its strength is the diffusionStrength
  // setting; the diffusionKernel setting is not read (it is always Floyd-Steinberg).
  int adaptiveDiffusion = 0;
  // Luminance step (0..255, the largest to any of the 8 neighbours) at which a pixel's
  // diffusion falls to half strength; 0 keeps the full strength everywhere.
  double diffusionContrastScale = 0.0;
  // How the strength falls with the contrast: 1 as scale / (scale + contrast), 2 as
  // 1 / (1 + (contrast / scale)^2).
  int diffusionFalloff = 1;
  // When above 0, the contrast at which the adaptive diffusion halves is this times the
  // distance from the entry a pixel took to the nearest other entry (in place of
  // diffusionContrastScale).
  double diffusionSpacingScale = 0.0;
  // When above 0, the adaptive diffusion's strength rises towards 1 where the palette's
  // entries lie close: by diffusionFineStep / (diffusionFineStep + the RGB distance from
  // the entry a pixel took to the nearest other entry).
  double diffusionFineStep = 0.0;
  // The adaptive diffusion's strength from how finely the palette covers a pixel's colour
  // (engine/adaptive_diffusion.h), by the visible colour difference (about CIEDE2000
  // units) between the pixel and its nearest entry. diffusionCoarseError above 0: the
  // strength rises towards 1, halfway at that difference, on smooth areas (the rise halves
  // at a local contrast of diffusionCoarseContrast; 0: on every area alike).
  // diffusionFineError above 0: the strength fades where the difference is small, halved
  // at that difference.
  double diffusionCoarseError = 0.0;
  double diffusionCoarseContrast = 0.0;
  double diffusionFineError = 0.0;
  // 1: rows are scanned alternately left to right and right to left.
  int serpentine = 0;
  // Largest error per channel, in byte steps, that a pixel takes from its neighbours;
  // 0 leaves the carried error unbounded.
  double diffusionErrorLimit = 0.0;
  // Share (0 to 0.9) of the visible colour difference (engine/visible_error.h) in the cost
  // by which the adaptive diffusion chooses a pixel's entry, the rest being the squared RGB
  // distance; 0 chooses by RGB distance alone. Needs chromaWeight 1.
  double diffusionVisibleMix = 0.0;
  // Pictures of at least diffusionLargeFrom pixels (0: none) are diffused with
  // diffusionLargeStrength and diffusionLargeVisibleMix in place of the diffusionStrength
  // setting and diffusionVisibleMix. A picture larger than the screen is seen scaled down or
  // from further away, where the eye averages the dither and colour faithful on average
  // counts more than each pixel; a small one is seen pixel by pixel. The large visible
  // share is used only with chromaWeight 1 (other weights choose in their own view).
  double diffusionLargeFrom = 0.0;
  double diffusionLargeStrength = 0.8;
  double diffusionLargeVisibleMix = 0.3;

  // Lloyd iterations of the byte palette in RGB before the final mapping
  // (engine/palette_refinement.h); 0: none.
  int refineIterations = 0;
  // Contrast scale of the refinement's visibility weights; 0 weighs every pixel alike.
  double refineContrastScale = 0.0;

  // Weight of colour differences against lightness differences (engine/chroma_weighted_rgb.h)
  // in the adaptive diffusion's choice of entries and in the RGB refinement of the palette;
  // 1: plain RGB distances.
  double chromaWeight = 1.0;

  // 1: a picture with transparency keeps it (engine/alpha_reduction.h): its palette has
  // entries with alpha. 0 reduces the colours alone, as the window does.
  int keepAlpha = 0;

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

using EngineOptionInfo = NamedNumber<EngineOptions>;

inline constexpr int kEngineOptionCount = 18;
extern const std::array<EngineOptionInfo, kEngineOptionCount> kEngineOptionTable;

// The entry of an option by name, if there is one.
const EngineOptionInfo* FindEngineOption(std::string_view name);

// Reads an option's value as a number in its range. Returns false with a message for an
// unknown name, a value that is not a number of the right kind, or one out of range.
bool SetEngineOption(EngineOptions& options, std::string_view name, std::string_view value,
                     std::string* message);

}  // namespace genshoku
