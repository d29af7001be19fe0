#include "support_read_literal_inflater.h"

#include <algorithm>

namespace genshoku::png::literal {

namespace {

inline constexpr int kMaxCodeLength = 15;

void AssignCanonicalCodes(const int32_t* lengths, int32_t* codes, int count) {
  int32_t lengthCount[kMaxCodeLength + 1] = {};
  for (int symbol = 0; symbol < count; ++symbol) {
    const int32_t length = lengths[symbol];
    if (length > 0 && length <= kMaxCodeLength) ++lengthCount[length];
  }
  lengthCount[0] = 0;
  int32_t nextCode[kMaxCodeLength + 2] = {};
  int32_t code = 0;
  for (int length = 1; length <= kMaxCodeLength; ++length) {
    code = (code + lengthCount[length - 1]) << 1;
    nextCode[length] = code;
  }
  for (int symbol = 0; symbol < count; ++symbol) {
    const int32_t length = lengths[symbol];
    if (length > 0 && length <= kMaxCodeLength) {
      codes[symbol] = nextCode[length]++;
    } else {
      codes[symbol] = 0;
    }
  }
}

[[maybe_unused]] uint32_t ReverseBits(uint32_t code, int length) {
  uint32_t reversed = 0;
  for (int bit = 0; bit < length; ++bit) {
    reversed = (reversed << 1) | (code & 1u);
    code >>= 1;
  }
  return reversed;
}

class InflateBitReader {
 public:
  InflateBitReader(const uint8_t* data, size_t length, size_t startOffset)
      : data_(data), length_(length), offset_(startOffset) {}

  // Each returns false, leaving `value` unspecified, when the data end first. ReadBit
  // is defined here because Huffman codes are walked through it bit by bit.
  bool ReadBit(uint32_t& bit) {
    if (offset_ >= length_) return false;
    bit = (data_[offset_] & mask_) != 0 ? 1 : 0;
    mask_ <<= 1;
    if (mask_ > 128) {
      mask_ = 1;
      ++offset_;
    }
    return true;
  }
  // `count` bits (at most 16), the first bit read being the least significant: how
  // deflate stores its numbers.
  bool ReadBits(int count, uint32_t& value);
  // `count` bits, the first bit read being the most significant: how deflate stores its
  // Huffman codes.
  bool ReadBitsMsbFirst(int count, uint32_t& value);

  // Passes over the rest of a partly read byte.
  void AlignToByte();

  size_t offset() const { return offset_; }
  size_t BytesLeft() const { return offset_ < length_ ? length_ - offset_ : 0; }
  // Whole bytes; only meaningful right after AlignToByte.
  const uint8_t* BytePointer() const { return data_ + offset_; }
  void SkipBytes(size_t count) { offset_ += count; }

