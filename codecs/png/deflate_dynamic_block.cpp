#include <vector>

#include "codecs/png/canonical_codes.h"
#include "codecs/png/deflate_blocks.h"
#include "codecs/png/deflate_tables.h"
#include "codecs/png/huffman_tree_manager.h"
#include "codecs/png/lz77_tokenizer.h"

namespace genshoku::png {

namespace {

// The order in which a dynamic block header sends the code-length code lengths.
constexpr int kCodeLengthOrder[kCodeLengthSymbols] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                      11, 4,  12, 3, 13, 2, 14, 1, 15};

// One alphabet's code: a length and a bit-reversed code per symbol, and how many of the
// symbols the block header announces.
struct AlphabetCode {
  std::vector<int32_t> lengths;
  std::vector<uint32_t> codes;
  int sentCount = 0;

  explicit AlphabetCode(int symbols) : lengths(symbols, 0), codes(symbols, 0) {}

  // Canonical codes, each reversed in its own length: the bit buffer fills from the least
  // significant bit, while deflate sends Huffman codes most significant bit first.
  void AssignCodes() {
    std::vector<int32_t> canonical(lengths.size(), 0);
    AssignCanonicalCodes(lengths.data(), canonical.data(), static_cast<int>(lengths.size()));
    for (size_t symbol = 0; symbol < lengths.size(); ++symbol) {
      codes[symbol] = ReverseBits(static_cast<uint32_t>(canonical[symbol]), lengths[symbol]);
    }
  }

