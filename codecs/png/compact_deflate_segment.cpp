#include "codecs/png/compact_deflate_segment.h"

#include <algorithm>

#include "codecs/png/deflate_block_writer.h"
#include "codecs/png/deflate_costs.h"

namespace genshoku::png {

namespace {

DeflateHistogram HistogramOf(const std::vector<DeflateToken>& tokens, size_t from, size_t to) {
  DeflateHistogram histogram;
  histogram.Add(tokens.data() + from, to - from);
  histogram.literalLength[kEndOfBlock] = 1;
  return histogram;
}

}  // namespace

void CompressSegment(const uint8_t* data, size_t size, size_t begin, size_t end, bool final,
                     const CompactDeflateSettings& settings, SegmentWorkspace& workspace,
                     DeflateBitWriter& out) {
  FindAllMatches(data, size, begin, end, settings.matchFinder, workspace.matches);
  DeflateCosts costs;
  InitialCosts(data + begin, end - begin, costs);
  std::vector<DeflateToken>& tokens = workspace.tokens;
  for (int pass = 0; pass < std::max(1, settings.segmentPasses); ++pass) {
    if (pass > 0) CostsFromHistogram(HistogramOf(tokens, 0, tokens.size()), costs);
    ParseCheapest(data, begin, end, workspace.matches, costs, workspace.parser, tokens);
  }

  const std::vector<size_t> blockEnds =
      SplitIntoBlocks(tokens.data(), tokens.size(), settings.split);
  size_t tokenStart = 0;
  size_t byteStart = begin;
  for (size_t block = 0; block < blockEnds.size(); ++block) {
    const size_t tokenEnd = blockEnds[block];
    size_t byteEnd = byteStart;
    for (size_t t = tokenStart; t < tokenEnd; ++t)
      byteEnd += static_cast<size_t>(TokenSpan(tokens[t]));
    std::vector<DeflateToken>& blockTokens = workspace.blockTokens;
    blockTokens.assign(tokens.begin() + static_cast<std::ptrdiff_t>(tokenStart),
                       tokens.begin() + static_cast<std::ptrdiff_t>(tokenEnd));
    for (int pass = 0; pass < settings.blockPasses; ++pass) {
      CostsFromHistogram(HistogramOf(blockTokens, 0, blockTokens.size()), costs);
      ParseCheapest(data, byteStart, byteEnd, workspace.matches, costs, workspace.parser,
                    blockTokens);
    }
    const bool last = final && block + 1 == blockEnds.size();
    WriteDeflateBlock(out, blockTokens.data(), blockTokens.size(), last);
    tokenStart = tokenEnd;
    byteStart = byteEnd;
  }
}

}  // namespace genshoku::png
