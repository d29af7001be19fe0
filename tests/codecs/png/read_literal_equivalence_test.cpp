// The reader against its first, strictly byte-at-a-time form (kept in the support files):
// the same bytes handed over in the same order, the same refusals, messages, results and
// pixels, on sound data and on every kind of damage.
#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>

#include "codecs/png/png_inflater.h"
#include "codecs/png/png_streams.h"
#include "codecs/png/raw_png_decoder.h"
#include "support_read_literal_decoder.h"
#include "support_read_literal_inflater.h"
#include "support_read_png_builder.h"

namespace genshoku::png {
namespace {

using readtest::Bytes;
using readtest::EncodeOptions;
using readtest::EncodePng;
using readtest::RandomImage;
using readtest::ZlibCompress;

// Records every byte offered, in order, with the answer given. It refuses bytes from
// `refuseFrom` on, and also every byte whose index is a multiple of `refuseEvery`, so
// that refusals inside stored and Huffman blocks are both exercised.
class OfferLog final : public VxGenericPngDecoder {
 public:
  using VxGenericPngDecoder::VxGenericPngDecoder;
  bool ConsumeByte(uint8_t byte) override {
    const size_t index = offered.size();
    const bool refuse = index >= refuseFrom || (refuseEvery > 0 && index % refuseEvery == 0);
    offered.push_back(static_cast<uint16_t>(byte | (refuse ? 0x100 : 0)));
    return !refuse;
  }
  std::vector<uint16_t> offered;
  size_t refuseFrom = SIZE_MAX;
  size_t refuseEvery = 0;
};

struct InflateRun {
  bool ok = false;
  std::vector<uint16_t> offered;
  std::string out;
};

InflateRun RunInflater(const Bytes& data, bool literal, size_t refuseFrom, size_t refuseEvery) {
  CapturedDiagnostics diagnostics;
  OfferLog log(diagnostics);
  log.refuseFrom = refuseFrom;
  log.refuseEvery = refuseEvery;
  InflateRun run;
  if (literal) {
    run.ok = literal::LiteralInflate(log, diagnostics, data.data(), data.size());
  } else {
    PngInflater inflater(log, diagnostics);
    run.ok = inflater.Inflate(data.data(), data.size());
  }
  run.offered = std::move(log.offered);
  run.out = diagnostics.Text(DiagnosticStream::Out);
  return run;
}

void ExpectSameInflation(const Bytes& data, size_t refuseFrom = SIZE_MAX, size_t refuseEvery = 0) {
  const InflateRun expected = RunInflater(data, true, refuseFrom, refuseEvery);
  const InflateRun actual = RunInflater(data, false, refuseFrom, refuseEvery);
  EXPECT_EQ(actual.ok, expected.ok);
  EXPECT_EQ(actual.out, expected.out);
  ASSERT_EQ(actual.offered.size(), expected.offered.size());
  EXPECT_TRUE(actual.offered == expected.offered);
}

struct DecodeRun {
  bool result = false;
  bool hasPicture = false;
  uint32_t width = 0, height = 0;
  std::vector<uint8_t> pixels;
  std::string out;
};

template <typename Decoder>
DecodeRun RunDecoder(const Bytes& file) {
  CapturedDiagnostics diagnostics;
  Decoder decoder(diagnostics, uint64_t{1} << 16);
  VxPngMemoryStream stream(file.data(), file.size());
  DecodeRun run;
  run.result = decoder.DecodeStream(stream);
  run.hasPicture = decoder.HasPicture();
  run.width = decoder.outWidth;
  run.height = decoder.outHeight;
  run.pixels = decoder.pixels;
  run.out = diagnostics.AllText();
  return run;
}

void ExpectSameDecoding(const Bytes& file) {
  const DecodeRun expected = RunDecoder<literal::LiteralRawPngDecoder>(file);
  const DecodeRun actual = RunDecoder<VxRawPngDecoder>(file);
  EXPECT_EQ(actual.result, expected.result);
  EXPECT_EQ(actual.hasPicture, expected.hasPicture);
  EXPECT_EQ(actual.width, expected.width);
  EXPECT_EQ(actual.height, expected.height);
  EXPECT_TRUE(actual.pixels == expected.pixels);
  EXPECT_EQ(actual.out, expected.out);
}

Bytes TextLikeData(size_t size, std::mt19937& random) {
  static const char* const kWords[] = {"pixel ", "palette ", "deflate ", "window ", "the ", "a ",
                                       "of ",    "line ",    "\n",       "0123 ",   "zz "};
  Bytes data;
  while (data.size() < size) {
    const std::string word = kWords[random() % 11];
    data.insert(data.end(), word.begin(), word.end());
  }
  data.resize(size);
  return data;
}

// Compressed streams of every block kind: stored, fixed, dynamic; long and short matches;
// windows from 256 bytes to 32 KiB.
std::vector<Bytes> SoundStreams() {
  std::mt19937 random(7);
  std::vector<Bytes> sources;
  sources.push_back(TextLikeData(70000, random));
  Bytes noise(5000);
  for (uint8_t& byte : noise) byte = static_cast<uint8_t>(random());
  sources.push_back(noise);
  sources.push_back(Bytes(3000, 0x41));
  Bytes ramps;
  for (int i = 0; i < 40000; ++i) ramps.push_back(static_cast<uint8_t>((i / 3) % 97 + (i % 7)));
  sources.push_back(ramps);
  sources.push_back(Bytes{1, 2, 3});
  std::vector<Bytes> streams;
  for (const Bytes& source : sources) {
    for (int strategy : {Z_DEFAULT_STRATEGY, Z_FIXED, Z_RLE, Z_HUFFMAN_ONLY}) {
      for (int level : {0, 1, 6, 9}) streams.push_back(ZlibCompress(source, level, strategy));
    }
  }
  // The window size in the header decides which distances are refused.
  Bytes small = ZlibCompress(sources[3], 9, Z_DEFAULT_STRATEGY);
  for (uint8_t window = 0; window < 16; window += 3) {
    small[0] = static_cast<uint8_t>(window << 4 | 8);
    streams.push_back(small);
  }
  return streams;
}

TEST(ReadLiteralEquivalence, SoundStreamsWithAndWithoutRefusals) {
  for (const Bytes& stream : SoundStreams()) {
    ExpectSameInflation(stream);
    ExpectSameInflation(stream, 1000);
    ExpectSameInflation(stream, 0);
    ExpectSameInflation(stream, SIZE_MAX, 777);
  }
}

TEST(ReadLiteralEquivalence, TruncatedStreams) {
  std::mt19937 random(3);
  for (const Bytes& stream : SoundStreams()) {
    for (int cut = 0; cut < 12; ++cut) {
      const size_t size = cut < 6 ? std::min<size_t>(stream.size(), static_cast<size_t>(cut))
                                  : random() % (stream.size() + 1);
      ExpectSameInflation(Bytes(stream.begin(), stream.begin() + size));
    }
  }
}

TEST(ReadLiteralEquivalence, DamagedStreams) {
  const std::vector<Bytes> streams = SoundStreams();
  std::mt19937 random(11);
  for (int round = 0; round < 3000; ++round) {
    Bytes stream = streams[random() % streams.size()];
    const int flips = 1 + static_cast<int>(random() % 4);
    for (int i = 0; i < flips; ++i) {
      // Damage near the start hits block headers and code tables more often.
      const size_t range = random() % 2 ? stream.size() : std::min<size_t>(stream.size(), 64);
      const size_t at = random() % range;
      stream[at] ^= static_cast<uint8_t>(1u << (random() % 8));
    }
    SCOPED_TRACE(round);
    ExpectSameInflation(stream, random() % 3 == 0 ? random() % 5000 : SIZE_MAX);
  }
}

TEST(ReadLiteralEquivalence, NoiseAfterAValidHeader) {
  std::mt19937 random(5);
  for (int round = 0; round < 3000; ++round) {
    Bytes stream(2 + random() % 400);
    for (uint8_t& byte : stream) byte = static_cast<uint8_t>(random());
    stream[0] = static_cast<uint8_t>((random() % 8) << 4 | 8);
    stream[1] = 0x01;
    SCOPED_TRACE(round);
    ExpectSameInflation(stream);
  }
}

std::vector<Bytes> SoundFiles() {
  const struct {
    int colorType, bitDepth;
  } formats[] = {{0, 1}, {0, 8}, {2, 8}, {2, 16}, {3, 1},  {3, 2},
                 {3, 4}, {3, 8}, {4, 8}, {6, 8},  {0, 16}, {4, 16}};
  std::vector<Bytes> files;
  uint32_t seed = 500;
  for (const auto& format : formats) {
    for (uint32_t width : {1u, 3u, 8u, 13u, 40u}) {
      for (int filter : {-1, 0, 1, 2, 3, 4}) {
        for (bool interlaced : {false, true}) {
          EncodeOptions options;
          options.interlaced = interlaced;
          options.filter = filter;
          options.zlibLevel = static_cast<int>(seed % 3) * 4;
          options.idatPiece = seed % 5 == 0 ? 17 : 0;
          const uint32_t height = 1 + seed % 11;
          files.push_back(EncodePng(
              RandomImage(width, height, format.colorType, format.bitDepth, ++seed, 5), options));
        }
      }
    }
  }
  return files;
}

// Filter bytes above 4 and interlace methods other than 0 and 1 are set by hand.
Bytes WithOddFilterBytes(const readtest::SourceImage& image, uint8_t oddFilter) {
  Bytes data = readtest::FilteredData(image, EncodeOptions{});
  const size_t line = image.RowBytes() + 1;
  for (size_t at = 0; at < data.size(); at += line * 2) data[at] = oddFilter;
  Bytes file = readtest::Signature();
  readtest::Append(
      file, readtest::HeaderChunk(image.width, image.height, image.bitDepth, image.colorType, 0));
  if (!image.palette.empty()) readtest::Append(file, readtest::Chunk("PLTE", image.palette));
  readtest::Append(file, readtest::Chunk("IDAT", ZlibCompress(data, 6, Z_DEFAULT_STRATEGY)));
  readtest::Append(file, readtest::Chunk("IEND", {}));
  return file;
}

TEST(ReadLiteralEquivalence, SoundFilesOfEveryFormatFilterAndLayout) {
  for (const Bytes& file : SoundFiles()) ExpectSameDecoding(file);
  for (uint8_t odd : {5, 200}) {
    ExpectSameDecoding(WithOddFilterBytes(RandomImage(17, 9, 2, 8, 1), odd));
    ExpectSameDecoding(WithOddFilterBytes(RandomImage(17, 9, 6, 8, 2), odd));
  }
}

TEST(ReadLiteralEquivalence, UnknownInterlaceMethodAndExtraData) {
  for (int method : {2, 7}) {
    for (const Bytes& file : {EncodePng(RandomImage(6, 4, 2, 8, 3), EncodeOptions{}),
                              EncodePng(RandomImage(6, 4, 3, 8, 4), {false, 0, 0, 0, 0})}) {
      Bytes odd = file;
      odd[8 + 8 + 12] = static_cast<uint8_t>(method);  // the header's interlace byte
      ExpectSameDecoding(odd);
    }
  }
  // Data beyond the picture, in a stored and in a compressed stream.
  const readtest::SourceImage image = RandomImage(7, 5, 2, 8, 9);
  Bytes data = readtest::FilteredData(image, EncodeOptions{});
  data.insert(data.end(), 100, 0x33);
  for (int level : {0, 6}) {
    Bytes file = readtest::Signature();
    readtest::Append(file, readtest::HeaderChunk(7, 5, 8, 2, 0));
    readtest::Append(file, readtest::Chunk("IDAT", ZlibCompress(data, level, Z_DEFAULT_STRATEGY)));
    ExpectSameDecoding(file);
  }
}

TEST(ReadLiteralEquivalence, DamagedAndTruncatedFiles) {
  const std::vector<Bytes> files = SoundFiles();
  std::mt19937 random(21);
  for (int round = 0; round < 3000; ++round) {
    Bytes file = files[random() % files.size()];
    if (random() % 3 == 0) {
      file.resize(random() % (file.size() + 1));
    } else {
      const int flips = 1 + static_cast<int>(random() % 3);
      for (int i = 0; i < flips; ++i) {
        // Past the signature and header, so that most damage reaches the image data.
        const size_t at = 33 + random() % (file.size() - 33);
        file[at] ^= static_cast<uint8_t>(1u << (random() % 8));
      }
    }
    SCOPED_TRACE(round);
    ExpectSameDecoding(file);
  }
}

}  // namespace
}  // namespace genshoku::png
