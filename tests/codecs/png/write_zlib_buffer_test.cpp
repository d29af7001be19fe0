// The deflate writer's output buffer and checksums: when the buffer grows, what a restored
// state leaves behind, and Adler-32 and CRC-32 against zlib however the data are cut.
#include <gtest/gtest.h>
#include <zlib.h>

#include "codecs/png/adler32.h"
#include "codecs/png/crc32.h"
#include "codecs/png/zlib_output_buffer.h"
#include "support_png.h"

namespace genshoku::png {
namespace {

using namespace pngtest;

TEST(WriteZlibBuffer, GrowsByDoublingOnlyWhenSomethingIsStoredPastTheEnd) {
  CapturedDiagnostics captured;
  ZlibOutputBuffer buffer(captured);
  buffer.verbose = 1;
  buffer.WriteByte(1);
  const Bytes bytes(254, 7);
  buffer.WriteBytes(bytes.data(), bytes.size());
  buffer.WriteBits(0xFF, 8);  // the last byte: reaching the end is no reason to grow yet
  EXPECT_EQ(buffer.BufPtr, 256u);
  EXPECT_EQ(buffer.capacity(), 256u);
  buffer.WriteBits(1, 1);
  EXPECT_EQ(buffer.capacity(), 512u);
  buffer.ClosePartialByte();
  const Bytes many(1000, 9);
  buffer.WriteBytes(many.data(), many.size());
  EXPECT_EQ(buffer.data()[1256], 9);
  EXPECT_EQ(buffer.data()[1257], 0);
  EXPECT_EQ(LinesOf(captured, DiagnosticStream::Out),
            (std::vector<std::string>{"Buffer grows from 0 to 256", "Buffer grows from 256 to 512",
                                      "Buffer grows from 512 to 1024",
                                      "Buffer grows from 1024 to 2048"}));
}

TEST(WriteZlibBuffer, RestoringUndoesBitsBytesAndChecksum) {
  ZlibOutputBuffer buffer(SilentDiagnostics());
  buffer.WriteByte(0x78);
  buffer.WriteBits(0b011, 3);
  const uint8_t input[3] = {1, 2, 3};
  buffer.AddToChecksum(input, 3);
  const ZlibOutputBuffer::SavedState saved = buffer.SaveState();

  buffer.WriteBits(0x1FFFF, 17);
  buffer.ClosePartialByte();
  const Bytes more(600, 0xEE);
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

TEST(WriteZlibBuffer, ChecksumsAgreeWithZlibWhateverThePieces) {
  // All 0xFF pushes Adler-32's deferred sums closest to overflowing.
  for (const Bytes& input :
       {Bytes{}, Bytes{0x61, 0x62, 0x63}, RandomBytes(100000, 1), Bytes(300000, 0xFF)}) {
    const auto expected =
        static_cast<uint32_t>(adler32(1, input.data(), static_cast<uInt>(input.size())));
    // Around the 16-byte blocks summed side by side, and around the deferred run.
    for (size_t piece : {1, 7, 15, 16, 17, 5551, 5552, 5553, 1 << 20}) {
      uint32_t s1 = 1, s2 = 0;
      for (size_t at = 0; at < input.size(); at += piece) {
        UpdateAdler32(s1, s2, input.data() + at, std::min(piece, input.size() - at));
      }
      EXPECT_EQ(Adler32Value(s1, s2), expected) << input.size() << " bytes, pieces " << piece;
    }
  }
  const Bytes input = RandomBytes(70000, 2);
  const auto expected =
      static_cast<uint32_t>(crc32(0, input.data(), static_cast<uInt>(input.size())));
  EXPECT_EQ(Crc32(input.data(), input.size()), expected);
  // Pieces of every length up to and past the eight bytes folded in at once.
  for (size_t piece = 1; piece <= 17; ++piece) {
    uint32_t running = 0xFFFFFFFFu;
    for (size_t at = 0; at < input.size(); at += piece) {
      running = UpdateCrc32(running, input.data() + at, std::min(piece, input.size() - at));
    }
    EXPECT_EQ(running ^ 0xFFFFFFFFu, expected) << "pieces of " << piece;
  }
}

}  // namespace
}  // namespace genshoku::png
