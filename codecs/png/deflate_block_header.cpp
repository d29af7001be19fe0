#include "codecs/png/deflate_block_header.h"

#include <cstring>

#include "codecs/png/canonical_codes.h"
#include "codecs/png/huffman_limited_lengths.h"

namespace genshoku::png {

namespace {

// The order in which the code-length code's lengths are sent.
constexpr uint8_t kCodeLengthOrder[kCodeLengthSymbols] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                          11, 4,  12, 3, 13, 2, 14, 1, 15};
constexpr int kCodeLengthLimit = 7;
constexpr int kRepeatExtraBits[3] = {2, 3, 7};  // for symbols 16, 17, 18

}  // namespace

DynamicBlockHeader::DynamicBlockHeader(const uint8_t* literalLengthLengths,
                                       const uint8_t* distanceLengths) {
  hlit_ = kLiteralLengthSymbols;
  while (hlit_ > 257 && literalLengthLengths[hlit_ - 1] == 0) --hlit_;
  hdist_ = kDistanceSymbols;
  while (hdist_ > 1 && distanceLengths[hdist_ - 1] == 0) --hdist_;
  // Both lists form one sequence: a run may go on from the one into the other.
  uint8_t sequence[kLiteralLengthSymbols + kDistanceSymbols];
  std::memcpy(sequence, literalLengthLengths, static_cast<size_t>(hlit_));
  std::memcpy(sequence + hlit_, distanceLengths, static_cast<size_t>(hdist_));
  const int count = hlit_ + hdist_;

  bitCount_ = UINT32_MAX;
  std::vector<RunSymbol> runs;
  for (int variant = 0; variant < 8; ++variant) {
    Encode(sequence, count, (variant & 1) != 0, (variant & 2) != 0, (variant & 4) != 0, runs);
    uint8_t codeLengths[kCodeLengthSymbols];
    int hclen = 0;
    const uint32_t bits = Measure(runs, codeLengths, hclen);
    if (bits < bitCount_) {
      bitCount_ = bits;
      hclen_ = hclen;
      std::memcpy(codeLengthLengths_, codeLengths, sizeof codeLengths);
      runs_ = runs;
    }
  }
}

// Greedy run-length coding with the chosen repeat symbols.
void DynamicBlockHeader::Encode(const uint8_t* lengths, int count, bool use16, bool use17,
                                bool use18, std::vector<RunSymbol>& out) const {
  out.clear();
  int i = 0;
  while (i < count) {
    const uint8_t value = lengths[i];
    int run = 1;
    while (i + run < count && lengths[i + run] == value) ++run;
    i += run;
    if (value == 0 && (use17 || use18)) {
      while (run >= 3) {
        if (use18 && (run >= 11 || !use17)) {
          if (run < 11) break;
          const int take = run < 138 ? run : 138;
          out.push_back({18, static_cast<uint8_t>(take - 11)});
          run -= take;
        } else {
          const int take = run < 10 ? run : 10;
          out.push_back({17, static_cast<uint8_t>(take - 3)});
          run -= take;
        }
      }
      for (; run > 0; --run) out.push_back({0, 0});
      continue;
    }
    out.push_back({value, 0});
    --run;
    if (use16) {
      while (run >= 3) {
        const int take = run < 6 ? run : 6;
        out.push_back({16, static_cast<uint8_t>(take - 3)});
        run -= take;
      }
    }
    for (; run > 0; --run) out.push_back({value, 0});
  }
}

uint32_t DynamicBlockHeader::Measure(const std::vector<RunSymbol>& runs, uint8_t* codeLengths,
                                     int& hclen) const {
  uint32_t counts[kCodeLengthSymbols] = {};
  for (const RunSymbol& run : runs) ++counts[run.symbol];
  CompleteLimitedCodeLengths(counts, kCodeLengthSymbols, kCodeLengthLimit, codeLengths);
  hclen = kCodeLengthSymbols;
  while (hclen > 4 && codeLengths[kCodeLengthOrder[hclen - 1]] == 0) --hclen;
  uint32_t bits = 2 + 5 + 5 + 4 + 3 * static_cast<uint32_t>(hclen);
  for (int symbol = 0; symbol < kCodeLengthSymbols; ++symbol) {
    bits += counts[symbol] * codeLengths[symbol];
    if (symbol >= 16) bits += counts[symbol] * kRepeatExtraBits[symbol - 16];
  }
  return bits;
}

void DynamicBlockHeader::Write(DeflateBitWriter& writer, bool final) const {
  writer.Put(final ? 1 : 0, 1);
  writer.Put(2, 2);  // dynamic Huffman codes
  writer.Put(static_cast<uint32_t>(hlit_ - 257), 5);
  writer.Put(static_cast<uint32_t>(hdist_ - 1), 5);
  writer.Put(static_cast<uint32_t>(hclen_ - 4), 4);
  for (int i = 0; i < hclen_; ++i) writer.Put(codeLengthLengths_[kCodeLengthOrder[i]], 3);
  int32_t lengths[kCodeLengthSymbols];
  int32_t codes[kCodeLengthSymbols];
  for (int s = 0; s < kCodeLengthSymbols; ++s) lengths[s] = codeLengthLengths_[s];
  AssignCanonicalCodes(lengths, codes, kCodeLengthSymbols);
  for (const RunSymbol& run : runs_) {
    writer.Put(ReverseBits(static_cast<uint32_t>(codes[run.symbol]), lengths[run.symbol]),
               lengths[run.symbol]);
    if (run.symbol >= 16) writer.Put(run.extra, kRepeatExtraBits[run.symbol - 16]);
  }
}

}  // namespace genshoku::png
