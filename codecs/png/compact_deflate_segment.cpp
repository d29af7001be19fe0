#include "codecs/png/compact_deflate_segment.h"

#include <algorithm>

#include "codecs/png/deflate_block_writer.h"
#include "codecs/png/deflate_costs.h"

namespace genshoku::png {

namespace {

constexpr size_t kSampleStretches = 4;

DeflateHistogram HistogramOf(const DeflateToken* tokens, size_t count) {
  DeflateHistogram histogram;
  histogram.Add(tokens, count);
  histogram.literalLength[kEndOfBlock] = 1;
  return histogram;
}

// The quick way: pieces parsed in turn, each with the costs of the statistics so far,
// in which every piece weighs as much as all the pieces before it together (so costs
// follow the input as it changes). The first piece is parsed twice: once with the first
// guess, once with what that parse taught.
void ParseInPieces(const uint8_t* data, size_t size, size_t begin, size_t end,
                   const CompactDeflateSettings& settings, SegmentWorkspace& workspace) {
  MatchFinderLimits limits = settings.matchFinder;
  limits.rowsAbove = std::max(limits.rowsAbove, settings.deepRowsAbove);
  Lz77MatchFinder finder(data, size, limits);
  finder.SetDepths(settings.matchFinder.chainDepth, settings.matchFinder.shortChainDepth,
                   settings.matchFinder.rowsAbove, settings.matchFinder.sparseChainDepth);
  InsertWindowBefore(finder, begin);
  DeflateCosts costs;
  InitialCosts(data + begin, std::min(end - begin, settings.pieceBytes * 4), costs);
  DeflateHistogram learnt;
  std::vector<DeflateToken>& tokens = workspace.tokens;
  std::vector<DeflateToken>& pieceTokens = workspace.blockTokens;
  tokens.clear();
  for (size_t from = begin; from < end; from += settings.pieceBytes) {
    const size_t to = std::min(end, from + settings.pieceBytes);
    FindMatches(finder, from, to, workspace.matches);
    uint64_t cost =
        ParseCheapest(data, from, to, workspace.matches, costs, workspace.parser, pieceTokens);
    if (from == begin) {
      CostsFromHistogram(HistogramOf(pieceTokens.data(), pieceTokens.size()), costs);
      cost = ParseCheapest(data, from, to, workspace.matches, costs, workspace.parser, pieceTokens);
    }
    // How deep the next piece searches follows how well this one compressed.
    const double pieceCost = static_cast<double>(cost);
    const double perBit = kCostScale * static_cast<double>(to - from);
    const bool deep = pieceCost < settings.deepBelowBitsPerByte * perBit;
    const bool veryDeep = pieceCost < settings.veryDeepBelowBitsPerByte * perBit;
    finder.SetDepths(
        deep ? settings.deepChainDepth : settings.matchFinder.chainDepth,
        deep ? settings.deepShortChainDepth : settings.matchFinder.shortChainDepth,
        deep ? settings.deepRowsAbove : settings.matchFinder.rowsAbove,
        veryDeep ? settings.veryDeepChainDepth : settings.matchFinder.sparseChainDepth);
    tokens.insert(tokens.end(), pieceTokens.begin(), pieceTokens.end());
    for (uint32_t& count : learnt.literalLength) count /= 2;
    for (uint32_t& count : learnt.distance) count /= 2;
    learnt.Add(pieceTokens.data(), pieceTokens.size());
    learnt.literalLength[kEndOfBlock] = 1;
    CostsFromHistogram(learnt, costs);
  }
}

// The thorough way: the copies of the whole segment found once and the segment parsed
// again and again over them.
void ParseWhole(const uint8_t* data, size_t size, size_t begin, size_t end,
                const CompactDeflateSettings& settings, SegmentWorkspace& workspace) {
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
    if (pass > 0) CostsFromHistogram(HistogramOf(tokens.data(), tokens.size()), costs);
    ParseCheapest(data, begin, end, workspace.matches, costs, workspace.parser, tokens);
  }
}

}  // namespace

void CompressSegment(const uint8_t* data, size_t size, size_t begin, size_t end, bool final,
                     const CompactDeflateSettings& settings, SegmentWorkspace& workspace,
                     DeflateBitWriter& out) {
  const bool inPieces = settings.pieceBytes > 0;
  if (inPieces) {
    ParseInPieces(data, size, begin, end, settings, workspace);
  } else {
    ParseWhole(data, size, begin, end, settings, workspace);
  }
  const std::vector<DeflateToken>& tokens = workspace.tokens;
  const std::vector<size_t> blockEnds =
      SplitIntoBlocks(tokens.data(), tokens.size(), settings.split);
  size_t tokenStart = 0;
  size_t byteStart = begin;
  DeflateCosts costs;
  for (size_t block = 0; block < blockEnds.size(); ++block) {
    const size_t tokenEnd = blockEnds[block];
    const bool last = final && block + 1 == blockEnds.size();
    if (inPieces || settings.blockPasses == 0) {
      WriteDeflateBlock(out, tokens.data() + tokenStart, tokenEnd - tokenStart, last);
      tokenStart = tokenEnd;
      continue;
    }
    size_t byteEnd = byteStart;
    for (size_t t = tokenStart; t < tokenEnd; ++t)
      byteEnd += static_cast<size_t>(TokenSpan(tokens[t]));
    std::vector<DeflateToken>& blockTokens = workspace.blockTokens;
    blockTokens.assign(tokens.begin() + static_cast<std::ptrdiff_t>(tokenStart),
                       tokens.begin() + static_cast<std::ptrdiff_t>(tokenEnd));
    for (int pass = 0; pass < settings.blockPasses; ++pass) {
      CostsFromHistogram(HistogramOf(blockTokens.data(), blockTokens.size()), costs);
      ParseCheapest(data, byteStart, byteEnd, workspace.matches, costs, workspace.parser,
                    blockTokens);
    }
    WriteDeflateBlock(out, blockTokens.data(), blockTokens.size(), last);
    tokenStart = tokenEnd;
    byteStart = byteEnd;
  }
}

}  // namespace genshoku::png
