#include "codecs/png/inflate_dynamic_codes.h"

#include <algorithm>

#include "codecs/png/canonical_codes.h"

namespace genshoku::png {

namespace {

constexpr int kCodeLengthSymbols = 19;

// The order in which the code-length code's own lengths are sent: the most useful first,
// so that trailing unused ones can be left out.
constexpr int kCodeLengthOrder[kCodeLengthSymbols] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                      11, 4,  12, 3, 13, 2, 14, 1, 15};

// Decodes the run of literal/length and distance code lengths, which deflate sends as one
// sequence so that a repeat may cross from one alphabet into the other.
bool ReadLengthRun(const HuffmanTreeNode& tree, InflateBitReader& bits, int32_t* lengths, int total,
                   Diagnostics& diagnostics) {
  int filled = 0;
  while (filled < total) {
    int32_t symbol;
    const SymbolRead read = ReadSymbol(tree, bits, symbol);
    if (read == SymbolRead::MissingNode) {
      diagnostics.Out("Huffman Decompression: Reached NULL node.\n");
      return false;
    }
    if (read == SymbolRead::OutOfData) return false;
    if (symbol < 16) {
      lengths[filled++] = symbol;
      continue;
    }
    int32_t value = 0;
    uint32_t repeat;
    if (symbol == 16) {
      if (filled == 0) return false;
      value = lengths[filled - 1];
      if (!bits.ReadBits(2, repeat)) return false;
      repeat += 3;
    } else if (symbol == 17) {
      if (!bits.ReadBits(3, repeat)) return false;
      repeat += 3;
    } else {
      if (!bits.ReadBits(7, repeat)) return false;
      repeat += 11;
    }
    if (repeat > static_cast<uint32_t>(total - filled)) return false;
    std::fill_n(lengths + filled, repeat, value);
    filled += static_cast<int>(repeat);
  }
  return true;
}

}  // namespace

bool ReadDynamicCodes(InflateBitReader& bits, DynamicCodes& codes, Diagnostics& diagnostics) {
  uint32_t hlit, hdist, hclen;
  if (!bits.ReadBits(5, hlit) || !bits.ReadBits(5, hdist) || !bits.ReadBits(4, hclen)) {
    return false;
  }
  int32_t codeLengthLengths[kCodeLengthSymbols] = {};
  for (uint32_t i = 0; i < hclen + 4; ++i) {
    uint32_t length;
    if (!bits.ReadBits(3, length)) return false;
    codeLengthLengths[kCodeLengthOrder[i]] = static_cast<int32_t>(length);
  }
  int32_t codeLengthCodes[kCodeLengthSymbols];
  AssignCanonicalCodes(codeLengthLengths, codeLengthCodes, kCodeLengthSymbols);
  const auto codeLengthTree = BuildTree(kCodeLengthSymbols, codeLengthLengths, codeLengthCodes);

  codes.literalCount = static_cast<int>(hlit) + 257;
  codes.distanceCount = static_cast<int>(hdist) + 1;
  int32_t lengths[kLiteralLengthSymbols + kDistanceSymbols];
  if (!ReadLengthRun(*codeLengthTree, bits, lengths, codes.literalCount + codes.distanceCount,
                     diagnostics)) {
    return false;
  }
  std::copy_n(lengths, codes.literalCount, codes.literalLengths);
  std::copy_n(lengths + codes.literalCount, codes.distanceCount, codes.distanceLengths);
  AssignCanonicalCodes(codes.literalLengths, codes.literalCodes, codes.literalCount);
  AssignCanonicalCodes(codes.distanceLengths, codes.distanceCodes, codes.distanceCount);
  return true;
}

}  // namespace genshoku::png
