#include <gtest/gtest.h>

#include "codecs/png/zlib_output_buffer.h"
#include "support_write_png.h"

namespace genshoku::png {
namespace {

using write_support::LinesOf;

TEST(WriteBitBufferTest, BitsFillEachByteFromTheLeastSignificantEnd) {
  CapturedDiagnostics captured;
  ZlibOutputBuffer buffer(captured);
  buffer.WriteBits(0b101, 3);
  buffer.WriteBits(0b11110, 5);  // completes byte 0
  buffer.WriteBits(0x3FF, 10);   // all of byte 1, two bits of byte 2
  EXPECT_EQ(buffer.data()[0], 0b11110101);
  EXPECT_EQ(buffer.data()[1], 0xFF);
  EXPECT_EQ(buffer.data()[2], 0x03);
  EXPECT_EQ(buffer.BufPtr, 2u);
  EXPECT_EQ(buffer.BufBit, 4u);
  buffer.ClosePartialByte();
  buffer.WriteByte(0xAB);
  EXPECT_EQ(buffer.data()[3], 0xAB);
  EXPECT_EQ(buffer.BufPtr, 4u);
  EXPECT_EQ(buffer.BufBit, 1u);
}

TEST(WriteBitBufferTest, GrowsByDoublingOnlyWhenSomethingIsStoredPastTheEnd) {
  CapturedDiagnostics captured;
  ZlibOutputBuffer buffer(captured);
  buffer.verbose = 1;
  EXPECT_EQ(buffer.capacity(), 0u);
  buffer.WriteByte(1);
  EXPECT_EQ(buffer.capacity(), 256u);
  std::vector<uint8_t> bytes(254, 7);
  buffer.WriteBytes(bytes.data(), bytes.size());
  buffer.WriteBits(0x7F, 7);  // the last byte, partly
  EXPECT_EQ(buffer.capacity(), 256u);
  buffer.ClosePartialByte();  // reaching the end is no reason to grow yet
  EXPECT_EQ(buffer.BufPtr, 256u);
  EXPECT_EQ(buffer.capacity(), 256u);
  buffer.WriteBits(1, 1);
  EXPECT_EQ(buffer.capacity(), 512u);
  std::vector<uint8_t> many(1000, 9);
  buffer.ClosePartialByte();
  buffer.WriteBytes(many.data(), many.size());
  EXPECT_EQ(buffer.capacity(), 2048u);
  EXPECT_EQ(buffer.data()[1256], 9);
  EXPECT_EQ(buffer.data()[1257], 0);
  EXPECT_EQ(LinesOf(captured, DiagnosticStream::Out),
            (std::vector<std::string>{"Buffer grows from 0 to 256", "Buffer grows from 256 to 512",
                                      "Buffer grows from 512 to 1024",
                                      "Buffer grows from 1024 to 2048"}));
}

TEST(WriteBitBufferTest, GrowthIsSilentWithoutTheVerboseFlag) {
  CapturedDiagnostics captured;
  ZlibOutputBuffer buffer(captured);
  std::vector<uint8_t> bytes(1000, 1);
  buffer.WriteBytes(bytes.data(), bytes.size());
  EXPECT_EQ(buffer.capacity(), 1024u);
  EXPECT_TRUE(captured.lines().empty());
}

TEST(WriteBitBufferTest, RestoringUndoesBitsBytesAndChecksum) {
  CapturedDiagnostics captured;
  ZlibOutputBuffer buffer(captured);
  buffer.WriteByte(0x78);
  buffer.WriteBits(0b011, 3);
  const uint8_t input[3] = {1, 2, 3};
  buffer.AddToChecksum(input, 3);
  const ZlibOutputBuffer::SavedState saved = buffer.SaveState();
  EXPECT_EQ(saved.partialByte, 0b011);

  buffer.WriteBits(0x1FFFF, 17);
  buffer.ClosePartialByte();
  std::vector<uint8_t> more(600, 0xEE);
  buffer.WriteBytes(more.data(), more.size());
  buffer.AddToChecksum(more.data(), more.size());
  // From the first untouched byte (index 2) to the end.
  EXPECT_EQ(buffer.BytesWrittenSince(saved), buffer.BufPtr - 2);

  buffer.RestoreState(saved);
  EXPECT_EQ(buffer.BufPtr, 1u);
  EXPECT_EQ(buffer.BufBit, 8u);
  EXPECT_EQ(buffer.receivedCount, 3);
  EXPECT_EQ(buffer.Adler32(), (uint32_t{1 + 3 + 6 + 3} << 16) | 7u);
  EXPECT_EQ(buffer.capacity(), 1024u);
  EXPECT_EQ(buffer.data()[1], 0b011);
  for (size_t i = 2; i < buffer.capacity(); ++i) ASSERT_EQ(buffer.data()[i], 0) << i;

  // Writing goes on from the restored bit.
  buffer.WriteBits(0b11111, 5);
  EXPECT_EQ(buffer.data()[1], 0b11111011);
  EXPECT_EQ(buffer.BytesWrittenSince(saved), 0u);
}

}  // namespace
}  // namespace genshoku::png
