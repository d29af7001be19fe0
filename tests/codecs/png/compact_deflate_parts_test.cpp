// The parts of the compact writer's deflate, each against an independent check: code
// lengths against the Kraft sum and a plain Huffman code, blocks and joined bit pieces
// against zlib's inflate, copies against the input itself.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "codecs/png/compact_deflate_segment.h"
#include "codecs/png/deflate_bit_writer.h"
#include "codecs/png/deflate_block_splitter.h"
#include "codecs/png/deflate_block_writer.h"
#include "codecs/png/huffman_limited_lengths.h"
#include "codecs/png/lz77_match_table.h"
#include "tests/codecs/png/support_png.h"

namespace genshoku::png {
namespace {

using pngtest::Bytes;
using pngtest::TestRandom;

double KraftSum(const uint8_t* lengths, int count) {
  double sum = 0;
  for (int s = 0; s < count; ++s) {
    if (lengths[s] != 0) sum += std::ldexp(1.0, -lengths[s]);
  }
  return sum;
}

uint64_t CodedSize(const uint32_t* counts, const uint8_t* lengths, int count) {
  uint64_t bits = 0;
  for (int s = 0; s < count; ++s) bits += uint64_t{counts[s]} * lengths[s];
  return bits;
}

TEST(CompactDeflateParts, LimitedCodeLengthsAreCompleteWithinTheLimitAndOptimal) {
  TestRandom random(11);
  for (int round = 0; round < 300; ++round) {
    const int count = 2 + static_cast<int>(random.Below(287));
    std::vector<uint32_t> counts(static_cast<size_t>(count));
    for (uint32_t& c : counts) {
      // Skewed weights (some huge, some zero) force deep trees the limit must cut.
      const uint32_t kind = random.Below(4);
      c = kind == 0 ? 0 : kind == 1 ? 1 + random.Below(3) : 1u << random.Below(24);
    }
    counts[0] = std::max<uint32_t>(counts[0], 1);
    counts[1] = std::max<uint32_t>(counts[1], 1);
    for (int limit : {7, 9, 15}) {
      if ((1 << limit) < count) continue;
      std::vector<uint8_t> lengths(static_cast<size_t>(count));
      LimitedCodeLengths(counts.data(), count, limit, lengths.data());
      EXPECT_DOUBLE_EQ(KraftSum(lengths.data(), count), 1.0);
      for (int s = 0; s < count; ++s) {
        EXPECT_EQ(lengths[s] == 0, counts[s] == 0);
        EXPECT_LE(lengths[s], limit);
      }
      // With a limit that does not bind (all lengths of a plain Huffman code fit), the
      // size equals that of the plain code: package-merge with limit 16 on few symbols.
      if (limit == 15) {
        std::vector<uint8_t> unlimited(static_cast<size_t>(count));
        LimitedCodeLengths(counts.data(), count, 16, unlimited.data());
        EXPECT_LE(CodedSize(counts.data(), unlimited.data(), count),
                  CodedSize(counts.data(), lengths.data(), count));
      }
    }
  }
  // Two equal weights: one bit each; a lone symbol: one bit, completed by a second.
  const uint32_t two[3] = {5, 0, 5};
  uint8_t lengths[3];
  LimitedCodeLengths(two, 3, 15, lengths);
  EXPECT_EQ(lengths[0], 1);
  EXPECT_EQ(lengths[1], 0);
  EXPECT_EQ(lengths[2], 1);
  const uint32_t one[3] = {0, 0, 9};
  CompleteLimitedCodeLengths(one, 3, 15, lengths);
  EXPECT_DOUBLE_EQ(KraftSum(lengths, 3), 1.0);
  EXPECT_EQ(lengths[2], 1);
}

TEST(CompactDeflateParts, BitPiecesJoinedAtAnyOffsetReadLikeOneWriter) {
  TestRandom random(3);
  for (int round = 0; round < 50; ++round) {
    DeflateBitWriter whole;
    DeflateBitWriter joined;
    for (int piece = 0; piece < 4; ++piece) {
      DeflateBitWriter part;
      const int writes = static_cast<int>(random.Below(200));
      for (int w = 0; w < writes; ++w) {
        const int count = 1 + static_cast<int>(random.Below(32));
        const uint32_t bits =
            static_cast<uint32_t>(random.Next()) & (count == 32 ? 0xFFFFFFFFu : (1u << count) - 1);
        whole.Put(bits, count);
        part.Put(bits, count);
      }
      joined.Append(part);
    }
    EXPECT_EQ(whole.BitCount(), joined.BitCount());
    EXPECT_TRUE(whole.TakeBytes() == joined.TakeBytes());
  }
}

// Compresses `data` as a whole raw deflate stream of one segment and inflates it again.
void CheckSegmentInflates(const Bytes& data, const CompactDeflateSettings& settings) {
  DeflateBitWriter writer;
  SegmentWorkspace workspace;
  CompressSegment(data.data(), data.size(), 0, data.size(), true, settings, workspace, writer);
  Bytes inflated;
  std::string error;
  ASSERT_TRUE(pngtest::ZlibInflate(writer.TakeBytes(), inflated, &error, true)) << error;
  EXPECT_TRUE(inflated == data);
}

TEST(CompactDeflateParts, SegmentsOfEveryKindInflateWithZlib) {
  CompactDeflateSettings settings;
  CheckSegmentInflates(Bytes{}, settings);
  CheckSegmentInflates(Bytes{42}, settings);
  CheckSegmentInflates(Bytes(100000, 7), settings);                // one long run
  CheckSegmentInflates(pngtest::RandomBytes(70000, 5), settings);  // stored-like noise
  Bytes text;
  for (int i = 0; i < 20000; ++i) text.push_back(static_cast<uint8_t>("abcab"[i % 5] + i % 7));
  CheckSegmentInflates(text, settings);
  // Few symbols: blocks that the fixed code or two-symbol codes serve best.
  Bytes twoSymbols = pngtest::RandomBytes(5000, 9);
  for (uint8_t& b : twoSymbols) b &= 1;
  CheckSegmentInflates(twoSymbols, settings);
  settings.matchFinder.rowDistance = 101;
  Bytes rows;
  for (int y = 0; y < 300; ++y) {
    for (int x = 0; x < 101; ++x) rows.push_back(static_cast<uint8_t>((x * 7 + (y / 9)) % 13));
  }
  CheckSegmentInflates(rows, settings);
}

TEST(CompactDeflateParts, EveryReportedCopyIsInTheInputAndLengthsAscend) {
  Bytes data = pngtest::RandomBytes(200000, 17);
  for (size_t i = 0; i < data.size(); ++i) {
    // Mostly four symbols, with runs and repeats at a row distance of 640.
    data[i] = i >= 640 && (data[i] & 3) == 0 ? data[i - 640] : static_cast<uint8_t>(data[i] % 4);
    if (i % 1000 < 300) data[i] = 9;
  }
  MatchFinderLimits limits;
  limits.rowDistance = 640;
  const size_t begin = 50000;
  const size_t end = 120000;
  Lz77MatchTable table;
  FindAllMatches(data.data(), data.size(), begin, end, limits, table);
  size_t reported = 0;
  for (size_t position = begin; position < end; ++position) {
    int previousLength = 0;
    for (int m = 0; m < table.CountAt(position); ++m) {
      const FoundMatch match = table.At(position)[m];
      ASSERT_GE(match.length, kMinMatch);
      ASSERT_GT(match.length, previousLength);
      ASSERT_LE(position + match.length, end);
      ASSERT_GE(match.distance, 1);
      ASSERT_LE(match.distance, kMaxDistance);
      ASSERT_LE(match.distance, position);
      ASSERT_EQ(std::memcmp(&data[position], &data[position - match.distance], match.length), 0);
      previousLength = match.length;
      ++reported;
    }
  }
  EXPECT_GT(reported, (end - begin) / 4);
}

// The copies the finder must report, found the plain way: every position's chains kept
// whole (newest first, under the finder's own hash functions, so colliding keys share a
// chain as they do there) and every candidate compared in full.
std::vector<std::vector<FoundMatch>> PlainMatches(const Bytes& data, size_t begin, size_t end,
                                                  const MatchFinderLimits& limits) {
  const auto hash4 = [&](size_t p) {
    uint32_t bytes;
    std::memcpy(&bytes, &data[p], 4);
    return (bytes * 2654435761u) >> 16;
  };
  const auto hash3 = [&](size_t p) {
    const uint32_t bytes = data[p] | uint32_t{data[p + 1]} << 8 | uint32_t{data[p + 2]} << 16;
    return (bytes * 2654435761u) >> 17;
  };
  std::vector<std::vector<size_t>> chains4(1 << 16), chains3(1 << 15);
  const auto enter = [&](size_t p) {
    if (p + 3 <= data.size()) chains3[hash3(p)].push_back(p);
    if (p + 4 <= data.size()) chains4[hash4(p)].push_back(p);
  };
  std::vector<size_t> rowDistances;
  for (int k = 1; limits.rowDistance > 1 && k <= std::min(limits.rowsAbove, 16); ++k) {
    if (size_t{1} * limits.rowDistance * k > kMaxDistance) break;
    rowDistances.push_back(size_t{1} * limits.rowDistance * k);
  }
  for (size_t p = begin > kMaxDistance ? begin - kMaxDistance : 0; p < begin; ++p) enter(p);
  std::vector<std::vector<FoundMatch>> found(end - begin);
  bool lastFoundNice = false;
  for (size_t p = begin; p < end; ++p) {
    if (p + 3 > data.size()) break;
    const int limit = static_cast<int>(std::min<size_t>(kMaxMatch, end - p));
    const int compareLimit = static_cast<int>(std::min<size_t>(kMaxMatch, data.size() - p));
    int best = 2, lastReported = 2;
    std::vector<FoundMatch>& out = found[p - begin];
    const auto consider = [&](size_t distance) {
      int length = 0;
      while (length < compareLimit && data[p - distance + length] == data[p + length]) ++length;
      best = std::max(best, length);
      const int reported = std::min(length, limit);
      if (reported > lastReported) {
        out.push_back({static_cast<uint16_t>(reported), static_cast<uint16_t>(distance)});
        lastReported = reported;
      }
    };
    const auto walk = [&](const std::vector<size_t>& chain, int depth) {
      int step = 0;
      for (auto q = chain.rbegin(); q != chain.rend() && step < depth && best < compareLimit;
           ++q, ++step) {
        if (p - *q > kMaxDistance) break;
        consider(p - *q);
      }
    };
    if (p >= 1) consider(1);
    walk(chains3[hash3(p)], limits.shortChainDepth);
    for (const size_t distance : rowDistances) {
      if (distance <= p) consider(distance);
    }
    // Every second position, and the one after a copy of the nice length, walk the long
    // chain as deep as the sparse depth says.
    const bool sparse = p % Lz77MatchFinder::kSparseStep == 0 || lastFoundNice;
    const int depth =
        sparse ? std::max(limits.chainDepth, limits.sparseChainDepth) : limits.chainDepth;
    if (p + 4 <= data.size()) walk(chains4[hash4(p)], depth);
    lastFoundNice = best >= limits.niceLength;
    enter(p);
    if (!out.empty() && out.back().length >= limits.niceLength) {
      const size_t skipEnd = std::min(end, p + out.back().length);
      while (p + 1 < skipEnd) enter(++p);
    }
  }
  return found;
}

// Runs of every length (short ones, ones that end within a copy's reach, ones longer than
// the window), few-symbol stretches, noise and repeated rows: the finder reports exactly
// the copies of the plain search, whatever the depths, the sparse depth and the nice
// length (long chains of candidates that agree with the position at many bytes but not
// all of those up to the best copy's end are passed over without a full comparison).
TEST(CompactDeflateParts, TheFinderReportsTheCopiesOfThePlainSearch) {
  TestRandom random(43);
  Bytes data;
  while (data.size() < 150000) {
    const int kind = static_cast<int>(random.Below(5));
    const size_t length = 1 + random.Below(kind == 0 ? 700 : 300);
    for (size_t i = 0; i < length; ++i) {
      switch (kind) {
        case 0: data.push_back(static_cast<uint8_t>(length % 3)); break;  // a run
        case 1: data.push_back(static_cast<uint8_t>(random.Below(3))); break;
        case 2: data.push_back(static_cast<uint8_t>(random.Below(256))); break;
        default:  // the row above, with a changed byte now and then
          data.push_back(data.size() >= 640 && random.Below(50) != 0
                             ? data[data.size() - 640]
                             : static_cast<uint8_t>(random.Below(4)));
      }
    }
    if (data.size() > 60000 && data.size() < 61000) data.insert(data.end(), 40000, 7);
  }
  struct Case {
    int chainDepth, shortChainDepth, niceLength;
    size_t begin, end;
    int sparseChainDepth = 0;
  };
  for (const Case& c : {Case{8, 4, kMaxMatch, 0, 30000}, Case{64, 16, kMaxMatch, 55000, 110000},
                        Case{4, 0, kMaxMatch, 90000, data.size()}, Case{0, 4, 40, 0, 20000},
                        Case{16, 4, 100, 100000, 120000}, Case{4, 2, kMaxMatch, 0, 30000, 512},
                        Case{16, 4, 60, 110000, 140000, 256}}) {
    MatchFinderLimits limits;
    limits.chainDepth = c.chainDepth;
    limits.shortChainDepth = c.shortChainDepth;
    limits.niceLength = c.niceLength;
    limits.sparseChainDepth = c.sparseChainDepth;
    limits.rowDistance = 640;
    limits.rowsAbove = 2;
    Lz77MatchTable table;
    FindAllMatches(data.data(), data.size(), c.begin, c.end, limits, table);
    const auto plain = PlainMatches(data, c.begin, c.end, limits);
    for (size_t p = c.begin; p < c.end; ++p) {
      const std::vector<FoundMatch>& expected = plain[p - c.begin];
      ASSERT_EQ(table.CountAt(p), static_cast<int>(expected.size())) << p << " " << c.chainDepth;
      for (size_t m = 0; m < expected.size(); ++m) {
        ASSERT_EQ(table.At(p)[m].length, expected[m].length) << p;
        ASSERT_EQ(table.At(p)[m].distance, expected[m].distance) << p;
      }
    }
  }
}

TEST(CompactDeflateParts, TheFinderTriesAsManyRowsAboveAsItIsToldFromTheNextPositionOn) {
  // Rows of 100 random bytes, each a copy of the row three above: with no hash chains,
  // only the rows above can find the copies, and only when three rows are tried.
  const int rowBytes = 100;
  Bytes data = pngtest::RandomBytes(rowBytes * 3, 23);
  for (int i = rowBytes * 3; i < rowBytes * 12; ++i) data.push_back(data[i - 3 * rowBytes]);
  MatchFinderLimits limits;
  limits.chainDepth = 0;
  limits.shortChainDepth = 0;
  limits.rowDistance = rowBytes;
  limits.rowsAbove = 4;
  Lz77MatchFinder finder(data.data(), data.size(), limits);
  FoundMatch found[kMaxMatch];
  const auto longestAt = [&](size_t position) {
    const int count = finder.FindAndInsert(position, kMaxMatch, found);
    return count == 0 ? 0 : found[count - 1].length;
  };
  size_t position = 0;
  for (; position < 5 * rowBytes; ++position) longestAt(position);
  EXPECT_EQ(longestAt(position++), kMaxMatch);
  finder.SetDepths(0, 0, 2);
  EXPECT_LT(longestAt(position++), kMinMatch);
  finder.SetDepths(0, 0, 16);  // more than were prepared: the four of the limits
  const int count = finder.FindAndInsert(position, kMaxMatch, found);
  ASSERT_GT(count, 0);
  EXPECT_EQ(found[count - 1].distance, 3 * rowBytes);
}

TEST(CompactDeflateParts, TheSparseDepthReachesPastALongRunOfAShortPattern) {
  // "ab" repeated, a marker, "ab" repeated again and the same marker: in the second run,
  // the copy that goes on into the marker lies in the first run, behind some 1500
  // entries of the chain that all start with "abab".
  const auto addRun = [](Bytes& data) {
    for (int i = 0; i < 1500; ++i) data.insert(data.end(), {'a', 'b'});
  };
  const Bytes marker = pngtest::RandomBytes(40, 31);
  Bytes data;
  addRun(data);
  data.insert(data.end(), marker.begin(), marker.end());
  const size_t secondRun = data.size();
  addRun(data);
  data.insert(data.end(), marker.begin(), marker.end());
  // 100 bytes before the second marker, at an even and an odd position.
  const size_t position = data.size() - marker.size() - 100;
  const int reachingPast = 100 + static_cast<int>(marker.size());
  MatchFinderLimits limits;
  limits.chainDepth = 8;
  limits.shortChainDepth = 0;
  FoundMatch found[kMaxMatch];
  for (const int sparseDepth : {0, 4096}) {
    for (const size_t at : {position, position + 1}) {
      Lz77MatchFinder finder(data.data(), data.size(), limits);
      for (size_t p = 0; p < at; ++p) finder.Insert(p);
      finder.SetDepths(8, 0, 0, sparseDepth);
      const int count = finder.FindAndInsert(at, kMaxMatch, found);
      ASSERT_GT(count, 0);
      const FoundMatch longest = found[count - 1];
      ASSERT_LE(longest.distance, at);
      ASSERT_EQ(std::memcmp(&data[at], &data[at - longest.distance], longest.length), 0);
      const int expected = sparseDepth > 0 && at % Lz77MatchFinder::kSparseStep == 0
                               ? reachingPast - static_cast<int>(at - position)
                               : 0;
      if (expected > 0) {
        EXPECT_EQ(longest.length, expected) << "sparse depth " << sparseDepth << " at " << at;
        EXPECT_EQ(longest.distance, data.size() - secondRun) << "at " << at;
      } else {
        EXPECT_LT(longest.length, reachingPast - 1) << "sparse depth " << sparseDepth;
      }
    }
  }
}

TEST(CompactDeflateParts, BlocksAreSplitWhereTheStatisticsChange) {
  // Two halves over disjoint alphabets are worth two blocks; uniform data one block.
  std::vector<DeflateToken> tokens;
  TestRandom random(8);
  // The change falls on a chunk boundary (20 chunks of 2048 tokens).
  for (int i = 0; i < 40960; ++i) {
    tokens.push_back(LiteralToken(static_cast<uint8_t>(random.Below(16))));
  }
  for (int i = 0; i < 40960; ++i) {
    tokens.push_back(LiteralToken(static_cast<uint8_t>(200 + random.Below(16))));
  }
  const std::vector<size_t> ends = SplitIntoBlocks(tokens.data(), tokens.size(), {});
  ASSERT_EQ(ends.size(), 2u);
  EXPECT_EQ(ends[0], 40960u);
  EXPECT_EQ(ends[1], tokens.size());
  tokens.resize(40960);
  EXPECT_EQ(SplitIntoBlocks(tokens.data(), tokens.size(), {}).size(), 1u);
}

}  // namespace
}  // namespace genshoku::png
