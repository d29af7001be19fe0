#include "codecs/png/png_inflater.h"

#include <algorithm>

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
      case 1: {
        int32_t lengths[kLiteralLengthSymbols], codes[kLiteralLengthSymbols];
        BuildFixedCodes(lengths, codes);
        ok = InflateHuffmanBlock(*BuildTree(kLiteralLengthSymbols, lengths, codes), nullptr);
        break;
      }
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
  // The decoder's answers do not stop a stored block.
  for (size_t i = 0; i < available; ++i) Emit(bytes[i]);
  bits_.SkipBytes(available);
  return available == length;
}

bool PngInflater::InflateDynamicBlock() {
  DynamicCodes codes;
  if (!ReadDynamicCodes(bits_, codes, diagnostics_)) return false;
  const auto literals = BuildTree(codes.literalCount, codes.literalLengths, codes.literalCodes);
  const auto distances =
      BuildTree(codes.distanceCount, codes.distanceLengths, codes.distanceCodes);
  return InflateHuffmanBlock(*literals, distances.get());
}

// `distances` is null for a fixed block, whose distance codes are plain 5-bit numbers.
bool PngInflater::InflateHuffmanBlock(const HuffmanTreeNode& literals,
                                      const HuffmanTreeNode* distances) {
  for (;;) {
    int32_t symbol;
    const SymbolRead read = ReadSymbol(literals, bits_, symbol);
    if (read == SymbolRead::MissingNode) {
      diagnostics_.Out("Huffman Decompression: Reached NULL node.\n");
      return false;
    }
    if (read == SymbolRead::OutOfData) return false;
    if (symbol < kEndOfBlock) {
      if (!Emit(static_cast<uint8_t>(symbol))) return false;
    } else if (symbol == kEndOfBlock) {
      return true;
    } else if (symbol <= kLastLengthSymbol) {
      uint32_t length, distance;
      if (!ReadLength(symbol, length) || !ReadDistance(distances, distance) ||
          !CopyFromWindow(length, distance)) {
        return false;
      }
    }
    // The two symbols beyond the last length symbol carry nothing and are passed over.
  }
}

bool PngInflater::ReadLength(int32_t symbol, uint32_t& length) {
  const int index = symbol - (kEndOfBlock + 1);
  uint32_t extra;
  if (!bits_.ReadBits(kLengthExtraBits[index], extra)) return false;
  length = kLengthBase[index] + extra;
  return true;
}

bool PngInflater::ReadDistance(const HuffmanTreeNode* distances, uint32_t& distance) {
  uint32_t code;
  if (distances == nullptr) {
    if (!bits_.ReadBitsMsbFirst(kFixedDistanceBits, code)) return false;
  } else {
    int32_t symbol;
    const SymbolRead read = ReadSymbol(*distances, bits_, symbol);
    if (read == SymbolRead::MissingNode) {
      diagnostics_.Out("Huffman Decompression: Reached NULL node.\n");
      return false;
    }
    if (read == SymbolRead::OutOfData) return false;
    code = static_cast<uint32_t>(symbol);
  }
  // Codes 30 and 31 exist in the alphabet but stand for no distance.
  if (code >= 30) return false;
  uint32_t extra;
  if (!bits_.ReadBits(kDistanceExtraBits[code], extra)) return false;
  distance = kDistanceBase[code] + extra;
  return true;
}

bool PngInflater::CopyFromWindow(uint32_t length, uint32_t distance) {
  // A distance reaching before the first byte, or further back than the window keeps,
  // has nothing true to copy.
  if (distance > produced_ || distance > window_.size()) return false;
  for (uint32_t i = 0; i < length; ++i) {
    if (!Emit(window_[(windowPosition_ - distance) & windowMask_])) return false;
  }
  return true;
}

bool PngInflater::Emit(uint8_t byte) {
  window_[windowPosition_] = byte;
  windowPosition_ = (windowPosition_ + 1) & windowMask_;
  ++produced_;
  return decoder_.ConsumeByte(byte);
}

}  // namespace genshoku::png
