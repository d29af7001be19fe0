#include "engine/kmeans/pixel_colours.h"

#include <algorithm>
#include <bit>

#include "engine/parallel.h"
#include "engine/progress_points.h"

namespace genshoku {

// With two threads each takes the clusters of about half of the listed pixels and the edge
// pixels of half of the picture; the pixels they write are distinct.
void RestorePixelColoursFromClusters(ColourTable& colours, const Clusters& clusters,
                                     const uint8_t* srcR, const uint8_t* srcG, const uint8_t* srcB,
                                     EngineRun& run, int threads) {
  colours.pixelColour.resize(static_cast<size_t>(colours.pixelCount));
  uint32_t* pixelColour = colours.pixelColour.data();
  int64_t listed = 0;
  for (const ClusterMembers& cluster : clusters) {
    listed += static_cast<int64_t>(cluster.pixels.size());
  }
  int firstOfSecondPart = 0;
  for (int64_t sofar = 0; firstOfSecondPart < kPaletteSize && sofar * 2 < listed;
       ++firstOfSecondPart) {
    sofar += static_cast<int64_t>(clusters[firstOfSecondPart].pixels.size());
  }
  RunInTwoParts(threads, [&](int part) {
    int64_t sincePump = 0;
    auto visited = [&](int64_t count) {
      sincePump += count;
      if (part == 0 && sincePump >= kItemsPerProgressPoint) {
        sincePump = 0;
        run.Pump();
      }
    };
    const int firstLabel = part == 0 ? 0 : firstOfSecondPart;
    const int endLabel = part == 0 ? firstOfSecondPart : kPaletteSize;
    const size_t stretch = static_cast<size_t>(kItemsPerProgressPoint);
    for (int label = firstLabel; label < endLabel; ++label) {
      const ClusterMembers& cluster = clusters[label];
      const uint32_t* numbers = cluster.colours.data();
      const size_t count = cluster.pixels.size();
      for (size_t start = 0; start < count; start += stretch) {
        const size_t end = std::min(count, start + stretch);
        for (size_t k = start; k < end; ++k) {
          const Member member = cluster.pixels[k];
          pixelColour[member.pixel] = numbers[member.colour];
        }
        visited(static_cast<int64_t>(end - start));
      }
    }
    int64_t firstWord, endWord;
    HalfRange(static_cast<int64_t>(colours.edgeBits.size()), part, firstWord, endWord);
    for (int64_t w = firstWord; w < endWord; ++w) {
      uint64_t bits = colours.edgeBits[w];
      while (bits != 0) {
        const int64_t i = w * 64 + std::countr_zero(bits);
        bits &= bits - 1;
        pixelColour[i] = colours.ColourOfBytes(srcR[i], srcG[i], srcB[i]) | ColourTable::kEdgeBit;
      }
      visited(64);
    }
  });
  colours.ReleaseLookUpTables();
}

}  // namespace genshoku
