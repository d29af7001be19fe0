#include <gtest/gtest.h>
#include <zlib.h>

#include "codecs/png/adler32.h"
#include "codecs/png/crc32.h"
#include "support_write_png.h"

namespace genshoku::png {
namespace {

using write_support::RandomBytes;

uint32_t OurAdler(const std::vector<uint8_t>& bytes, size_t pieceSize) {
  uint32_t s1 = 1;
  uint32_t s2 = 0;
  for (size_t at = 0; at < bytes.size(); at += pieceSize) {
    const size_t piece = std::min(pieceSize, bytes.size() - at);
    UpdateAdler32(s1, s2, bytes.data() + at, piece);
  }
  return Adler32Value(s1, s2);
}

TEST(WriteChecksumTest, Adler32AgreesWithZlibWhateverThePieces) {
  // All 0xFF is the input that pushes the deferred sums closest to overflowing.
  const std::vector<std::vector<uint8_t>> inputs = {
      {}, {0x61, 0x62, 0x63}, RandomBytes(100000, 1), std::vector<uint8_t>(300000, 0xFF)};
  for (const std::vector<uint8_t>& input : inputs) {
    const uint32_t expected =
        static_cast<uint32_t>(adler32(1, input.data(), static_cast<uInt>(input.size())));
    // Pieces around the 16-byte blocks summed side by side, and around the deferred run.
    for (size_t piece : {size_t{1}, size_t{7}, size_t{15}, size_t{16}, size_t{17}, size_t{5551},
                         size_t{5552}, size_t{5553}, size_t{1} << 20}) {
      EXPECT_EQ(OurAdler(input, piece), expected) << input.size() << " bytes, pieces " << piece;
    }
  }
}

TEST(WriteChecksumTest, Crc32AgreesWithZlibAndChainsAcrossPieces) {
  const std::vector<uint8_t> input = RandomBytes(70000, 2);
  const uint32_t expected =
      static_cast<uint32_t>(crc32(0, input.data(), static_cast<uInt>(input.size())));
  EXPECT_EQ(Crc32(input.data(), input.size()), expected);
  uint32_t running = 0xFFFFFFFFu;
  running = UpdateCrc32(running, input.data(), 12345);
  running = UpdateCrc32(running, input.data() + 12345, input.size() - 12345);
  EXPECT_EQ(running ^ 0xFFFFFFFFu, expected);
  // Pieces of every length up to and past the eight bytes folded in at once.
  for (size_t piece = 1; piece <= 17; ++piece) {
    running = 0xFFFFFFFFu;
    for (size_t at = 0; at < input.size(); at += piece) {
      running = UpdateCrc32(running, input.data() + at, std::min(piece, input.size() - at));
    }
    EXPECT_EQ(running ^ 0xFFFFFFFFu, expected) << "pieces of " << piece;
  }
  // The CRC every IEND chunk carries.
  const uint8_t iend[4] = {'I', 'E', 'N', 'D'};
  EXPECT_EQ(Crc32(iend, 4), 0xAE426082u);
}

}  // namespace
}  // namespace genshoku::png