  void Write(ZlibOutputBuffer& buffer, uint32_t symbol) const {
    buffer.WriteBits(codes[symbol], lengths[symbol]);
  }
};

void PrintTreeSummary(Diagnostics& diagnostics, const VxPngHuffmanTreeManager& tree) {
  diagnostics.Out("Max depth=%d\n", tree.RootDepth());
  diagnostics.Out("Root Weight=%d\n", static_cast<int>(tree.RootWeight()));
}

bool BuildLiteralLengthCode(ZlibOutputBuffer& buffer, const Lz77Tokens& tokens,
                            AlphabetCode& code) {
  Diagnostics& diagnostics = buffer.diagnostics();
  VxPngHuffmanTreeManager tree(diagnostics);
  if (!tree.MakeTreeFromData(tokens.symbol.data(), tokens.count,
                             static_cast<const uint32_t*>(nullptr), 0, kLiteralLengthSymbols - 1)) {
    return false;
  }
  if (!tree.LimitDepth(HuffmanAlphabet::LiteralLength)) return false;
  if (buffer.verbose) PrintTreeSummary(diagnostics, tree);
  tree.GetCodeLengths(code.lengths.data());
  if (buffer.verbose) {
    for (int symbol = 0; symbol < kLiteralLengthSymbols; ++symbol) {
      diagnostics.Out("LiteralLength[%3d]=%d\n", symbol, code.lengths[symbol]);
    }
  }
  // The end-of-block symbol always has a code, so at least 257 lengths are sent.
  code.sentCount = kLiteralLengthSymbols;
  while (code.sentCount > static_cast<int>(kEndOfBlock) + 1 &&
         code.lengths[code.sentCount - 1] == 0) {
    --code.sentCount;
  }
  code.AssignCodes();
  return true;
}

bool BuildDistanceCode(ZlibOutputBuffer& buffer, const Lz77Tokens& tokens, AlphabetCode& code) {
  Diagnostics& diagnostics = buffer.diagnostics();
  uint32_t weights[kDistanceSymbols] = {};
  bool anyCopy = false;
  for (size_t i = 0; i < tokens.count; ++i) {
    if (tokens.symbol[i] < kFirstLengthCode) continue;
    const uint32_t distanceCode = DistanceCodeOf(CopyDistance(tokens.copy[i]));
    if (distanceCode >= static_cast<uint32_t>(kDistanceSymbols)) return false;
    ++weights[distanceCode];
    anyCopy = true;
  }
  if (!anyCopy) {
    // Deflate needs at least one distance length even when no copy uses it.
    if (buffer.verbose) {
      diagnostics.Out("hDistLen cannot be zero.  It needs to be at least one.\n");
      diagnostics.Out("Making up a dummy backdist.\n");
    }
    code.sentCount = 1;
    code.AssignCodes();
    return true;
  }
  VxPngHuffmanTreeManager tree(diagnostics);
  tree.MakeTreeFromWeights(weights, kDistanceSymbols);
  if (!tree.LimitDepth(HuffmanAlphabet::Distance)) return false;
  if (buffer.verbose) PrintTreeSummary(diagnostics, tree);
  tree.GetCodeLengths(code.lengths.data());
  if (buffer.verbose) {
    for (int symbol = 0; symbol < kDistanceSymbols; ++symbol) {
      diagnostics.Out("BackdistLength[%3d]=%d\n", symbol, code.lengths[symbol]);
    }
  }
  code.sentCount = kDistanceSymbols;
  while (code.sentCount > 1 && code.lengths[code.sentCount - 1] == 0) --code.sentCount;
  if (buffer.verbose) diagnostics.Out("hDist=%d\n", code.sentCount);
  code.AssignCodes();
  return true;
}

// The code in which the literal/length and distance code lengths themselves are sent.
// Every length goes as its own symbol; the repeat symbols 16 to 18 are never used.
bool BuildCodeLengthCode(ZlibOutputBuffer& buffer, const AlphabetCode& literalCode,
                         const AlphabetCode& distanceCode, AlphabetCode& code) {
  Diagnostics& diagnostics = buffer.diagnostics();
  VxPngHuffmanTreeManager tree(diagnostics);
  if (!tree.MakeTreeFromData(literalCode.lengths.data(), static_cast<size_t>(literalCode.sentCount),
                             distanceCode.lengths.data(),
                             static_cast<size_t>(distanceCode.sentCount), kCodeLengthSymbols - 1)) {
    return false;
  }
  if (!tree.LimitDepth(HuffmanAlphabet::CodeLength)) return false;
  tree.GetCodeLengths(code.lengths.data());
  code.sentCount = kCodeLengthSymbols;
  code.AssignCodes();
  if (buffer.verbose) {
    for (int symbol = 0; symbol < kCodeLengthSymbols; ++symbol) {
      diagnostics.Out("CodeLengthLen[%3d]=%d  HuffmanCode=%08x\n", symbol, code.lengths[symbol],
                      code.codes[symbol]);
    }
  }
  return true;
}

// The header after the block type: the counts, the code-length code and every
// literal/length and distance code length. Writes through any sink with Put(bits, count).
template <typename Sink>
void WriteHeader(Sink& sink, int last, const AlphabetCode& literalCode,
                 const AlphabetCode& distanceCode, const AlphabetCode& codeLengthCode) {
  sink.Put(static_cast<uint32_t>(last ? 1 : 0) + 4, 3);  // BFINAL, BTYPE 10
  sink.Put(static_cast<uint32_t>(literalCode.sentCount - 257), 5);
  sink.Put(static_cast<uint32_t>(distanceCode.sentCount - 1), 5);
  sink.Put(kCodeLengthSymbols - 4, 4);  // all 19 code-length lengths follow
  for (int symbol : kCodeLengthOrder) {
    sink.Put(static_cast<uint32_t>(codeLengthCode.lengths[symbol]), 3);
  }
  for (int i = 0; i < literalCode.sentCount; ++i) {
    const auto length = static_cast<uint32_t>(literalCode.lengths[i]);
    sink.Put(codeLengthCode.codes[length], codeLengthCode.lengths[length]);
  }
  for (int i = 0; i < distanceCode.sentCount; ++i) {
    const auto length = static_cast<uint32_t>(distanceCode.lengths[i]);
    sink.Put(codeLengthCode.codes[length], codeLengthCode.lengths[length]);
  }
}

// Writes bits one call at a time, with the buffer's own growth at every call.
struct DirectSink {
  ZlibOutputBuffer& buffer;
  void Put(uint32_t bits, int count) { buffer.WriteBits(bits, count); }
};

// Writes the tokens one field at a time, stopping at the first inconsistent token with
// its message: the way for blocks whose tokens did not all pass the check in
// CountTokenBits.
bool WriteTokensOneByOne(ZlibOutputBuffer& buffer, const Lz77Tokens& tokens,
                         const AlphabetCode& literalCode, const AlphabetCode& distanceCode) {
  for (size_t i = 0; i < tokens.count; ++i) {
    const uint32_t symbol = tokens.symbol[i];
    if (symbol < kFirstLengthCode) {
      literalCode.Write(buffer, symbol);
      continue;
    }
    const int length = CopyLength(tokens.copy[i]);
    if (LengthCodeOf(length) != symbol) {
      buffer.diagnostics().Out("!Internal error! Copy code doesn't match the copy length.\n");
      return false;
    }
    literalCode.Write(buffer, symbol);
    buffer.WriteBits(static_cast<uint32_t>(length - LengthBase(symbol)), LengthExtraBits(symbol));
    const int distance = CopyDistance(tokens.copy[i]);
    const uint32_t distanceSymbol = DistanceCodeOf(distance);
    if (distanceSymbol >= static_cast<uint32_t>(kDistanceSymbols)) return false;
    distanceCode.Write(buffer, distanceSymbol);
    buffer.WriteBits(static_cast<uint32_t>(distance - DistanceBase(distanceSymbol)),
                     DistanceExtraBits(distanceSymbol));
  }
  return true;
}

uint64_t CountHeaderBits(const AlphabetCode& literalCode, const AlphabetCode& distanceCode,
                         const AlphabetCode& codeLengthCode) {
  uint64_t bits = 3 + 5 + 5 + 4 + 3 * kCodeLengthSymbols;
  for (int i = 0; i < literalCode.sentCount; ++i) {
    bits +=
        static_cast<uint64_t>(codeLengthCode.lengths[static_cast<size_t>(literalCode.lengths[i])]);
  }
  for (int i = 0; i < distanceCode.sentCount; ++i) {
    bits +=
        static_cast<uint64_t>(codeLengthCode.lengths[static_cast<size_t>(distanceCode.lengths[i])]);
  }
  return bits;
}

// The bits of all tokens; false if a token's length code or distance is inconsistent.
bool CountTokenBits(const Lz77Tokens& tokens, const AlphabetCode& literalCode,
                    const AlphabetCode& distanceCode, uint64_t& bits) {
  bits = 0;
  for (size_t i = 0; i < tokens.count; ++i) {
    const uint32_t symbol = tokens.symbol[i];
    bits += static_cast<uint64_t>(literalCode.lengths[symbol]);
    if (symbol < kFirstLengthCode) continue;
    if (LengthCodeOf(CopyLength(tokens.copy[i])) != symbol) return false;
    const uint32_t distanceSymbol = DistanceCodeOf(CopyDistance(tokens.copy[i]));
    if (distanceSymbol >= static_cast<uint32_t>(kDistanceSymbols)) return false;
    bits += static_cast<uint64_t>(LengthExtraBits(symbol) + distanceCode.lengths[distanceSymbol] +
                                  DistanceExtraBits(distanceSymbol));
  }
  return true;
}

// Writes checked tokens through the packer: a length code with its extra bits in one
// piece, the distance code with its extra bits in another.
void PackTokens(ZlibOutputBuffer::BitPacker& packer, const Lz77Tokens& tokens,
                const AlphabetCode& literalCode, const AlphabetCode& distanceCode) {
  const uint32_t* codes = literalCode.codes.data();
  const int32_t* lengths = literalCode.lengths.data();
  for (size_t i = 0; i < tokens.count; ++i) {
    const uint32_t symbol = tokens.symbol[i];
    if (symbol < kFirstLengthCode) {
      packer.Put(codes[symbol], lengths[symbol]);
      continue;
    }
    const uint32_t copy = tokens.copy[i];
    const int length = CopyLength(copy);
    packer.Put(codes[symbol] | static_cast<uint64_t>(length - LengthBase(symbol))
                                   << lengths[symbol],
               lengths[symbol] + LengthExtraBits(symbol));
    const int distance = CopyDistance(copy);
    const uint32_t distanceSymbol = DistanceCodeOf(distance);
    const int distanceLength = distanceCode.lengths[distanceSymbol];
    packer.Put(distanceCode.codes[distanceSymbol] |
                   static_cast<uint64_t>(distance - DistanceBase(distanceSymbol)) << distanceLength,
               distanceLength + DistanceExtraBits(distanceSymbol));
  }
}

// The header and the tokens. When every token is consistent, the room for all their
// bits is reserved at once (growing the buffer as bit-by-bit writing would, with the same
// lines, since nothing else is printed meanwhile) and the bits are packed in words.
bool WriteHeaderAndTokens(ZlibOutputBuffer& buffer, int last, const AlphabetCode& literalCode,
                          const AlphabetCode& distanceCode, const AlphabetCode& codeLengthCode,
                          const Lz77Tokens& tokens) {
  uint64_t tokenBits = 0;
  if (!CountTokenBits(tokens, literalCode, distanceCode, tokenBits)) {
    DirectSink sink{buffer};
    WriteHeader(sink, last, literalCode, distanceCode, codeLengthCode);
    return WriteTokensOneByOne(buffer, tokens, literalCode, distanceCode);
  }
  buffer.ReserveBits(CountHeaderBits(literalCode, distanceCode, codeLengthCode) + tokenBits);
  ZlibOutputBuffer::BitPacker packer(buffer);
  WriteHeader(packer, last, literalCode, distanceCode, codeLengthCode);
  PackTokens(packer, tokens, literalCode, distanceCode);
  packer.Finish();
  return true;
}

}  // namespace

