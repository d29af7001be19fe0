#include "codecs/png/png_inflater.h"

#include <algorithm>
#include <cstring>

#include "codecs/png/inflate_dynamic_codes.h"
#include "codecs/png/inflate_trees.h"
#include "codecs/png/png_decoder.h"

namespace genshoku::png {

namespace {

constexpr int kCompressionMethodDeflate = 8;
constexpr uint8_t kPresetDictionaryFlag = 0x20;

// Base lengths and extra bits of the length symbols 257 to 285.
constexpr uint16_t kLengthBase[29] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                      15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                      67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t kLengthExtraBits[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                          2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};

// Base distances and extra bits of the distance codes 0 to 29.
constexpr uint16_t kDistanceBase[30] = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr uint8_t kDistanceExtraBits[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                            6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

constexpr int32_t kEndOfBlock = 256;
constexpr int32_t kLastLengthSymbol = 285;
constexpr int kFixedDistanceBits = 5;

}  // namespace

PngInflater::PngInflater(VxGenericPngDecoder& decoder, Diagnostics& diagnostics)
    : decoder_(decoder), diagnostics_(diagnostics) {}

bool PngInflater::Inflate(const uint8_t* data, size_t length) {
  produced_ = 0;
  windowPosition_ = 0;
  waiting_ = 0;
  refused_ = false;
  if (length < 2) {
    diagnostics_.Out("Buffer overflow\n");
    outcome_ = InflateOutcome::DataEnded;
    return false;
  }
  outcome_ = InflateOutcome::Damaged;
  const int method = data[0] & 0x0F;
  if (method != kCompressionMethodDeflate) {
    diagnostics_.Out("Unsupported compression method! (%d)\n", method);
    return false;
  }
  if ((data[1] & kPresetDictionaryFlag) != 0) {
    diagnostics_.Out("PNG is not supposed to have a preset dictionary.\n");
    return false;
  }
  window_.assign(size_t{1} << ((data[0] >> 4) + 8), 0);
  windowMask_ = window_.size() - 1;
  bits_ = InflateBitReader(data, length, 2);

  // Every block hands over all its bytes before it ends, so nothing is waiting here.
  bool ok = true;
  for (bool finalBlock = false; ok && !finalBlock;) {
    uint32_t final, type;
    if (!bits_.ReadBits(1, final) || !bits_.ReadBits(2, type) || bits_.BytesLeft() == 0) {
      diagnostics_.Out("Buffer overflow\n");
      ok = false;
      break;
    }
    finalBlock = final != 0;
    switch (type) {
      case 0: ok = InflateStoredBlock(); break;
      case 1: ok = InflateFixedBlock(); break;
      case 2: ok = InflateDynamicBlock(); break;
      default:
        diagnostics_.Out("Unknown compression type (bType=3)\n");
        ok = false;
        break;
    }
  }
  window_.clear();
  window_.shrink_to_fit();
  outcome_ = ClassifyEnd(ok);
  return ok;
}

InflateOutcome PngInflater::ClassifyEnd(bool finished) const {
  if (finished) return InflateOutcome::Finished;
  if (refused_) return InflateOutcome::Refused;
  // A read that failed for want of bits stopped within the last bytes; a failure with
  // more data ahead was a code, distance or block type that cannot be.
  constexpr uint64_t kMostBitsOfOneRead = 64;
  return bits_.BitsLeft() < kMostBitsOfOneRead ? InflateOutcome::DataEnded
                                               : InflateOutcome::Damaged;
}

bool PngInflater::InflateStoredBlock() {
  bits_.AlignToByte();
  if (bits_.BytesLeft() < 4) {
    diagnostics_.Out("Buffer overflow\n");
    return false;
  }
  const uint8_t* header = bits_.BytePointer();
  const size_t length = header[0] | (size_t{header[1]} << 8);
  // The one's complement of the length that follows is not checked.
  bits_.SkipBytes(4);
  // A block cut short still delivers what it holds.
  const size_t available = std::min(length, bits_.BytesLeft());
  const uint8_t* bytes = bits_.BytePointer();
  for (size_t copied = 0; copied < available;) {
    const size_t piece = std::min(available - copied, window_.size() - windowPosition_);
    std::memcpy(window_.data() + windowPosition_, bytes + copied, piece);
    windowPosition_ = (windowPosition_ + piece) & windowMask_;
    copied += piece;
  }
  produced_ += available;
  // The decoder's answers do not stop a stored block: after a refused byte the rest are
  // offered all the same.
  for (size_t offered = 0; offered < available;) {
    offered += decoder_.ConsumeBytes(bytes + offered, available - offered);
    if (offered < available) ++offered;
  }
  bits_.SkipBytes(available);
  return available == length;
}

bool PngInflater::InflateFixedBlock() {
  int32_t lengths[kLiteralLengthSymbols], codes[kLiteralLengthSymbols];
  BuildFixedCodes(lengths, codes);
  const auto tree = BuildTree(kLiteralLengthSymbols, lengths, codes);
  const HuffmanDecodeTable literals(*tree);
  return InflateHuffmanBlock(literals, nullptr);
}

bool PngInflater::InflateDynamicBlock() {
  DynamicCodes codes;
  if (!ReadDynamicCodes(bits_, codes, diagnostics_)) return false;
  const auto literalTree = BuildTree(codes.literalCount, codes.literalLengths, codes.literalCodes);
  const auto distanceTree =
      BuildTree(codes.distanceCount, codes.distanceLengths, codes.distanceCodes);
  const HuffmanDecodeTable literals(*literalTree);
  const HuffmanDecodeTable distances(*distanceTree);
  return InflateHuffmanBlock(literals, &distances);
}

namespace {

uint64_t LoadWord(const uint8_t* bytes) {
  uint64_t word;
  std::memcpy(&word, bytes, sizeof word);
  return word;
}

// Copies `count` bytes from `distance` back to `position` in the circular window, byte
// after byte as far as the result goes (a copy may repeat its own output); the window
// has room for them. Returns the new position.
size_t CopyInWindow(uint8_t* window, size_t windowSize, size_t windowMask, size_t position,
                    size_t distance, size_t count) {
  const size_t from = (position - distance) & windowMask;
  if (from + count <= windowSize && position + count <= windowSize) {
    uint8_t* target = window + position;
    if (from >= position || position - from >= count) {
      // Every byte read is an old one (a distance of the whole window reads each byte
      // just before it is written again).
      std::memmove(target, window + from, count);
    } else {
      // The copy repeats its own output (here from = position - distance), so it goes
      // forward byte by byte.
      const uint8_t* source = window + from;
      for (size_t i = 0; i < count; ++i) target[i] = source[i];
    }
    return (position + count) & windowMask;
  }
  for (size_t i = 0; i < count; ++i) {
    window[position] = window[(position - distance) & windowMask];
    position = (position + 1) & windowMask;
  }
  return position;
}

// Where the window stands: the place of the next byte, the bytes not handed over yet, and
// every byte made so far.
struct WindowCursor {
  size_t position;
  size_t waiting;
  uint64_t produced;
};

// The most bits one literal or copy can take in the quick stretch below: table leaves
// of at most kLookupBits for both codes, 5 and 13 extra bits.
constexpr int kMostBitsOfACopy = 2 * HuffmanDecodeTable::kLookupBits + 5 + 13;
static_assert(kMostBitsOfACopy <= 56);

// The quick stretch of a dynamic block: literals and copies that the careful decoding of
// InflateHuffmanBlock would all let pass (codes found in the tables, sound distances, room
// in the window, eight bytes of data ahead) are taken with the bits kept in a register,
// refilled a word at a time. Anything else ends the stretch before any of its bits are
// taken, and the careful decoding takes that symbol again. The cursor is copied into
// locals for the loop, so that no byte stored into the window can alias it.
void TakeQuickStretch(const HuffmanDecodeTable& literals, const HuffmanDecodeTable& distances,
                      uint8_t* window, size_t windowSize, size_t windowMask, InflateBitReader& bits,
                      WindowCursor& cursor) {
  size_t position = cursor.position;
  size_t waiting = cursor.waiting;
  uint64_t produced = cursor.produced;
  const uint8_t* const data = bits.data();
  const uint8_t* const dataEnd = data + bits.length();
  const uint64_t start = bits.BitPosition();
  const uint8_t* in = data + start / 8;
  uint64_t hold = LoadWord(in);
  in += 7;
  const int skipped = static_cast<int>(start % 8);
  hold >>= skipped;
  int held = 56 - skipped;  // the position is (in - data) * 8 - held
  for (;;) {
    int32_t symbol;
    int symbolBits;
    if (!literals.LeafOf(hold, symbol, symbolBits)) break;
    if (symbol < kEndOfBlock) {
      if (waiting == windowSize) break;
      window[position] = static_cast<uint8_t>(symbol);
      position = (position + 1) & windowMask;
      ++waiting;
      ++produced;
    } else if (symbol <= kLastLengthSymbol) {
      if (symbol == kEndOfBlock) break;
      const int index = symbol - (kEndOfBlock + 1);
      int used = symbolBits;
      const int lengthExtraBits = kLengthExtraBits[index];
      const uint32_t length = kLengthBase[index] +
                              static_cast<uint32_t>((hold >> used) & ((1u << lengthExtraBits) - 1));
      used += lengthExtraBits;
      int32_t code;
      int codeBits;
      if (!distances.LeafOf(hold >> used, code, codeBits) || code >= 30) break;
      used += codeBits;
      const int distanceExtraBits = kDistanceExtraBits[code];
      const uint32_t distance =
          kDistanceBase[code] +
          static_cast<uint32_t>((hold >> used) & ((1u << distanceExtraBits) - 1));
      if (distance > produced || distance > windowSize || waiting + length > windowSize) break;
      symbolBits = used + distanceExtraBits;
      position = CopyInWindow(window, windowSize, windowMask, position, distance, length);
      waiting += length;
      produced += length;
    }
    // (The two symbols beyond the last length symbol are passed over.)
    hold >>= symbolBits;
    held -= symbolBits;
    if (held < kMostBitsOfACopy) {
      if (dataEnd - in < 8) break;
      hold |= LoadWord(in) << held;
      in += (63 - held) >> 3;
      held |= 56;
    }
  }
  bits.SetBitPosition(static_cast<uint64_t>(in - data) * 8 - static_cast<uint64_t>(held));
  cursor = {position, waiting, produced};
}

}  // namespace

// `distances` is null for a fixed block, whose distance codes are plain 5-bit numbers.
//
// The reader and the window's position and counts live in local variables throughout:
// as members, every byte stored into the window could alias them and force them to be
// read again from memory. They go back into the members around every hand-over.
bool PngInflater::InflateHuffmanBlock(const HuffmanDecodeTable& literals,
                                      const HuffmanDecodeTable* distances) {
  uint8_t* const window = window_.data();
  const size_t windowSize = window_.size();
  const size_t windowMask = windowMask_;
  InflateBitReader bits = bits_;
  size_t position = windowPosition_;
  size_t waiting = waiting_;
  uint64_t produced = produced_;
  const auto store = [&] {
    bits_ = bits;
    windowPosition_ = position;
    waiting_ = waiting;
    produced_ = produced;
  };
  const auto handOver = [&] {
    store();
    const bool accepted = HandOver();
    waiting = waiting_;
    return accepted;
  };
  const auto fail = [&](const char* message) {
    store();
    return FailAfterHandOver(message);
  };
  static constexpr const char* kMissingNode = "Huffman Decompression: Reached NULL node.\n";

  for (;;) {
    // Fixed blocks are rare in PNG files: only dynamic ones take the quick stretch.
    if (distances != nullptr && bits.BytesLeft() >= 16) {
      WindowCursor cursor{position, waiting, produced};
      TakeQuickStretch(literals, *distances, window, windowSize, windowMask, bits, cursor);
      position = cursor.position;
      waiting = cursor.waiting;
      produced = cursor.produced;
    }

    int32_t symbol;
    const SymbolRead read = literals.Read(bits, symbol);
    if (read != SymbolRead::Found)
      return fail(read == SymbolRead::MissingNode ? kMissingNode : nullptr);
    if (symbol < kEndOfBlock) {
      if (waiting == windowSize && !handOver()) return false;
      window[position] = static_cast<uint8_t>(symbol);
      position = (position + 1) & windowMask;
      ++waiting;
      ++produced;
      continue;
    }
    if (symbol == kEndOfBlock) return handOver();
    // The two symbols beyond the last length symbol carry nothing and are passed over.
    if (symbol > kLastLengthSymbol) continue;

    const int index = symbol - (kEndOfBlock + 1);
    uint32_t extra;
    if (!bits.ReadBits(kLengthExtraBits[index], extra)) return fail(nullptr);
    uint32_t length = kLengthBase[index] + extra;
    uint32_t code;
    if (distances == nullptr) {
      if (!bits.ReadBitsMsbFirst(kFixedDistanceBits, code)) return fail(nullptr);
    } else {
      int32_t distanceSymbol;
      const SymbolRead distanceRead = distances->Read(bits, distanceSymbol);
      if (distanceRead != SymbolRead::Found) {
        return fail(distanceRead == SymbolRead::MissingNode ? kMissingNode : nullptr);
      }
      code = static_cast<uint32_t>(distanceSymbol);
    }
    // Codes 30 and 31 exist in the alphabet but stand for no distance.
    if (code >= 30) return fail(nullptr);
    if (!bits.ReadBits(kDistanceExtraBits[code], extra)) return fail(nullptr);
    const uint32_t distance = kDistanceBase[code] + extra;
    // A distance reaching before the first byte, or further back than the window keeps,
    // has nothing true to copy.
    if (distance > produced || distance > windowSize) return fail(nullptr);

    while (length > 0) {
      if (waiting == windowSize && !handOver()) return false;
      // No more than the window can hold before the waiting bytes are handed over.
      const size_t count = std::min<size_t>(length, windowSize - waiting);
      position = CopyInWindow(window, windowSize, windowMask, position, distance, count);
      waiting += count;
      produced += count;
      length -= static_cast<uint32_t>(count);
    }
  }
}

bool PngInflater::HandOver() {
  while (waiting_ > 0) {
    const size_t start = (windowPosition_ - waiting_) & windowMask_;
    const size_t count = std::min(waiting_, window_.size() - start);
    if (decoder_.ConsumeBytes(window_.data() + start, count) != count) {
      waiting_ = 0;
      refused_ = true;
      return false;
    }
    waiting_ -= count;
  }
  return true;
}

bool PngInflater::FailAfterHandOver(const char* message) {
  if (HandOver() && message != nullptr) diagnostics_.Out("%s", message);
  return false;
}

}  // namespace genshoku::png
