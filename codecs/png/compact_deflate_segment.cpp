#include "codecs/png/compact_deflate_segment.h"

#include <algorithm>

#include "codecs/png/deflate_block_writer.h"
#include "codecs/png/deflate_costs.h"

namespace genshoku::png {

namespace {

constexpr size_t kSampleStretches = 4;

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
  if (settings.samplePass) {
    // A first parse of a few stretches spread over the segment teaches the costs what the
    // copies are worth, for a quarter of the price of a whole parse.
    DeflateHistogram sample;
    const size_t stretch = std::max<size_t>((end - begin) / kSampleStretches / 4, 1);
    for (size_t k = 0; k < kSampleStretches; ++k) {
      const size_t from = begin + (end - begin) * k / kSampleStretches;
      const size_t to = std::min(end, from + stretch);
      if (from >= to) continue;
      ParseCheapest(data, from, to, workspace.matches, costs, workspace.parser, tokens);
      sample.Add(tokens.data(), tokens.size());
    }
    sample.literalLength[kEndOfBlock] = 1;
    CostsFromHistogram(sample, costs);
  }
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
