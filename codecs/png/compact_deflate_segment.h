#pragma once
// Compresses one segment of the input into deflate blocks. Two ways, by the settings:
// - piece by piece (the quick way): the copies of a piece of some 32 KB are found, the
//   piece is parsed with costs learnt from the tokens of the pieces before it, and the
//   next piece follows; the working memory of a piece stays in the processor's cache;
// - whole (the thorough way): the copies of the whole segment are found once, the segment
//   is parsed with costs that each parse's statistics refine, and each block is parsed
//   once more with its own costs.
// Either way the tokens are then split into blocks where the statistics change, and each
// block is written with codes fitted to it.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "codecs/png/deflate_bit_writer.h"
#include "codecs/png/deflate_block_splitter.h"
#include "codecs/png/lz77_match_finder.h"
#include "codecs/png/lz77_match_table.h"
#include "codecs/png/lz77_optimal_parser.h"

namespace genshoku::png {

struct CompactDeflateSettings {
  MatchFinderLimits matchFinder;
  BlockSplitSettings split;
  // Bytes per piece when the segment is parsed piece by piece; 0: the segment is parsed
  // whole.
  size_t pieceBytes = size_t{32} << 10;
  // Pieces only: after a piece that compressed to fewer bits per byte than this, the
  // next piece tries these many chain entries instead of the finder's own (0: never).
  // Where copies are long, deep chains find far better ones (a dithered gradient
  // repeats its pattern at distances no short chain reaches) and cost little, since the
  // positions a long copy covers are not searched; where copies are short (a dithered
  // photo), deep chains gain little and cost much.
  double deepBelowBitsPerByte = 0;
  int deepChainDepth = 16;
  int deepShortChainDepth = 4;
  // The rows above tried in those pieces (the finder's own rowsAbove in the others):
  // drawings and gradients repeat themselves from row to row, dithered photos hardly.
  int deepRowsAbove = 4;
  // Pieces only: after a piece below this many bits per byte (0: never), the next piece
  // tries these many entries of the long chain at one position in
  // Lz77MatchFinder::kSparseStep. Such pieces are long runs of a short pattern (a
  // dithered ramp, a flat area), whose positions flood the chain: the copy that reaches
  // past the run lies where the same run ended before, often thousands of entries back.
  double veryDeepBelowBitsPerByte = 0;
  int veryDeepChainDepth = 4096;
  // Whole segments only:
  bool samplePass = true;  // a first parse of a quarter of the segment for its costs
  int segmentPasses = 1;   // parses of the whole segment before it is split (at least 1)
  int blockPasses = 1;     // parses of each block with its own costs after the split
};

// Memory one thread reuses from segment to segment.
struct SegmentWorkspace {
  Lz77MatchTable matches;
  ParserScratch parser;
  std::vector<DeflateToken> tokens;
  std::vector<DeflateToken> blockTokens;
};

// Appends the blocks of data[begin, end) to `out`; copies may reach back to 32 KB before
// `begin`. The last block is marked final when `final` is set.
void CompressSegment(const uint8_t* data, size_t size, size_t begin, size_t end, bool final,
                     const CompactDeflateSettings& settings, SegmentWorkspace& workspace,
                     DeflateBitWriter& out);

}  // namespace genshoku::png
