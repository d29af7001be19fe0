#pragma once
// The header of a dynamic deflate block: the code lengths of the literal/length and
// distance codes, run-length coded with the code-length symbols 16 (repeat the previous
// length 3..6 times), 17 (3..10 zeros) and 18 (11..138 zeros), and the code-length code
// that sends them.

#include <cstdint>
#include <vector>

#include "codecs/png/deflate_bit_writer.h"
#include "codecs/png/deflate_tables.h"

namespace genshoku::png {

class DynamicBlockHeader {
 public:
  // Plans the header for these code lengths (286 and 30 entries): of the ways to use or
  // leave out each of the three repeat symbols, the one that gives the fewest bits.
  DynamicBlockHeader(const uint8_t* literalLengthLengths, const uint8_t* distanceLengths);

  // The header's size: block type bits included, BFINAL not.
  uint32_t BitCount() const { return bitCount_; }
  // Writes BFINAL, the block type and the header.
  void Write(DeflateBitWriter& writer, bool final) const;

 private:
  struct RunSymbol {
    uint8_t symbol;  // 0..18
    uint8_t extra;   // the repeat count less its base, for 16, 17 and 18
  };
  void Encode(const uint8_t* lengths, int count, bool use16, bool use17, bool use18,
              std::vector<RunSymbol>& out) const;
  uint32_t Measure(const std::vector<RunSymbol>& runs, uint8_t* codeLengths, int& hclen) const;

  int hlit_ = 257;
  int hdist_ = 1;
  int hclen_ = 4;
  uint8_t codeLengthLengths_[kCodeLengthSymbols] = {};
  std::vector<RunSymbol> runs_;
  uint32_t bitCount_ = 0;
};

}  // namespace genshoku::png
