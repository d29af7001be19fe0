// The deflate writer's output buffer and checksums: every way of writing stores the bits in
// order and reports its growth as bit-by-bit writing would, a restored state leaves nothing
// behind, and Adler-32 and CRC-32 agree with zlib however the data are cut.
#include <gtest/gtest.h>
#include <zlib.h>

#include <bit>
#include <string>
#include <utility>
#include <vector>

#include "codecs/png/adler32.h"
#include "codecs/png/crc32.h"
#include "codecs/png/zlib_output_buffer.h"
#include "support_png.h"

namespace genshoku::png {
namespace {

using namespace pngtest;

// The bits a writer stores, kept as bytes least significant bit first: the stream the
// buffer must hold.
class BitModel {
 public:
  void Put(uint64_t value, int count) {
    for (int i = 0; i < count; ++i, ++bits_) {
      if (bits_ % 8 == 0) bytes_.push_back(0);
      if ((value >> i) & 1) bytes_.back() |= static_cast<uint8_t>(1u << (bits_ % 8));
    }
  }
  void CloseByte() { bits_ = bytes_.size() * 8; }
  // Whole bytes and a partial last one.
  const Bytes& Stored() const { return bytes_; }
  size_t size() const { return bits_; }

 private:
  Bytes bytes_;
  size_t bits_ = 0;
};

// What the block writers rely on after every write: the position names the next bit, the
// byte it lies in is inside the buffer, and everything past the written bits is zero (bits
// are ORed into place, and a restored state clears only what was written since). Bytes
// before `from` were checked before and are not looked at again.
void ExpectHolds(const ZlibOutputBuffer& buffer, const BitModel& model, size_t from,
                 const std::string& what) {
  ASSERT_EQ(buffer.BufPtr * 8 + std::countr_zero(buffer.BufBit), model.size()) << what;
  if (buffer.BufBit != 1) ASSERT_LT(buffer.BufPtr, buffer.capacity()) << what;
  const Bytes& expected = model.Stored();
  ASSERT_LE(expected.size(), buffer.capacity()) << what;
  const uint8_t* data = buffer.data().data();
  for (size_t i = from; i < buffer.capacity(); ++i) {
    const uint8_t wanted = i < expected.size() ? expected[i] : 0;
    if (data[i] != wanted)
      FAIL() << what << ", byte " << i << ": " << int(data[i]) << " not " << int(wanted);
  }
}

// Random writes through every entry point (single bits, fields of up to 32 bits, bytes at
// a byte boundary, runs of bytes, room reserved for a packer), checked after each against
// the bit model. The buffer grows from empty on the way, across many capacities.
TEST(WriteZlibBuffer, EveryWayOfWritingStoresTheBitsInOrder) {
  TestRandom random(7);
  for (int trial = 0; trial < 20; ++trial) {
    ZlibOutputBuffer buffer(SilentDiagnostics());
    BitModel model;
    for (int step = 0; step < 300; ++step) {
      const std::string what = "trial " + std::to_string(trial) + " step " + std::to_string(step);
      const size_t from = buffer.BufPtr > 8 ? buffer.BufPtr - 8 : 0;
      switch (random.Below(5)) {
        case 0: {
          const int count = 1 + static_cast<int>(random.Below(32));
          const uint32_t value = static_cast<uint32_t>(random.Next());
          buffer.WriteBits(value, count);
          model.Put(value, count);
          break;
        }
        case 1: {
          const uint8_t byte = static_cast<uint8_t>(random.Next());
          buffer.ClosePartialByte();
          model.CloseByte();
          buffer.WriteByte(byte);
          model.Put(byte, 8);
          break;
        }
        case 2: {
          const Bytes run = RandomBytes(random.Below(trial < 10 ? 40 : 3000), random.Next());
          buffer.ClosePartialByte();
          model.CloseByte();
          buffer.WriteBytes(run.data(), run.size());
          for (uint8_t byte : run) model.Put(byte, 8);
          break;
        }
        case 3: {
          // A packer writes many fields into room reserved for all of them at once.
          std::vector<std::pair<uint32_t, int>> fields(1 + random.Below(50));
          uint64_t total = 0;
          for (auto& [value, count] : fields) {
            count = 1 + static_cast<int>(random.Below(32));
            value = static_cast<uint32_t>(random.Next()) & (count < 32 ? (1u << count) - 1 : ~0u);
            total += static_cast<uint64_t>(count);
          }
          buffer.ReserveBits(total);
          ZlibOutputBuffer::BitPacker packer(buffer);
          for (const auto& [value, count] : fields) {
            packer.Put(value, count);
            model.Put(value, count);
          }
          packer.Finish();
          break;
        }
        default: {
          const int bit = static_cast<int>(random.Below(2));
          buffer.WriteBits(static_cast<uint32_t>(bit), 1);
          model.Put(static_cast<uint64_t>(bit), 1);
        }
      }
      ExpectHolds(buffer, model, from, what);
      if (::testing::Test::HasFatalFailure()) return;
    }
    ExpectHolds(buffer, model, 0, "trial " + std::to_string(trial) + ", all bytes");
    // The finished stream: the bytes before the position.
    const size_t whole = buffer.BufPtr;
    Bytes stream = buffer.TakeStream();
    Bytes expected = model.Stored();
    expected.resize(whole);
    EXPECT_EQ(stream, expected);
  }
}

// Every growth is reported in the writer's diagnostics, which are part of its recorded
// output: writing the same bits many at a time, as bytes or through a packer, must report
// the same growth as writing them one by one.
TEST(WriteZlibBuffer, GrowthIsReportedAsBitByBitWritingWouldReportIt) {
  const Bytes run = RandomBytes(5000, 3);
  auto growthLines = [&](auto write) {
    CapturedDiagnostics captured;
    ZlibOutputBuffer buffer(captured);
    buffer.verbose = 1;
    write(buffer);
    return LinesOf(captured, DiagnosticStream::Out);
  };
  const auto oneByOne = growthLines([&](ZlibOutputBuffer& buffer) {
    buffer.WriteBits(0b101, 3);
    buffer.ClosePartialByte();
    for (uint8_t byte : run) {
      for (int i = 0; i < 8; ++i) buffer.WriteBits((byte >> i) & 1, 1);
    }
    for (int i = 0; i < 9000; ++i) buffer.WriteBits(i & 1, 1);
  });
  ASSERT_FALSE(oneByOne.empty());
  const auto inBulk = growthLines([&](ZlibOutputBuffer& buffer) {
    buffer.WriteBits(0b101, 3);
    buffer.ClosePartialByte();
    buffer.WriteBytes(run.data(), run.size());
    buffer.ReserveBits(9000);
    ZlibOutputBuffer::BitPacker packer(buffer);
    for (int i = 0; i < 9000; i += 2) packer.Put(0b10, 2);
    packer.Finish();
  });
  EXPECT_EQ(inBulk, oneByOne);
  const auto inBytes = growthLines([&](ZlibOutputBuffer& buffer) {
    buffer.WriteBits(0b101, 3);
    buffer.ClosePartialByte();
    for (uint8_t byte : run) buffer.WriteByte(byte);
    for (int i = 0; i < 9000; i += 18) buffer.WriteBits(0b101010101010101010, 18);
  });
  EXPECT_EQ(inBytes, oneByOne);
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

  const size_t capacity = buffer.capacity();
  buffer.RestoreState(saved);
  EXPECT_EQ(buffer.BufPtr, 1u);
  EXPECT_EQ(buffer.BufBit, 8u);
  EXPECT_EQ(buffer.receivedCount, 3);
  EXPECT_EQ(buffer.Adler32(), (uint32_t{1 + 3 + 6 + 3} << 16) | 7u);
  EXPECT_EQ(buffer.capacity(), capacity) << "the room stays for the next block";
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
