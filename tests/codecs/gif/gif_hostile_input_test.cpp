// Damaged and forged files through the reader. Thousands of deterministic variations of good
// files (cut short, bytes changed, inserted, removed, repeated) must read without any access
// outside the input or the screen (the sanitizer build checks every access), and forged
// streams must not make the work grow beyond the input.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "codecs/gif/gif_reader.h"
#include "codecs/gif/gif_writer.h"
#include "common/diagnostics.h"
#include "gif_test_support.h"

namespace genshoku {
namespace {

using giftest::Bytes;

constexpr int kMostImages = 50;

// Reads every image and renders each, from a heap copy of exactly the input's size so that
// a read one byte too far is caught. Counts the images read into `imagesRead`.
void ReadEverything(const Bytes& bytes, size_t& imagesRead) {
  std::unique_ptr<uint8_t[]> copy(new uint8_t[bytes.size() + (bytes.empty() ? 1 : 0)]);
  std::copy(bytes.begin(), bytes.end(), copy.get());
  auto reader = GifReader::OpenMemory(copy.get(), bytes.size(), SilentDiagnostics());
  if (!reader) return;
  const size_t pixels = size_t(reader->width()) * reader->height();
  ASSERT_LE(pixels, GifReader::kMaxScreenPixels);
  std::unique_ptr<uint8_t[]> rgb(new uint8_t[pixels * 3 + 1]);
  for (int image = 0; image < kMostImages; ++image) {
    const int result = reader->NextImage();
    ASSERT_GE(result, GifReader::kError);
    ASSERT_LE(result, GifReader::kImageRead);
    ASSERT_EQ(reader->screenIndices().size(), pixels);
    reader->Render(rgb.get());
    if (result != GifReader::kImageRead) break;
    ++imagesRead;
  }
}

std::vector<Bytes> Seeds() {
  std::vector<Bytes> seeds;

  // The writer's own files: a three-frame animation and a two-colour picture.
  {
    const Bytes palette = giftest::MakePalette(256, 1);
    Bytes out;
    auto writer = GifWriter::Create(out, 30, 20, palette.data(), 8, 0, SilentDiagnostics());
    for (uint32_t frame = 0; frame < 3; ++frame) {
      const Bytes indices = giftest::MakeIndices(600, 256 >> frame, frame);
      std::copy(indices.begin(), indices.end(), writer->currentFrame());
      writer->WriteFrame(static_cast<uint16_t>(frame * 5));
    }
    writer->Finish();
    seeds.push_back(out);
  }
  {
    const Bytes palette = {0, 0, 0, 255, 255, 255};
    Bytes out;
    auto writer = GifWriter::Create(out, 9, 9, palette.data(), 1, -1, SilentDiagnostics());
    const Bytes indices = giftest::MakeIndices(81, 2, 4);
    std::copy(indices.begin(), indices.end(), writer->currentFrame());
    writer->WriteFrame(0);
    writer->Finish();
    seeds.push_back(out);
  }

  // giflib's: interlaced frames with local tables, transparency, a comment and a loop count.
  {
    giftest::OracleScreen screen;
    screen.width = 24, screen.height = 17, screen.background = 2, screen.loopCount = 2;
    screen.palette = giftest::MakePalette(32, 2);
    screen.comment = "hostile";
    std::vector<giftest::OracleFrame> frames;
    for (int i = 0; i < 3; ++i) {
      giftest::OracleFrame frame;
      frame.left = i * 3, frame.top = i, frame.width = 24 - i * 5, frame.height = 17 - i * 4;
      frame.interlaced = i != 1;
      if (i == 1) frame.localPalette = giftest::MakePalette(8, 9);
      frame.indices = giftest::MakeIndices(size_t(frame.width) * frame.height, i == 1 ? 8 : 32,
                                           uint32_t(i + 20));
      frame.disposal = i, frame.transparent = i == 2 ? 3 : NO_TRANSPARENT_COLOR;
      frames.push_back(frame);
    }
    seeds.push_back(giftest::EncodeWithGiflib(screen, frames));
  }

  // Hand-built: a plain text extension, an application extension and a stream that fills
  // the table.
  {
    giftest::CodeStream codes(2);
    codes.Clear();
    for (int i = 0; i < 300; ++i) codes.Data(i % 4);
    codes.Stop();
    giftest::FileBuilder file(20, 20, giftest::MakePalette(4, 3), 1, 1);
    file.Append({0x21, 0x01, 12, 0, 0, 0, 0, 4, 0, 4, 0, 8, 8, 1, 0, 2, 'h', 'i', 0});
    file.Append({0x21, 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 3, 1, 5, 0, 0});
    file.Control(2, true, 1, 7);
    file.Image(1, 1, 18, 18, true, codes, 2).Trailer();
    seeds.push_back(file.bytes());
  }
  return seeds;
}

TEST(GifHostileInput, EveryPrefixOfAGoodFileReadsSafely) {
  size_t cases = 0, imagesRead = 0;
  for (const Bytes& seed : Seeds()) {
    ASSERT_FALSE(seed.empty());
    for (size_t length = 0; length <= seed.size(); ++length) {
      ReadEverything(Bytes(seed.begin(), seed.begin() + static_cast<ptrdiff_t>(length)), imagesRead);
      ++cases;
    }
  }
  EXPECT_GT(cases, 2000u);
  EXPECT_GT(imagesRead, cases / 2);  // most prefixes hold at least one (partial) image
}

Bytes Mutate(const Bytes& seed, giftest::Random& random) {
  Bytes bytes = seed;
  // Bytes 6 to 9 are the screen size, changed rarely and kept below 256 on each side: a
  // large screen only costs time here, and the limit has its own test.
  const auto position = [&] { return 10 + random.Below(static_cast<uint32_t>(bytes.size() - 10)); };
  static constexpr uint8_t kTelling[] = {0x00, 0x01, 0x0B, 0x21, 0x2C, 0x3B, 0x7F, 0x80, 0xF9, 0xFE, 0xFF};
  const int edits = 1 + static_cast<int>(random.Below(6));
  for (int edit = 0; edit < edits && bytes.size() > 11; ++edit) {
    switch (random.Below(7)) {
      case 0:
      case 1:
        bytes[position()] = static_cast<uint8_t>(random.Next());
        break;
      case 2:
        bytes[position()] = kTelling[random.Below(sizeof kTelling)];
        break;
      case 3:
        bytes.insert(bytes.begin() + position(), static_cast<uint8_t>(random.Next()));
        break;
      case 4: {
        const size_t at = position();
        const size_t count = std::min<size_t>(1 + random.Below(40), bytes.size() - at);
        bytes.erase(bytes.begin() + static_cast<ptrdiff_t>(at),
                    bytes.begin() + static_cast<ptrdiff_t>(at + count));
        break;
      }
      case 5: {
        const size_t from = position(), to = position();
        const size_t count = std::min<size_t>(1 + random.Below(60), bytes.size() - from);
        Bytes piece(bytes.begin() + static_cast<ptrdiff_t>(from),
                    bytes.begin() + static_cast<ptrdiff_t>(from + count));
        bytes.insert(bytes.begin() + static_cast<ptrdiff_t>(to), piece.begin(), piece.end());
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
  if (bytes.size() > 11 && random.Below(4) == 0) {
    bytes.resize(11 + random.Below(static_cast<uint32_t>(bytes.size() - 11)));
  }
  return bytes;
}

TEST(GifHostileInput, MutatedFilesReadSafely) {
  const std::vector<Bytes> seeds = Seeds();
  giftest::Random random(2024);
  size_t imagesRead = 0;
  const int rounds = 4000;
  for (int round = 0; round < rounds; ++round) {
    ReadEverything(Mutate(seeds[static_cast<size_t>(round) % seeds.size()], random), imagesRead);
  }
  // The damage must leave enough files readable to exercise the image decoding.
  EXPECT_GT(imagesRead, size_t(rounds) / 4);
}

// Seconds taken to open `bytes` and read its images.
double SecondsToRead(const Bytes& bytes, Bytes& screenIndices) {
  const auto start = std::chrono::steady_clock::now();
  auto reader = GifReader::OpenMemory(bytes.data(), bytes.size(), SilentDiagnostics());
  EXPECT_NE(reader, nullptr);
  if (!reader) return 0;
  EXPECT_EQ(reader->NextImage(), GifReader::kImageRead);
  EXPECT_EQ(reader->NextImage(), GifReader::kTrailer);
  screenIndices = reader->screenIndices();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

TEST(GifHostileInput, ForgedStreamsCostWorkInProportionToTheInput) {
  // The longest strings the table can hold, repeated half a million times, for an image
  // rectangle of 65535 x 65535 on a small screen: billions of pixel positions, nearly all
  // off the screen. The reader has to skip them instead of spelling them out, so the file
  // reads about as fast as one with as many codes that stand for single pixels.
  const auto stream = [](int repeatedCode) {
    giftest::CodeStream codes(8);
    codes.Clear().Data(0);
    for (int code = 258; code < 4096; ++code) codes.Data(code);  // strings "00", "000", ...
    for (int i = 0; i < 500'000; ++i) codes.Data(repeatedCode);
    codes.Stop();
    return codes;
  };
  const Bytes palette = giftest::MakePalette(256, 1);
  const Bytes forged = giftest::FileBuilder(16, 16, palette, 7)
                           .Image(0, 0, 65535, 65535, false, stream(4095), 8)
                           .Trailer()
                           .bytes();
  const Bytes plain = giftest::FileBuilder(16, 16, palette, 7)
                          .Image(0, 0, 65535, 65535, false, stream(0), 8)
                          .Trailer()
                          .bytes();

  Bytes forgedIndices, plainIndices;
  const double plainSeconds = SecondsToRead(plain, plainIndices);
  const double forgedSeconds = SecondsToRead(forged, forgedIndices);
  EXPECT_LT(forgedSeconds, 4 * plainSeconds + 0.25) << plainSeconds;
  EXPECT_EQ(forgedIndices, Bytes(256, 0));
  EXPECT_EQ(plainIndices, Bytes(256, 0));
}

}  // namespace
}  // namespace genshoku
