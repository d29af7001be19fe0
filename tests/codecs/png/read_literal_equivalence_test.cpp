// The reader against its first, strictly byte-at-a-time form (kept in the support files):
// the same bytes handed over in the same order, the same refusals, messages, results and
// pixels, on sound data and on damaged streams (damaged files: read_hostile_test).
#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>

#include "codecs/png/png_inflater.h"
#include "support_read_literal_decoder.h"
#include "support_read_literal_inflater.h"
#include "support_read_png.h"

namespace genshoku::png {
namespace {

using namespace pngtest;

// Records every byte offered, in order, with the answer given. It refuses bytes from
// `refuseFrom` on, and every byte whose index is a multiple of `refuseEvery`, so that
// refusals inside stored and Huffman blocks are both exercised.
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

// Whether it succeeded, what it printed and every byte offered.
std::tuple<bool, std::string, std::vector<uint16_t>> Inflation(const Bytes& data, bool literal,
                                                               size_t refuseFrom,
                                                               size_t refuseEvery) {
  CapturedDiagnostics diagnostics;
  OfferLog log(diagnostics);
  log.refuseFrom = refuseFrom;
  log.refuseEvery = refuseEvery;
  bool ok;
  if (literal) {
    ok = literal::LiteralInflate(log, diagnostics, data.data(), data.size());
  } else {
    PngInflater inflater(log, diagnostics);
    ok = inflater.Inflate(data.data(), data.size());
  }
  return {ok, diagnostics.Text(DiagnosticStream::Out), std::move(log.offered)};
}

void ExpectSameInflation(const Bytes& data, size_t refuseFrom = SIZE_MAX, size_t refuseEvery = 0) {
  const auto expected = Inflation(data, true, refuseFrom, refuseEvery);
  const auto actual = Inflation(data, false, refuseFrom, refuseEvery);
  EXPECT_EQ(std::get<0>(actual), std::get<0>(expected));
  EXPECT_EQ(std::get<1>(actual), std::get<1>(expected));
  EXPECT_TRUE(std::get<2>(actual) == std::get<2>(expected));
}

void ExpectSameDecoding(const Bytes& file) {
  EXPECT_TRUE(DecodePngBytes(file, 1 << 16) ==
              DecodePngBytes<literal::LiteralRawPngDecoder>(file, 1 << 16));
}

// Compressed streams of every block kind, long and short matches, windows from 256 bytes
// to 32 KiB.
std::vector<Bytes> SoundStreams() {
  std::mt19937 random(7);
  static const char* const kWords[] = {"pixel ", "palette ", "deflate ", "window ", "the ", "a ",
                                       "of ",    "line ",    "\n",       "0123 ",   "zz "};
  Bytes text, noise(5000), ramps;
  while (text.size() < 70000) {
    const std::string word = kWords[random() % 11];
    text.insert(text.end(), word.begin(), word.end());
  }
  for (uint8_t& byte : noise) byte = static_cast<uint8_t>(random());
  for (int i = 0; i < 40000; ++i) ramps.push_back(static_cast<uint8_t>((i / 3) % 97 + (i % 7)));
  std::vector<Bytes> streams;
  for (const Bytes& source : {text, noise, Bytes(3000, 0x41), ramps, Bytes{1, 2, 3}}) {
    for (int strategy : {Z_DEFAULT_STRATEGY, Z_FIXED, Z_RLE, Z_HUFFMAN_ONLY}) {
      for (int level : {0, 1, 6, 9}) streams.push_back(ZlibCompress(source, level, strategy));
    }
  }
  // The window size in the header decides which distances are refused.
  Bytes small = ZlibCompress(ramps, 9);
  for (uint8_t window = 0; window < 16; window += 3) {
    small[0] = static_cast<uint8_t>(window << 4 | 8);
    streams.push_back(small);
  }
  return streams;
}

TEST(ReadLiteralEquivalence, SoundAndTruncatedStreamsWithAndWithoutRefusals) {
  std::mt19937 random(3);
  for (const Bytes& stream : SoundStreams()) {
    ExpectSameInflation(stream);
    ExpectSameInflation(stream, 1000);
    ExpectSameInflation(stream, 0);
    ExpectSameInflation(stream, SIZE_MAX, 777);
    for (int cut = 0; cut < 12; ++cut) {
      const size_t size = cut < 6 ? std::min<size_t>(stream.size(), static_cast<size_t>(cut))
                                  : random() % (stream.size() + 1);
      ExpectSameInflation(Bytes(stream.begin(), stream.begin() + size));
    }
  }
}

TEST(ReadLiteralEquivalence, DamagedStreamsAndNoise) {
  const std::vector<Bytes> streams = SoundStreams();
  std::mt19937 random(11);
  for (int round = 0; round < 3000; ++round) {
    Bytes stream = streams[random() % streams.size()];
    const int flips = 1 + static_cast<int>(random() % 4);
    for (int i = 0; i < flips; ++i) {
      // Damage near the start hits block headers and code tables more often.
      const size_t range = random() % 2 ? stream.size() : std::min<size_t>(stream.size(), 64);
      stream[random() % range] ^= static_cast<uint8_t>(1u << (random() % 8));
    }
    SCOPED_TRACE(round);
    ExpectSameInflation(stream, random() % 3 == 0 ? random() % 5000 : SIZE_MAX);
  }
  for (int round = 0; round < 3000; ++round) {
    Bytes stream(2 + random() % 400);
    for (uint8_t& byte : stream) byte = static_cast<uint8_t>(random());
    stream[0] = static_cast<uint8_t>((random() % 8) << 4 | 8);
    stream[1] = 0x01;
    SCOPED_TRACE(round);
    ExpectSameInflation(stream);
  }
}

TEST(ReadLiteralEquivalence, SoundFilesOddFilterBytesAndInterlaceMethodsAndExtraData) {
  for (const Bytes& file : FilesOfEveryFormat()) ExpectSameDecoding(file);
  // Filter bytes above 4 on every other line.
  for (int colorType : {2, 6}) {
    const SourceImage image = RandomImage(17, 9, colorType, 8, 1);
    for (uint8_t odd : {5, 200}) {
      Bytes data = FilteredData(image, EncodeOptions{});
      for (size_t at = 0; at < data.size(); at += (image.RowBytes() + 1) * 2) data[at] = odd;
      ExpectSameDecoding(FileWithData(17, 9, 8, colorType, data));
    }
  }
  for (int method : {2, 7}) {
    for (int level : {0, 6}) {
      const SourceImage image = RandomImage(6, 4, level == 0 ? 3 : 2, 8, 3);
      ExpectSameDecoding(FileWithData(6, 4, 8, image.colorType, FilteredData(image, {}), method,
                                      image.palette, level));
    }
  }
  // Data beyond the picture, in a stored and in a compressed stream.
  const SourceImage image = RandomImage(7, 5, 2, 8, 9);
  Bytes data = FilteredData(image, EncodeOptions{});
  data.insert(data.end(), 100, 0x33);
  for (int level : {0, 6}) ExpectSameDecoding(FileWithData(7, 5, 8, 2, data, 0, {}, level));
}

}  // namespace
}  // namespace genshoku::png
