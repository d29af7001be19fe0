// Damaged files of every sort go through the reader: it must end, stay inside its buffers
// (the sanitizer build checks that), leave a picture of the announced size or none, and
// do exactly what its first, byte-at-a-time form (kept in the support files) does.
#include <gtest/gtest.h>

#include <random>

#include "support_read_literal_decoder.h"
#include "support_read_png.h"

namespace genshoku::png {
namespace {

using namespace pngtest;

constexpr uint64_t kSmallLimit = 1 << 16;

void ExpectSound(const Bytes& file) {
  const DecodeOutcome decoded = DecodePngBytes(file, kSmallLimit);
  EXPECT_TRUE(decoded == DecodePngBytes<literal::LiteralRawPngDecoder>(file, kSmallLimit));
  if (!decoded.hasPicture) return;
  EXPECT_GT(decoded.width, 0u);
  EXPECT_GT(decoded.height, 0u);
  EXPECT_LE(uint64_t{decoded.width} * decoded.height, kSmallLimit);
  EXPECT_EQ(decoded.pixels.size(), size_t{decoded.width} * decoded.height * 4);
}

TEST(PngReaderHostileInput, MutatedFiles) {
  const std::vector<Bytes> seeds = FilesOfEveryFormat();
  std::mt19937 random(2024);
  for (int round = 0; round < 5000; ++round) {
    Bytes file = seeds[random() % seeds.size()];
    const int edits = 1 + static_cast<int>(random() % 8);
    for (int i = 0; i < edits && !file.empty(); ++i) {
      // Past the signature and header half of the time, so that most damage reaches the
      // image data.
      const size_t from = file.size() > 33 && random() % 2 ? 33 : 0;
      const size_t at = from + random() % (file.size() - from);
      switch (random() % 6) {
        case 0: file[at] ^= static_cast<uint8_t>(1u << (random() % 8)); break;
        case 1: file[at] = static_cast<uint8_t>(random()); break;
        case 2:  // a big number where lengths and dimensions live
          for (size_t k = at; k < at + 4 && k < file.size(); ++k)
            file[k] = random() % 2 ? 0xFF : 0x7F;
          break;
        case 3: file.insert(file.begin() + at, static_cast<uint8_t>(random())); break;
        case 4:
          file.erase(file.begin() + at,
                     file.begin() + std::min(file.size(), at + 1 + random() % 16));
          break;
        default: file.resize(at); break;
      }
    }
    SCOPED_TRACE(round);
    ExpectSound(file);
  }
}

TEST(PngReaderHostileInput, EveryTruncation) {
  const std::vector<Bytes> seeds = FilesOfEveryFormat();
  for (size_t which : {13u, 100u, 222u, 555u}) {
    for (size_t cut = 0; cut <= seeds[which].size(); ++cut) {
      ExpectSound(Bytes(seeds[which].begin(), seeds[which].begin() + cut));
    }
  }
}

TEST(PngReaderHostileInput, NoiseBehindAValidHeader) {
  std::mt19937 random(99);
  for (int round = 0; round < 2000; ++round) {
    Bytes data(2 + random() % 200);
    for (uint8_t& byte : data) byte = static_cast<uint8_t>(random());
    data[0] = 0x78;
    data[1] = 0x01;
    const int colorType = static_cast<int>(random() % 2) * 2, interlace = random() % 2;
    ExpectSound(PngFile({HeaderChunk(5, 5, 8, colorType, interlace), Chunk("IDAT", data)}));
  }
}

}  // namespace
}  // namespace genshoku::png
