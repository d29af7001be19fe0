#include "codecs/gif/lzw_decoder.h"

#include <array>

namespace genshoku::gif {

namespace {

constexpr int kMaxCodes = 4096;
constexpr int kMaxCodeBits = 12;
constexpr int kLargestMinimumCodeSize = 8;  // a colour index is one byte
constexpr uint16_t kNoParent = 0xFFF;

struct LzwEntry {
  uint16_t stringLength;
  uint16_t parentCode;  // the string without its last index
  uint8_t lastByte;
  uint8_t firstByte;  // kept so that no string has to be walked to learn how it starts
};

class CodeTable {
 public:
  explicit CodeTable(int minimumCodeSize)
      : minimumCodeSize_(minimumCodeSize), clear_(uint16_t(1u << minimumCodeSize)) {
    for (uint16_t code = 0; code < clear_; ++code) {
      entries_[code] = {1, kNoParent, uint8_t(code), uint8_t(code)};
    }
    Restart();
  }

  uint16_t clear() const { return clear_; }
  uint16_t stop() const { return clear_ + 1; }
  int codeBits() const { return codeBits_; }
  bool Contains(uint16_t code) const { return code < used_; }
  const LzwEntry& operator[](uint16_t code) const { return entries_[code]; }

  void Restart() {
    used_ = clear_ + 2;
    codeBits_ = minimumCodeSize_ + 1;
    full_ = false;
  }

  // Adds the string of `previous` followed by a last index that is not known yet: the
  // first index of `previous` stands in for it, which is right when the next code is the
  // new entry itself. Returns false when the table is full.
  bool AddAfter(uint16_t previous) {
    if (full_) return false;
    const LzwEntry& base = entries_[previous];
    entries_[used_] = {uint16_t(base.stringLength + 1), previous, base.firstByte, base.firstByte};
    ++used_;
    if (used_ == kMaxCodes) full_ = true;
    return true;
  }

  void SetNewestLastByte(uint8_t byte) { entries_[used_ - 1].lastByte = byte; }
  uint16_t newest() const { return used_ - 1; }

  // The code just read was read at the old width; the entry added for it may have filled
  // the current width, and the next code is then one bit wider.
  void WidenIfFilled() {
    if (!full_ && (used_ & (used_ - 1)) == 0 && codeBits_ < kMaxCodeBits) ++codeBits_;
  }

 private:
  int minimumCodeSize_;
  uint16_t clear_;
  uint16_t used_ = 0;
  int codeBits_ = 0;
  bool full_ = false;
  std::array<LzwEntry, kMaxCodes> entries_{};
};

// Writes the string of `code` backwards from its last index, as the table links it.
void PlaceString(const CodeTable& table, uint16_t code, uint64_t position,
                 const ImagePlacement& placement) {
  const uint16_t length = table[code].stringLength;
  if (!placement.AnyVisible(position, length)) return;
  for (uint16_t i = length; i-- > 0;) {
    placement.Put(position + i, table[code].lastByte);
    code = table[code].parentCode;
  }
}

// The decoding loop; `position` counts the indices produced.
LzwOutcome DecodeCodes(CodeReader& codes, int minimumCodeSize, const ImagePlacement& placement,
                       uint64_t& position) {
  if (minimumCodeSize < 0 || minimumCodeSize > kLargestMinimumCodeSize) {
    return LzwOutcome::BadCodeSize;
  }
  CodeTable table(minimumCodeSize);
  // No previous code at the start and after every clear code: a stream that does not
  // begin with a clear code is read as if it did.
  bool havePrevious = false;
  uint16_t previous = 0;
  for (;;) {
    uint16_t code = 0;
    if (!codes.ReadCode(table.codeBits(), code)) return LzwOutcome::DataEnded;
    if (code == table.clear()) {
      table.Restart();
      havePrevious = false;
      continue;
    }
    if (code == table.stop()) return LzwOutcome::Complete;

    const bool added = havePrevious && table.AddAfter(previous);
    if (!table.Contains(code)) return LzwOutcome::CodeUnknown;
    PlaceString(table, code, position, placement);
    position += table[code].stringLength;
    // Unless the code was the new entry itself, the new entry ends with this code's first
    // index. This holds as well for the entry that fills the table.
    if (added && code != table.newest()) table.SetNewestLastByte(table[code].firstByte);
    if (added) table.WidenIfFilled();
    previous = code;
    havePrevious = true;
  }
}

}  // namespace

LzwOutcome DecodeLzw(CodeReader& codes, int minimumCodeSize, const ImagePlacement& placement,
                     uint64_t* decodedCount) {
  uint64_t position = 0;
  const LzwOutcome outcome = DecodeCodes(codes, minimumCodeSize, placement, position);
  if (decodedCount != nullptr) *decodedCount = position;
  return outcome;
}

}  // namespace genshoku::gif
