// Damaged and forged files through the reader. Thousands of deterministic variations of good
// files (cut short, bytes changed, inserted, removed, repeated) must read without any access
// outside the input or the screen (the sanitizer build checks every access), and forged
// streams must not make the work grow beyond the input.

#include <gtest/gtest.h>

#include <time.h>
#include <memory>

#include "codecs/gif/gif_reader.h"
#include "codecs/gif/gif_writer.h"
#include "common/diagnostics.h"
#include "gif_test_support.h"

namespace genshoku {
namespace {

using giftest::Bytes;

// Reads and renders every image (at most 50), from a heap copy of exactly the input's size
// so that a read one byte too far is caught; returns how many images were read.
size_t ReadEverything(const Bytes& bytes) {
  std::unique_ptr<uint8_t[]> copy(new uint8_t[bytes.size() + (bytes.empty() ? 1 : 0)]);
  std::copy(bytes.begin(), bytes.end(), copy.get());
  auto reader = GifReader::OpenMemory(copy.get(), bytes.size(), SilentDiagnostics());
  if (!reader) return 0;
  const size_t pixels = size_t(reader->width()) * reader->height();
  EXPECT_LE(pixels, GifReader::kMaxScreenPixels);
  std::unique_ptr<uint8_t[]> rgb(new uint8_t[pixels * 3 + 1]);
  size_t imagesRead = 0;
  for (; imagesRead < 50; ++imagesRead) {
    const int result = reader->NextImage();
    EXPECT_TRUE(result == GifReader::kError || result == GifReader::kTrailer ||
                result == GifReader::kImageRead);
    // The canvas is made with the first image.
    EXPECT_TRUE(reader->screenIndices().empty() || reader->screenIndices().size() == pixels);
    reader->Render(rgb.get());
    if (result != GifReader::kImageRead) break;
  }
  return imagesRead;
}

std::vector<Bytes> Seeds() {
  std::vector<Bytes> seeds;
  // The writer's own: a three-frame animation and a two-colour picture.
  const auto written = [](int width, int height, int depth, int loop, int frames) {
    const Bytes palette = giftest::MakePalette(1 << depth, 1);
    Bytes out;
    auto writer =
        GifWriter::Create(out, width, height, palette.data(), depth, loop, SilentDiagnostics());
    for (int frame = 0; frame < frames; ++frame) {
      const Bytes indices =
          giftest::MakeIndices(size_t(width) * height, (1 << depth) >> frame, uint32_t(frame + 4));
      std::copy(indices.begin(), indices.end(), writer->currentFrame());
      writer->WriteFrame(static_cast<uint16_t>(frame * 5));
    }
    writer->Finish();
    return out;
  };
  seeds.push_back(written(30, 20, 8, 0, 3));
  seeds.push_back(written(9, 9, 1, -1, 1));
  // giflib's: interlaced frames with local tables, transparency, a comment and a loop count.
  giftest::OracleFile file;
  file.width = 24, file.height = 17, file.background = 2, file.loopCount = 2;
  file.palette = giftest::MakePalette(32, 2);
  file.comment = "hostile";
  for (int i = 0; i < 3; ++i) {
    giftest::OracleImage image = giftest::ImageAt(i * 3, i, 24 - i * 5, 17 - i * 4);
    image.interlaced = i != 1;
    if (i == 1) image.localPalette = giftest::MakePalette(8, 9);
    image.raster =
        giftest::MakeIndices(size_t(image.width) * image.height, i == 1 ? 8 : 32, uint32_t(i + 20));
    image.disposal = i, image.transparent = i == 2 ? 3 : NO_TRANSPARENT_COLOR;
    file.images.push_back(image);
  }
  seeds.push_back(giftest::EncodeWithGiflib(file));
  // Hand-built: a plain text extension, an application extension and a stream that fills
  // the table.
  giftest::CodeStream codes(2);
  codes.Clear();
  for (int i = 0; i < 300; ++i) codes.Data(i % 4);
  seeds.push_back(giftest::FileBuilder(20, 20, giftest::MakePalette(4, 3), 1, 1)
                      .Append({0x21, 0x01, 12, 0, 0, 0, 0, 4, 0, 4, 0, 8, 8, 1, 0, 2, 'h', 'i', 0})
                      .Append({0x21, 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.',
                               '0', 3, 1, 5, 0, 0})
                      .Control(2, true, 1, 7)
                      .Image(1, 1, 18, 18, true, codes.Stop(), 2)
                      .Trailer()
                      .bytes());
  return seeds;
}

TEST(GifHostileInput, EveryPrefixOfAGoodFileReadsSafely) {
  size_t cases = 0, imagesRead = 0;
  for (const Bytes& seed : Seeds()) {
    ASSERT_FALSE(seed.empty());
    for (size_t length = 0; length <= seed.size(); ++length, ++cases) {
      imagesRead +=
          ReadEverything(Bytes(seed.begin(), seed.begin() + static_cast<ptrdiff_t>(length)));
    }
  }
  EXPECT_GT(cases, 2000u);
  EXPECT_GT(imagesRead, cases / 2);  // most prefixes hold at least one (partial) image
}

TEST(GifHostileInput, MutatedFilesReadSafely) {
  const std::vector<Bytes> seeds = Seeds();
  giftest::Random random(2024);
  static constexpr uint8_t kTelling[] = {0x00, 0x01, 0x0B, 0x21, 0x2C, 0x3B,
                                         0x7F, 0x80, 0xF9, 0xFE, 0xFF};
  size_t imagesRead = 0;
  const int rounds = 4000;
  for (int round = 0; round < rounds; ++round) {
    Bytes bytes = seeds[static_cast<size_t>(round) % seeds.size()];
    // Bytes 6 to 9 are the screen size, changed rarely and kept below 256 on each side: a
    // large screen only costs time here, and the limit has its own test.
    const auto position = [&] {
      return 10 + random.Below(static_cast<uint32_t>(bytes.size() - 10));
    };
    const int edits = 1 + static_cast<int>(random.Below(6));
    for (int edit = 0; edit < edits && bytes.size() > 11; ++edit) {
      const size_t at = position();
      switch (random.Below(7)) {
        case 0:
        case 1: bytes[at] = static_cast<uint8_t>(random.Next()); break;
        case 2: bytes[at] = kTelling[random.Below(sizeof kTelling)]; break;
        case 3: bytes.insert(bytes.begin() + at, static_cast<uint8_t>(random.Next())); break;
        case 4:
          bytes.erase(bytes.begin() + at,
                      bytes.begin() + std::min<size_t>(at + 1 + random.Below(40), bytes.size()));
          break;
        case 5: {
          const size_t count = std::min<size_t>(1 + random.Below(60), bytes.size() - at);
          const Bytes piece(bytes.begin() + at, bytes.begin() + at + count);
          bytes.insert(bytes.begin() + position(), piece.begin(), piece.end());
          break;
        }
        default: {
          const size_t side = 6 + 2 * random.Below(2);
          bytes[side] = static_cast<uint8_t>(random.Next());
          bytes[side + 1] = 0;
          break;
        }
      }
    }
    if (bytes.size() > 11 && random.Below(4) == 0)
      bytes.resize(11 + random.Below(static_cast<uint32_t>(bytes.size() - 11)));
    imagesRead += ReadEverything(bytes);
  }
  // The damage must leave enough files readable to exercise the image decoding.
  EXPECT_GT(imagesRead, size_t(rounds) / 4);
}

// Seconds of processor time this thread has used: unlike the wall clock, it does not grow
// while other tests or programs have the processor.
double ThreadSeconds() {
  timespec now{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

// Processor seconds taken to open `bytes` and read its one image.
double SecondsToRead(const Bytes& bytes) {
  const double start = ThreadSeconds();
  auto reader = GifReader::OpenMemory(bytes.data(), bytes.size(), SilentDiagnostics());
  EXPECT_NE(reader, nullptr);
  if (!reader) return 0;
  EXPECT_EQ(reader->NextImage(), GifReader::kImageRead);
  EXPECT_EQ(reader->NextImage(), GifReader::kTrailer);
  EXPECT_EQ(reader->screenIndices(), Bytes(256, 0));
  return ThreadSeconds() - start;
}

TEST(GifHostileInput, ForgedStreamsCostWorkInProportionToTheInput) {
  // The longest strings the table can hold, repeated half a million times, for an image
  // rectangle of 65535 x 65535 on a small screen: billions of pixel positions, nearly all
  // off the screen. The reader has to skip them instead of spelling them out, so the file
  // reads about as fast as one with as many codes that stand for single pixels.
  const auto file = [](int repeatedCode) {
    giftest::CodeStream codes(8);
    codes.Clear().Data(0);
    for (int code = 258; code < 4096; ++code) codes.Data(code);  // strings "00", "000", ...
    for (int i = 0; i < 500'000; ++i) codes.Data(repeatedCode);
    return giftest::FileBuilder(16, 16, giftest::MakePalette(256, 1), 7)
        .Image(0, 0, 65535, 65535, false, codes.Stop(), 8)
        .Trailer()
        .bytes();
  };
  const double plainSeconds = SecondsToRead(file(0));
  const double forgedSeconds = SecondsToRead(file(4095));
  EXPECT_LT(forgedSeconds, 4 * plainSeconds + 0.25) << plainSeconds;
}

}  // namespace
}  // namespace genshoku
