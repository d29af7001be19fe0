// Inflate against zlib's deflate, on hand-made blocks, and on data that break the format
// (cut streams are compared with the first inflater in read_literal_equivalence_test).
#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>

#include "codecs/png/png_decoder.h"
#include "codecs/png/png_inflater.h"
#include "common/diagnostics.h"
#include "support_read_png.h"

namespace genshoku::png {
namespace {

using namespace pngtest;

// Keeps every byte the inflater hands over; refuses bytes beyond `limit` when it is set.
class RecordingDecoder final : public VxGenericPngDecoder {
 public:
  using VxGenericPngDecoder::VxGenericPngDecoder;
  bool ConsumeByte(uint8_t byte) override {
    ++offered;
    if (limit > 0 && bytes.size() >= limit) return false;
    bytes.push_back(byte);
    return true;
  }
  Bytes bytes;
  size_t limit = 0;
  size_t offered = 0;
};

struct Inflated {
  bool ok;
  Bytes bytes;
  std::string out;
  size_t offered;
};

Inflated RunInflate(const Bytes& data, size_t limit = 0) {
  CapturedDiagnostics diagnostics;
  RecordingDecoder decoder(diagnostics);
  decoder.limit = limit;
  PngInflater inflater(decoder, diagnostics);
  const bool ok = inflater.Inflate(data.data(), data.size());
  return {ok, decoder.bytes, diagnostics.Text(DiagnosticStream::Out), decoder.offered};
}

Bytes ToBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

// "abcd" and a copy of length 3 at distance 1 in a dynamic block whose code lengths are
// sent with all three repeat codes: literals 'a'..'d' get 3 bits, end of block and length 3
// 2 bits, one distance code 1 bit. Code-length code: 17 and 18 of 2 bits (00, 01); 1, 2, 3
// and 16 of 3 bits (100, 101, 110, 111). The flags spoil the header in two ways.
BitWriter DynamicAbcdRun(bool startWithRepeat = false, bool overshoot = false) {
  BitWriter bits;
  bits.Bits(1, 1);
  bits.Bits(2, 2);
  bits.Bits(1, 5);   // HLIT: 258 literal/length codes
  bits.Bits(0, 5);   // HDIST: 1 distance code
  bits.Bits(14, 4);  // HCLEN: 18 code-length code lengths
  // In the order 16 17 18 0 8 7 9 6 10 5 11 4 12 3 13 2 14 1.
  for (int length : {3, 2, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 3, 0, 3}) bits.Bits(length, 3);
  const auto zeros18 = [&](int count) {
    bits.Code(1, 2);
    bits.Bits(count - 11, 7);
  };
  const auto zeros17 = [&](int count) {
    bits.Code(0, 2);
    bits.Bits(count - 3, 3);
  };
  const auto length = [&](int value) { bits.Code(4 + value - 1, 3); };
  const auto repeat16 = [&](int count) {
    bits.Code(7, 3);
    bits.Bits(count - 3, 2);
  };
  // A leading repeat takes the place of three zeros, so only its position is wrong.
  if (startWithRepeat) repeat16(3);
  zeros18(startWithRepeat ? 94 : 97);  // 0..96
  length(3);                           // 'a'
  repeat16(3);                         // 'b' 'c' 'd'
  zeros18(138);
  zeros17(7);
  zeros17(10);  // up to 255
  length(2);    // end of block
  if (overshoot) {
    repeat16(3);  // three more 2s where two lengths are left
  } else {
    length(2);  // 257
    length(1);  // distance code 0
  }
  for (char c : std::string("abcd")) bits.Code(4 + (c - 'a'), 3);
  bits.Code(1, 2);  // 257: length 3
  bits.Code(0, 1);  // distance 1
  bits.Code(0, 2);  // end of block
  return bits;
}

// A fixed block of 'a', a copy of length 3 with the given distance code, and the end.
Bytes FixedCopy(uint32_t distanceCode) {
  BitWriter bits;
  bits.Bits(1, 1);
  bits.Bits(1, 2);
  bits.FixedSymbol('a');
  bits.FixedSymbol(257);
  bits.Code(distanceCode, 5);
  bits.FixedSymbol(256);
  bits.Bits(0, 16);
  return bits.Stream();
}

TEST(PngInflater, DecodesWhatZlibCompressesWithEveryBlockKind) {
  std::mt19937 random(7);
  Bytes noise(70000), text, runs(5000, 'z');
  for (uint8_t& byte : noise) byte = static_cast<uint8_t>(random());
  for (int i = 0; i < 3000; ++i)
    text.insert(text.end(), {'p', 'n', 'g', static_cast<uint8_t>('0' + i % 10), ' '});
  for (int i = 0; i < 40000; ++i) runs.push_back(static_cast<uint8_t>(random() % 3));
  for (const Bytes& source : {Bytes{}, Bytes{42}, noise, text, runs}) {
    for (const auto& [level, strategy] : {std::pair{0, Z_DEFAULT_STRATEGY},
                                          {1, Z_DEFAULT_STRATEGY},
                                          {6, Z_DEFAULT_STRATEGY},
                                          {9, Z_FILTERED},
                                          {6, Z_FIXED},
                                          {6, Z_HUFFMAN_ONLY},
                                          {6, Z_RLE}}) {
      const Inflated result = RunInflate(ZlibCompress(source, level, strategy));
      EXPECT_TRUE(result.ok) << "size " << source.size() << " level " << level;
      EXPECT_EQ(result.bytes, source) << "size " << source.size() << " level " << level;
      EXPECT_EQ(result.out, "");
    }
  }
}

TEST(PngInflater, HandMadeStoredFixedAndDynamicBlocks) {
  Inflated result = RunInflate({0x78, 0x01, 0x01, 0x03, 0x00, 0xFC, 0xFF, 'a', 'b', 'c'});
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(result.bytes, ToBytes("abc"));
  result = RunInflate(FixedCopy(0));  // distance 1: the copy repeats its own output
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(result.bytes, ToBytes("aaaa"));
  result = RunInflate(DynamicAbcdRun().Stream());
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(result.bytes, ToBytes("abcdddd"));
  EXPECT_EQ(result.out, "");
}

TEST(PngInflater, WindowSizeComesFromTheHeader) {
  // 32768 stored bytes, then a copy of 3 bytes from 32768 back (distance code 29 + 8191).
  Bytes start(32768);
  for (size_t i = 0; i < start.size(); ++i) start[i] = static_cast<uint8_t>(i * 31 + 5);
  BitWriter bits;
  bits.Bits(0, 3);
  bits.AlignToByte();
  bits.Bits(0x8000, 16);
  bits.Bits(0x7FFF, 16);
  for (uint8_t byte : start) bits.Bits(byte, 8);
  bits.Bits(1, 1);
  bits.Bits(1, 2);
  bits.FixedSymbol(257);
  bits.Code(29, 5);
  bits.Bits(8191, 13);
  bits.FixedSymbol(256);

  const Inflated wide = RunInflate(bits.Stream(0x78));  // 2^(7 + 8)
  EXPECT_TRUE(wide.ok);
  ASSERT_EQ(wide.bytes.size(), 32771u);
  EXPECT_EQ(Bytes(wide.bytes.end() - 3, wide.bytes.end()), Bytes(start.begin(), start.begin() + 3));
  // A window of 16 KiB cannot hold what the copy asks for.
  const Inflated narrow = RunInflate(bits.Stream(0x68));
  EXPECT_FALSE(narrow.ok);
  EXPECT_EQ(narrow.bytes, start);
}

TEST(PngInflater, HeaderAndBlockFailuresAreReported) {
  const struct {
    Bytes data;
    const char* message;
  } cases[] = {
      {{0x77, 0x01, 0x03, 0x00}, "Unsupported compression method! (7)\n"},
      {{0x78, 0x20, 0x03, 0x00}, "PNG is not supposed to have a preset dictionary.\n"},
      {{0x78, 0x01, 0x07, 0x00}, "Unknown compression type (bType=3)\n"},
      {{0x78, 0x01}, "Buffer overflow\n"},
      {{0x78}, "Buffer overflow\n"},
      {{0x78, 0x01, 0x00}, "Buffer overflow\n"},              // not final, nothing follows
      {{0x78, 0x01, 0x01, 0x03, 0x00}, "Buffer overflow\n"},  // stored length cut off
      // A dynamic block whose code-length code has no symbols at all.
      {{0x78, 0x01, 0x05, 0x00, 0x00, 0x00, 0x00}, "Huffman Decompression: Reached NULL node.\n"},
  };
  for (const auto& test : cases) {
    const Inflated result = RunInflate(test.data);
    EXPECT_FALSE(result.ok) << test.message;
    EXPECT_EQ(result.out, test.message);
    EXPECT_TRUE(result.bytes.empty());
  }
}

TEST(PngInflater, ImpossibleDataFailWithoutReachingOutside) {
  // A repeat of the previous length before any length, and a run past the alphabets.
  EXPECT_FALSE(RunInflate(DynamicAbcdRun(true).Stream()).ok);
  EXPECT_FALSE(RunInflate(DynamicAbcdRun(false, true).Stream()).ok);
  // A distance reaching before the first byte: only the literal arrives.
  Inflated result = RunInflate(FixedCopy(1));
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.bytes, ToBytes("a"));
  // Distance codes 30 and 31 stand for nothing.
  EXPECT_FALSE(RunInflate(FixedCopy(30)).ok);
  EXPECT_FALSE(RunInflate(FixedCopy(31)).ok);
  // A stored block longer than the data delivers what is there.
  result = RunInflate({0x78, 0x01, 0x01, 0x0A, 0x00, 0xF5, 0xFF, 'x', 'y'});
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.bytes, ToBytes("xy"));
  EXPECT_EQ(result.out, "");
}

TEST(PngInflater, RefusedBytesEndHuffmanBlocksButNotStoredOnes) {
  const Bytes source = ToBytes("0123456789");
  const Inflated fixed = RunInflate(ZlibCompress(source, 6, Z_FIXED), 4);
  EXPECT_FALSE(fixed.ok);
  EXPECT_EQ(fixed.bytes, ToBytes("0123"));
  EXPECT_EQ(fixed.offered, 5u);
  const Inflated stored = RunInflate(ZlibCompress(source, 0), 4);
  EXPECT_TRUE(stored.ok);
  EXPECT_EQ(stored.bytes, ToBytes("0123"));
  EXPECT_EQ(stored.offered, 10u);
}

}  // namespace
}  // namespace genshoku::png
