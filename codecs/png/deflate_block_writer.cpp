#include "codecs/png/deflate_block_writer.h"

#include <algorithm>

#include "codecs/png/canonical_codes.h"
#include "codecs/png/deflate_block_header.h"
#include "codecs/png/huffman_limited_lengths.h"

namespace genshoku::png {

namespace {

// The fixed code has 288 literal/length symbols; the last two never occur but count for
// the canonical codes of the others.
constexpr int kFixedLiteralLengthSymbols = 288;

void FixedCodeLengths(uint8_t* literalLengthLengths, uint8_t* distanceLengths) {
  for (int s = 0; s < kFixedLiteralLengthSymbols; ++s) {
    literalLengthLengths[s] = s <= 143 ? 8 : s <= 255 ? 9 : s <= 279 ? 7 : 8;
  }
  for (int s = 0; s < kDistanceSymbols; ++s) distanceLengths[s] = 5;
}

uint64_t CodedBits(const DeflateHistogram& histogram, const uint8_t* literalLengthLengths,
                   const uint8_t* distanceLengths) {
  uint64_t bits = ExtraBitsOf(histogram);
  for (int s = 0; s < kLiteralLengthSymbols; ++s) {
    bits += uint64_t{histogram.literalLength[s]} * literalLengthLengths[s];
  }
  for (int s = 0; s < kDistanceSymbols; ++s) {
    bits += uint64_t{histogram.distance[s]} * distanceLengths[s];
  }
  return bits;
}

// A code for writing: per symbol the bits as they go out (reversed) and their number.
struct WritingCode {
  uint32_t bits[kFixedLiteralLengthSymbols];
  uint8_t lengths[kFixedLiteralLengthSymbols];

  void Assign(const uint8_t* codeLengths, int count) {
    int32_t lengths32[kFixedLiteralLengthSymbols];
    int32_t codes[kFixedLiteralLengthSymbols];
    for (int s = 0; s < count; ++s) lengths32[s] = codeLengths[s];
    AssignCanonicalCodes(lengths32, codes, count);
    for (int s = 0; s < count; ++s) {
      lengths[s] = codeLengths[s];
      bits[s] = ReverseBits(static_cast<uint32_t>(codes[s]), codeLengths[s]);
    }
  }
};

// `literalLengthCount` is 286 for a dynamic code, 288 for the fixed one.
void WriteTokens(DeflateBitWriter& writer, const DeflateToken* tokens, size_t count,
                 const uint8_t* literalLengthLengths, int literalLengthCount,
                 const uint8_t* distanceLengths) {
  WritingCode literalLength;
  WritingCode distance;
  literalLength.Assign(literalLengthLengths, literalLengthCount);
  distance.Assign(distanceLengths, kDistanceSymbols);
  for (size_t i = 0; i < count; ++i) {
    const DeflateToken token = tokens[i];
    if (!IsCopy(token)) {
      writer.Put(literalLength.bits[token], literalLength.lengths[token]);
      continue;
    }
    const int length = TokenLength(token);
    const uint32_t lengthCode = LengthCodeOf(length);
    const int lengthExtra = LengthExtraBits(lengthCode);
    writer.Put(
        literalLength.bits[lengthCode] | static_cast<uint32_t>(length - LengthBase(lengthCode))
                                             << literalLength.lengths[lengthCode],
        literalLength.lengths[lengthCode] + lengthExtra);
    const int dist = TokenDistance(token);
    const uint32_t distanceCode = DistanceCodeOf(dist);
    writer.Put(distance.bits[distanceCode], distance.lengths[distanceCode]);
    writer.Put(static_cast<uint32_t>(dist - DistanceBase(distanceCode)),
               DistanceExtraBits(distanceCode));
  }
  writer.Put(literalLength.bits[kEndOfBlock], literalLength.lengths[kEndOfBlock]);
}

}  // namespace

void FitBlockCodeLengths(const DeflateHistogram& histogram, uint8_t* literalLengthLengths,
                         uint8_t* distanceLengths) {
  CompleteLimitedCodeLengths(histogram.literalLength, kLiteralLengthSymbols, kCompactCodeLimit,
                             literalLengthLengths);
  CompleteLimitedCodeLengths(histogram.distance, kDistanceSymbols, kCompactCodeLimit,
                             distanceLengths);
}

void WriteDeflateBlock(DeflateBitWriter& writer, const DeflateToken* tokens, size_t count,
                       bool final) {
  DeflateHistogram histogram;
  histogram.Add(tokens, count);
  histogram.literalLength[kEndOfBlock] = 1;
  uint8_t literalLengthLengths[kLiteralLengthSymbols];
  uint8_t distanceLengths[kDistanceSymbols];
  FitBlockCodeLengths(histogram, literalLengthLengths, distanceLengths);
  const DynamicBlockHeader header(literalLengthLengths, distanceLengths);
  const uint64_t dynamic =
      header.BitCount() + CodedBits(histogram, literalLengthLengths, distanceLengths);
  uint8_t fixedLiteralLength[kFixedLiteralLengthSymbols];
  uint8_t fixedDistance[kDistanceSymbols];
  FixedCodeLengths(fixedLiteralLength, fixedDistance);
  const uint64_t fixed = 2 + CodedBits(histogram, fixedLiteralLength, fixedDistance);
  if (fixed < dynamic) {
    writer.Put(final ? 1 : 0, 1);
    writer.Put(1, 2);  // fixed Huffman codes
    WriteTokens(writer, tokens, count, fixedLiteralLength, kFixedLiteralLengthSymbols,
                fixedDistance);
    return;
  }
  header.Write(writer, final);
  WriteTokens(writer, tokens, count, literalLengthLengths, kLiteralLengthSymbols, distanceLengths);
}

}  // namespace genshoku::png
