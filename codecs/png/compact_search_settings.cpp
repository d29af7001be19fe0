#include "codecs/png/compact_search_settings.h"

#include <algorithm>

#include "codecs/png/deflate_tables.h"

namespace genshoku::png {

namespace {

// Below kSmallRowsBytes, pieces below this many bits per byte are runs of a short pattern
// (see CompactDeflateSettings::veryDeepBelowBitsPerByte).
constexpr double kVeryDeepBelowBitsPerByte = 0.1;
// Pictures whose rows compress below this many bits per byte (drawings of few colours,
// stripes, ramps along one axis) are compressed the thorough way: nearly every position
// lies inside a long copy and is not searched, so deep chains and more parses cost little
// there, and take 1 to 5 % off. Gradients and photos lie above (0.7 bits and more).
constexpr double kThoroughBelowBitsPerByte = 0.5;

// Below this, the thorough way also searches the long chain 4096 deep at every second
// position (see MatchFinderLimits::sparseChainDepth), below kSmallRowsBytes only:
// one-pixel-wide and one-pixel-high ramps, two-colour drawings. Above 0.2 bits,
// screenshots with wide flat areas took ten times as long for half a per cent; on large
// pictures an icon enlarged to 16 MP took 4.6 s instead of 1.1 for 2.5 %.
constexpr double kSparseBelowBitsPerByte = 0.2;
// From kLargeRowsBytes the thorough way tries 64 entries of the long chain instead of 256
// (the enlarged icon: 0.7 s instead of 1.1 for 1.3 % more).
constexpr int kLargeThoroughChain = 64;

// Large pictures (from kLargeRowsBytes) that compress below this many bits per byte
// search at least the middle depths (16 and 4) instead of the quick ones: a night sky
// 4 % and a large picture of soft noise 1.7 % smaller for a third to half more time;
// photos take 2.2 bits and more, and keep the quick depths.
constexpr double kMiddleDepthsBelowBitsPerByte = 2;

void SetDepths(CompactDeflateSettings& settings, int chain, int shortChain, int deepChain,
               int deepShortChain) {
  settings.matchFinder.chainDepth = chain;
  settings.matchFinder.shortChainDepth = shortChain;
  settings.deepChainDepth = deepChain;
  settings.deepShortChainDepth = deepShortChain;
}

}  // namespace

CompactDeflateSettings ThoroughSettings(CompactDeflateSettings settings, double bitsPerByte,
                                        size_t totalBytes) {
  settings.pieceBytes = 0;
  settings.segmentPasses = 2;
  settings.blockPasses = 2;
  settings.matchFinder.chainDepth = std::max(
      settings.matchFinder.chainDepth, totalBytes < kLargeRowsBytes ? 256 : kLargeThoroughChain);
  settings.matchFinder.shortChainDepth = std::max(settings.matchFinder.shortChainDepth, 16);
  settings.matchFinder.rowsAbove = std::max(settings.matchFinder.rowsAbove, settings.deepRowsAbove);
  if (bitsPerByte < kSparseBelowBitsPerByte && totalBytes < kSmallRowsBytes) {
    settings.matchFinder.sparseChainDepth = settings.veryDeepChainDepth;
  }
  return settings;
}

CompactDeflateSettings FinalSettings(const CompactDeflateSettings& settings, int effort,
                                     double bitsPerByte, size_t totalBytes) {
  if (effort <= 1) return settings;
  if (bitsPerByte < kThoroughBelowBitsPerByte) {
    return ThoroughSettings(settings, bitsPerByte, totalBytes);
  }
  CompactDeflateSettings final = settings;
  if (totalBytes < kSmallRowsBytes) final.veryDeepBelowBitsPerByte = kVeryDeepBelowBitsPerByte;
  if (bitsPerByte < kMiddleDepthsBelowBitsPerByte) {
    final.matchFinder.chainDepth = std::max(final.matchFinder.chainDepth, 16);
    final.matchFinder.shortChainDepth = std::max(final.matchFinder.shortChainDepth, 4);
  }
  return final;
}

CompactDeflateSettings SettingsForEffort(int effort, size_t rowDistance, size_t totalBytes) {
  CompactDeflateSettings settings;
  switch (std::clamp(effort, 1, 3)) {
    case 1:
      settings.matchFinder.chainDepth = 2;
      settings.matchFinder.shortChainDepth = 1;
      settings.blockPasses = 0;
      break;
    case 2:
      // Pieces that compress below one bit per byte (smooth dithered gradients, drawings)
      // search deeper, where that pays.
      settings.deepBelowBitsPerByte = 1.0;
      settings.deepRowsAbove = settings.matchFinder.rowsAbove;
      if (totalBytes < kSmallRowsBytes) {
        SetDepths(settings, 64, 16, 64, 16);
      } else if (totalBytes < kLargeRowsBytes) {
        SetDepths(settings, 16, 4, 64, 4);
      } else {
        // Half the finder's own depths: a fifth less time on photos for a few tenths of
        // a percent more bytes.
        SetDepths(settings, 4, 2, 16, 4);
        settings.matchFinder.rowsAbove = 1;
      }
      break;
    default:
      settings.matchFinder.chainDepth = 64;
      settings.matchFinder.shortChainDepth = 16;
      settings.segmentPasses = 2;
      settings.blockPasses = 2;
      settings.pieceBytes = 0;
      break;
  }
  settings.matchFinder.rowDistance =
      static_cast<int>(std::min<size_t>(rowDistance, kMaxDistance + 1));
  return settings;
}

}  // namespace genshoku::png