 private:
  const uint8_t* data_;
  size_t length_;
  size_t offset_;
  uint32_t mask_ = 1;
};

bool InflateBitReader::ReadBits(int count, uint32_t& value) {
  value = 0;
  for (int i = 0; i < count; ++i) {
    uint32_t bit;
    if (!ReadBit(bit)) return false;
    value |= bit << i;
  }
  return true;
}

bool InflateBitReader::ReadBitsMsbFirst(int count, uint32_t& value) {
  value = 0;
  for (int i = 0; i < count; ++i) {
    uint32_t bit;
    if (!ReadBit(bit)) return false;
    value = (value << 1) | bit;
  }
  return true;
}

void InflateBitReader::AlignToByte() {
  if (mask_ != 1) {
    mask_ = 1;
    ++offset_;
  }
}

inline constexpr int kLiteralLengthSymbols = 288;

// The fixed literal/length code of deflate: lengths and codes of all 288 symbols.
void BuildFixedCodes(int32_t* lengths, int32_t* codes);

// A tree holding every symbol of non-zero length at the path its code spells, most
// significant bit first. Symbols whose codes collide (a damaged code set) overwrite or
// hide each other but never make the tree unsafe to walk.
std::unique_ptr<HuffmanTreeNode> BuildTree(int count, const int32_t* lengths, const int32_t* codes);

enum class SymbolRead { Found, OutOfData, MissingNode };

// Walks from the root, taking at least one bit, so every symbol costs input: a tree
// without symbols reports a missing node instead of yielding symbols for free.
SymbolRead ReadSymbol(const HuffmanTreeNode& root, InflateBitReader& bits, int32_t& symbol);

void BuildFixedCodes(int32_t* lengths, int32_t* codes) {
  for (int symbol = 0; symbol < kLiteralLengthSymbols; ++symbol) {
    if (symbol <= 143) {
      lengths[symbol] = 8;
      codes[symbol] = 48 + symbol;
    } else if (symbol <= 255) {
      lengths[symbol] = 9;
      codes[symbol] = 256 + symbol;
    } else if (symbol <= 279) {
      lengths[symbol] = 7;
      codes[symbol] = symbol - 256;
    } else {
      lengths[symbol] = 8;
      codes[symbol] = 192 + (symbol - 280);
    }
  }
}

std::unique_ptr<HuffmanTreeNode> BuildTree(int count, const int32_t* lengths,
                                           const int32_t* codes) {
  auto root = std::make_unique<HuffmanTreeNode>();
  for (int symbol = 0; symbol < count; ++symbol) {
    const int32_t length = lengths[symbol];
    if (length <= 0 || length > kMaxCodeLength) continue;
    HuffmanTreeNode* node = root.get();
    for (int bit = length - 1; bit >= 0; --bit) {
      std::unique_ptr<HuffmanTreeNode>& child =
          ((codes[symbol] >> bit) & 1) != 0 ? node->right : node->left;
      if (!child) child = std::make_unique<HuffmanTreeNode>();
      node = child.get();
    }
    node->symbol = symbol;
  }
  return root;
}

SymbolRead ReadSymbol(const HuffmanTreeNode& root, InflateBitReader& bits, int32_t& symbol) {
  const HuffmanTreeNode* node = &root;
  do {
    uint32_t bit;
    if (!bits.ReadBit(bit)) return SymbolRead::OutOfData;
    node = (bit != 0 ? node->right : node->left).get();
    if (node == nullptr) return SymbolRead::MissingNode;
  } while (!node->IsLeaf());
  symbol = node->symbol;
  return SymbolRead::Found;
}

inline constexpr int kDistanceSymbols = 32;

struct DynamicCodes {
  int literalCount = 0;  // 257 to 288
  int32_t literalLengths[kLiteralLengthSymbols] = {};
  int32_t literalCodes[kLiteralLengthSymbols] = {};
  int distanceCount = 0;  // 1 to 32
  int32_t distanceLengths[kDistanceSymbols] = {};
  int32_t distanceCodes[kDistanceSymbols] = {};
};

// Reads the block header and fills `codes` with lengths and canonical codes. False on
// data that end early or describe impossible lengths (a repeat with nothing before it,
// runs longer than the alphabets); a walk off the code-length tree is also reported.
bool ReadDynamicCodes(InflateBitReader& bits, DynamicCodes& codes, Diagnostics& diagnostics);

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

class PngInflater {
 public:
  PngInflater(VxGenericPngDecoder& decoder, Diagnostics& diagnostics);

  // True when the final block ended properly. On false the decoder keeps every byte it
  // received until the failure. Never reads outside [data, data + length).
  bool Inflate(const uint8_t* data, size_t length);

 private:
  bool InflateStoredBlock();
  bool InflateHuffmanBlock(const HuffmanTreeNode& literals, const HuffmanTreeNode* distances);
  bool InflateDynamicBlock();
  bool ReadLength(int32_t symbol, uint32_t& length);
  bool ReadDistance(const HuffmanTreeNode* distances, uint32_t& distance);
  bool CopyFromWindow(uint32_t length, uint32_t distance);
  // Stores the byte in the window and passes it on; returns the decoder's answer.
  bool Emit(uint8_t byte);

  VxGenericPngDecoder& decoder_;
  Diagnostics& diagnostics_;
  InflateBitReader bits_{nullptr, 0, 0};
  std::vector<uint8_t> window_;
  size_t windowMask_ = 0;
  size_t windowPosition_ = 0;
  uint64_t produced_ = 0;
};

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
      case 0: ok = InflateStoredBlock(); break;
      case 1: {
        int32_t lengths[kLiteralLengthSymbols], codes[kLiteralLengthSymbols];
        BuildFixedCodes(lengths, codes);
        ok = InflateHuffmanBlock(*BuildTree(kLiteralLengthSymbols, lengths, codes), nullptr);
        break;
      }
      case 2: ok = InflateDynamicBlock(); break;
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
  const auto distances = BuildTree(codes.distanceCount, codes.distanceLengths, codes.distanceCodes);
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

}  // namespace

bool LiteralInflate(VxGenericPngDecoder& decoder, Diagnostics& diagnostics, const uint8_t* data,
                    size_t length) {
  PngInflater inflater(decoder, diagnostics);
  return inflater.Inflate(data, length);
}

}  // namespace genshoku::png::literal
