#pragma once
// The distinct colours of the picture and the working colour of each.
//
// Every per-pixel value the engine computes from a colour (its working colour, its
// coordinates in a cluster's frame, its nearest palette entry) depends on the pixel's three
// bytes only, so it is computed once per distinct colour. Each pixel keeps the number of its
// colour; sums over pixels still run over the pixels themselves, in pixel order.

#include <cstdint>
#include <vector>

#include "engine/engine_run.h"
#include "engine/reduction_params.h"
#include "engine/uncleared_vector.h"

namespace genshoku {

// The number of bits set in x, in a few arithmetic steps: without a processor instruction
// assumed, the compiler's own count is a call into the runtime, which the per-pixel look-ups
// cannot afford.
inline uint32_t BitsSet(uint64_t x) {
  x = x - ((x >> 1) & 0x5555555555555555u);
  x = (x & 0x3333333333333333u) + ((x >> 2) & 0x3333333333333333u);
  x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0Fu;
  return static_cast<uint32_t>((x * 0x0101010101010101u) >> 56);
}

struct ColourTable {
  // Set in a pixel's colour number when the pixel lies on an edge.
  static constexpr uint32_t kEdgeBit = 0x80000000u;
  static constexpr uint32_t kColourMask = 0x00FFFFFFu;

  int64_t pixelCount = 0;
  // Per pixel: the number of its colour (0..colourCount-1), kEdgeBit for edge pixels. The
  // clustering phases copy what they need and release it (ReleasePixelColours); from then
  // on a pixel's colour is found from its bytes and its edge flag in edgeBits.
  UnclearedVector<uint32_t> pixelColour;  // written in full wherever it is sized
  std::vector<uint64_t> edgeBits;
  int64_t colourCount = 0;
  // Per colour: the working colour (the three components side by side, so that one look-up
  // fetches them together).
  struct Working {
    double y, u, v;
  };
  UnclearedVector<Working> working;  // written in full wherever it is sized
  // Per colour: its pixels that are not edge pixels (those that take part in clustering).
  std::vector<uint32_t> takingPart;

  // Which of the 2^24 colours occur (one bit each) and the rank of the first of every 64.
  std::vector<uint64_t> present;
  std::vector<uint32_t> rankBefore;

  uint32_t ColourOf(int64_t pixel) const { return pixelColour[pixel] & kColourMask; }
  // The rank of a colour among the picture's colours in 0xRRGGBB order.
  uint32_t RankOfBytes(uint8_t red, uint8_t green, uint8_t blue) const {
    const uint32_t key = (uint32_t{red} << 16) | (uint32_t{green} << 8) | blue;
    const uint64_t below = present[key >> 6] & ((uint64_t{1} << (key & 63)) - 1);
    return rankBefore[key >> 6] + BitsSet(below);
  }
  uint32_t ColourOfBytes(uint8_t red, uint8_t green, uint8_t blue) const {
    const uint32_t rank = RankOfBytes(red, green, blue);
    return numberOfRank.empty() ? rank : numberOfRank[rank];
  }
  uint32_t ColourOfRank(uint32_t rank) const {
    return numberOfRank.empty() ? rank : numberOfRank[rank];
  }
  // After Renumber: the colour number of each colour's rank in 0xRRGGBB order.
  std::vector<uint32_t> numberOfRank;

  // Gives the colours new numbers (newNumber[old]) and reorders the per-colour tables, so
  // that colours used together lie together in memory (and the look-up by bytes follows
  // them, while it is kept). Needs the per-pixel colour numbers released first.
  void Renumber(const std::vector<uint32_t>& newNumber);
  bool IsEdgePixel(int64_t pixel) const { return (edgeBits[pixel >> 6] >> (pixel & 63)) & 1; }
  // Keeps the edge flags as bits and drops the per-pixel colour numbers; without edge
  // pixels the look-up tables go as well (ReleaseLookUpTables), since only edge pixels are
  // looked up by their bytes before the numbers come back.
  void ReleasePixelColours();
  // Lets go of what finds a colour from its bytes (the presence map, the ranks and the
  // numbers of the ranks) and of the edge bits, once every pixel carries its number again.
  void ReleaseLookUpTables();
};

// Numbers the distinct colours of the (prepared) planes in increasing 0xRRGGBB order and
// converts each to the working space. Uses up to two threads; the calling thread passes
// progress points to `run`.
void BuildColourTable(int width, int height, const uint8_t* srcR, const uint8_t* srcG,
                      const uint8_t* srcB, const ReductionParams& params, int threads,
                      ColourTable& table, EngineRun& run);

// Marks the edge pixels in table.pixelColour by the edge rule of `params` and counts each
// colour's remaining pixels. Returns the number of edge pixels. When every pixel is an edge
// pixel, none is marked (every pixel takes part) but the count is still returned.
// edgeStrength (one double per pixel) is filled for edge operator 4 and may be null
// otherwise. Pixels marked in `excluded` (one byte per pixel, may be null) are marked like
// edge pixels, whatever the rule says, but are not counted: they take no part.
int MarkEdgePixels(int width, int height, const uint8_t* srcR, const uint8_t* srcG,
                   const uint8_t* srcB, const ReductionParams& params, int threads,
                   ColourTable& table, double* edgeStrength, EngineRun& run,
                   const uint8_t* excluded = nullptr);

}  // namespace genshoku