int WriteDynamicBlock(ZlibOutputBuffer& buffer, const uint8_t* input, size_t length, int last) {
  Lz77Tokens tokens;
  Lz77Tokenize(input, length, tokens);
  return WriteDynamicBlockFromTokens(buffer, input, length, last, tokens);
}

int WriteDynamicBlockFromTokens(ZlibOutputBuffer& buffer, const uint8_t* input, size_t length,
                                int last, const Lz77Tokens& tokens) {
  AlphabetCode literalCode(kLiteralLengthSymbols);
  if (!BuildLiteralLengthCode(buffer, tokens, literalCode)) return 0;
  AlphabetCode distanceCode(kDistanceSymbols);
  if (!BuildDistanceCode(buffer, tokens, distanceCode)) return 0;
  if (buffer.verbose) {
    for (int symbol = 0; symbol < distanceCode.sentCount; ++symbol) {
      buffer.diagnostics().Out("DistLen[%3d]=%d  HuffmanCode=%08x\n", symbol,
                               distanceCode.lengths[symbol], distanceCode.codes[symbol]);
    }
  }
  AlphabetCode codeLengthCode(kCodeLengthSymbols);
  if (!BuildCodeLengthCode(buffer, literalCode, distanceCode, codeLengthCode)) return 0;

  if (!WriteHeaderAndTokens(buffer, last, literalCode, distanceCode, codeLengthCode, tokens)) {
    return 0;
  }
  buffer.AddToChecksum(input, length);
  return 1;
}

}  // namespace genshoku::png
