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
constexpr uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                      31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t kLengthExtraBits[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                          2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};

// Base distances and extra bits of the distance codes 0 to 29.
constexpr uint16_t kDistanceBase[30] = {1,    2,    3,    4,    5,    7,     9,     13,    17,  25,
                                        33,   49,   65,   97,   129,  193,   257,   385,   513, 769,
                                        1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
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
  if (length < 2) {
    diagnostics_.Out("Buffer overflow\n");
    return false;
  }
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
      case 0:
        ok = InflateStoredBlock();
        break;
      case 1:
        ok = InflateFixedBlock();
        break;
      case 2:
        ok = InflateDynamicBlock();
        break;
      default:
        diagnostics_.Out("Unknown compression type (bType=3)\n");
        ok = false;
        break;
    }
  }
  window_.clear();
  window_.shrink_to_fit();
  return ok;
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

// `distances` is null for a fixed block, whose distance codes are plain 5-bit numbers.
bool PngInflater::InflateHuffmanBlock(const HuffmanDecodeTable& literals,
                                      const HuffmanDecodeTable* distances) {
  uint8_t* const window = window_.data();
  const size_t windowSize = window_.size();
  for (;;) {
    int32_t symbol;
    const SymbolRead read = literals.Read(bits_, symbol);
    if (read == SymbolRead::MissingNode) {
      return FailAfterHandOver("Huffman Decompression: Reached NULL node.\n");
    }
    if (read == SymbolRead::OutOfData) return FailAfterHandOver(nullptr);
    if (symbol < kEndOfBlock) {
      if (waiting_ == windowSize && !HandOver()) return false;
      window[windowPosition_] = static_cast<uint8_t>(symbol);
      windowPosition_ = (windowPosition_ + 1) & windowMask_;
      ++waiting_;
      ++produced_;
    } else if (symbol == kEndOfBlock) {
      return HandOver();
    } else if (symbol <= kLastLengthSymbol) {
      const int index = symbol - (kEndOfBlock + 1);
      uint32_t extra;
      if (!bits_.ReadBits(kLengthExtraBits[index], extra)) return FailAfterHandOver(nullptr);
      const uint32_t length = kLengthBase[index] + extra;
      uint32_t distance;
      if (!ReadDistance(distances, distance)) return false;
      // A distance reaching before the first byte, or further back than the window
      // keeps, has nothing true to copy.
      if (distance > produced_ || distance > windowSize) return FailAfterHandOver(nullptr);
      if (!CopyFromWindow(length, distance)) return false;
    }
    // The two symbols beyond the last length symbol carry nothing and are passed over.
  }
}

// On failure the waiting bytes have been dealt with already (FailAfterHandOver).
bool PngInflater::ReadDistance(const HuffmanDecodeTable* distances, uint32_t& distance) {
  uint32_t code;
  if (distances == nullptr) {
    if (!bits_.ReadBitsMsbFirst(kFixedDistanceBits, code)) return FailAfterHandOver(nullptr);
  } else {
    int32_t symbol;
    const SymbolRead read = distances->Read(bits_, symbol);
    if (read == SymbolRead::MissingNode) {
      return FailAfterHandOver("Huffman Decompression: Reached NULL node.\n");
    }
    if (read == SymbolRead::OutOfData) return FailAfterHandOver(nullptr);
    code = static_cast<uint32_t>(symbol);
  }
  // Codes 30 and 31 exist in the alphabet but stand for no distance.
  if (code >= 30) return FailAfterHandOver(nullptr);
  uint32_t extra;
  if (!bits_.ReadBits(kDistanceExtraBits[code], extra)) return FailAfterHandOver(nullptr);
  distance = kDistanceBase[code] + extra;
  return true;
}

// The distance has been checked against the bytes produced and the window size.
bool PngInflater::CopyFromWindow(uint32_t length, uint32_t distance) {
  uint8_t* const window = window_.data();
  const size_t windowSize = window_.size();
  while (length > 0) {
    if (waiting_ == windowSize && !HandOver()) return false;
    // No more than the window can hold before the waiting bytes are handed over.
    const size_t count = std::min<size_t>(length, windowSize - waiting_);
    const size_t from = (windowPosition_ - distance) & windowMask_;
    const bool wraps = from + count > windowSize || windowPosition_ + count > windowSize;
    // Byte by byte when the copy repeats its own output (distance below the length) or
    // wraps around the end of the window; otherwise all bytes read are old ones.
    if (!wraps && (from > windowPosition_ || windowPosition_ - from >= count)) {
      std::memmove(window + windowPosition_, window + from, count);
      windowPosition_ = (windowPosition_ + count) & windowMask_;
    } else {
      for (size_t i = 0; i < count; ++i) {
        window[windowPosition_] = window[(windowPosition_ - distance) & windowMask_];
        windowPosition_ = (windowPosition_ + 1) & windowMask_;
      }
    }
    waiting_ += count;
    produced_ += count;
    length -= static_cast<uint32_t>(count);
  }
  return true;
}

bool PngInflater::HandOver() {
  while (waiting_ > 0) {
    const size_t start = (windowPosition_ - waiting_) & windowMask_;
    const size_t count = std::min(waiting_, window_.size() - start);
    if (decoder_.ConsumeBytes(window_.data() + start, count) != count) {
      waiting_ = 0;
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
