// The chunk loop: signature, gathering of image data, the header, palette, transparency
// and gamma chunks, truncated files, limits, and the file and memory streams.
#include "codecs/png/png_decoder.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include <unistd.h>

#include "codecs/png/png_streams.h"
#include "codecs/png/raw_png_decoder.h"
#include "support_read_decode.h"
#include "support_read_png_builder.h"

namespace genshoku::png {
namespace {

using readtest::Append;
using readtest::Bytes;
using readtest::Chunk;
using readtest::DecodePngBytes;
using readtest::HeaderChunk;
using readtest::Signature;
using readtest::ZlibCompress;

// Counts the steps the chunk loop takes.
class StepCounter final : public VxGenericPngDecoder {
 public:
  using VxGenericPngDecoder::VxGenericPngDecoder;
  bool BeginImage() override { ++begins; return true; }
  bool ConsumeByte(uint8_t) override { ++bytes; return true; }
  int begins = 0;
  int bytes = 0;
};

// A stream that cannot tell its length, like a pipe.
class UnsizedStream final : public VxPngGenericBinaryStream {
 public:
  explicit UnsizedStream(const Bytes& data) : inner_(data.data(), data.size()) {}
  int64_t TotalSize() override { return -1; }
  size_t ReadBytes(uint8_t* buffer, size_t count) override { return inner_.ReadBytes(buffer, count); }

 private:
  VxPngMemoryStream inner_;
};

Bytes GreyFile(uint32_t width, uint32_t height, const Bytes& filtered) {
  Bytes file = Signature();
  Append(file, HeaderChunk(width, height, 8, 0, 0));
  Append(file, Chunk("IDAT", ZlibCompress(filtered, 6, Z_DEFAULT_STRATEGY)));
  Append(file, Chunk("IEND", {}));
  return file;
}

TEST(VxGenericPngDecoder, NeedsTheSignature) {
  Bytes file = GreyFile(1, 1, {0, 1});
  file[1] = 'p';
  for (const Bytes& bad : {file, Bytes{0x89, 'P', 'N'}, Bytes{}}) {
    const auto decoded = DecodePngBytes(bad);
    EXPECT_FALSE(decoded.result);
    EXPECT_FALSE(decoded.hasPicture);
    EXPECT_EQ(decoded.out, "The file does not have PNG signature.\n");
  }
}

TEST(VxGenericPngDecoder, NoHeaderNoImage) {
  for (const Bytes& tail : {Chunk("IEND", {}),
                            Chunk("IDAT", ZlibCompress({0, 1}, 6, Z_DEFAULT_STRATEGY)),
                            Chunk("IHDR", {0, 0, 0, 1, 0, 0, 0, 1, 8, 0, 0, 0})}) {  // 12 bytes
    Bytes file = Signature();
    Append(file, tail);
    CapturedDiagnostics diagnostics;
    StepCounter decoder(diagnostics);
    VxPngMemoryStream stream(file.data(), file.size());
    EXPECT_TRUE(decoder.DecodeStream(stream));
    EXPECT_EQ(decoder.begins, 0);
    EXPECT_EQ(diagnostics.AllText(), "");
  }
}

TEST(VxGenericPngDecoder, GathersImageDataAcrossChunksInFileOrder) {
  const Bytes compressed = ZlibCompress({0, 1, 2, 3, 0, 4, 5, 6}, 0, Z_DEFAULT_STRATEGY);
  Bytes file = Signature();
  Append(file, HeaderChunk(3, 2, 8, 0, 0));
  for (size_t at = 0; at < compressed.size(); at += 3) {
    Append(file, Chunk("IDAT", Bytes(compressed.begin() + at,
                                     compressed.begin() + std::min(at + 3, compressed.size()))));
    Append(file, Chunk("tEXt", {'a', 0, 'b'}));
    Append(file, Chunk("IDAT", {}));
  }
  Append(file, Chunk("IEND", {}));
  Append(file, Chunk("IDAT", {0xFF, 0xFF}));  // after the end: not read
  const auto decoded = DecodePngBytes(file);
  EXPECT_TRUE(decoded.result);
  EXPECT_EQ(decoded.pixels, (Bytes{1, 1, 1, 255, 2, 2, 2, 255, 3, 3, 3, 255,
                                   4, 4, 4, 255, 5, 5, 5, 255, 6, 6, 6, 255}));
  EXPECT_EQ(decoded.out, "");
}

TEST(VxGenericPngDecoder, PaletteChunks) {
  const Bytes idat = Chunk("IDAT", ZlibCompress({0, 0, 1}, 6, Z_DEFAULT_STRATEGY));
  Bytes file = Signature();
  Append(file, HeaderChunk(2, 1, 8, 3, 0));
  Append(file, Chunk("PLTE", {1, 1, 1}));
  Append(file, Chunk("PLTE", {}));  // empty chunks are passed over
  Append(file, Chunk("PLTE", {10, 20, 30, 40, 50, 60}));
  Append(file, idat);
  auto decoded = DecodePngBytes(file);
  EXPECT_EQ(decoded.paletteCount, 2);
  EXPECT_EQ(decoded.pixels, (Bytes{10, 20, 30, 255, 40, 50, 60, 255}));

  // A palette whose length is not a multiple of 3 stops everything.
  file = Signature();
  Append(file, HeaderChunk(2, 1, 8, 3, 0));
  Append(file, Chunk("PLTE", {1, 2, 3, 4}));
  Append(file, idat);
  decoded = DecodePngBytes(file);
  EXPECT_FALSE(decoded.result);
  EXPECT_FALSE(decoded.hasPicture);
}

TEST(VxGenericPngDecoder, TransparencyAndGammaByColourType) {
  struct Case {
    int colorType;
    Bytes trns;
    int32_t expected[3];
  };
  constexpr int32_t kNone = 0x7FFFFFFF;
  const Case cases[] = {
      {0, {1, 2}, {0x0102, kNone, kNone}},
      {0, {1}, {kNone, kNone, kNone}},
      {2, {0, 1, 0, 2, 1, 3}, {1, 2, 0x0103}},
      {2, {0, 1, 0, 2, 1}, {kNone, kNone, kNone}},
      {3, {7, 8, 9, 10}, {7, 8, 9}},
      {3, {7}, {7, kNone, kNone}},
      {6, {1, 2, 3, 4, 5, 6}, {kNone, kNone, kNone}},
  };
  for (const Case& test : cases) {
    Bytes file = Signature();
    Append(file, Chunk("tRNS", {9, 9, 9, 9, 9, 9}));  // before the header: ignored
    Append(file, HeaderChunk(1, 1, 8, test.colorType, 0));
    Append(file, Chunk("tRNS", test.trns));
    Append(file, Chunk("gAMA", {0, 0, 0xB1, 0x8F}));
    StepCounter decoder(SilentDiagnostics());
    VxPngMemoryStream stream(file.data(), file.size());
    decoder.DecodeStream(stream);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(decoder.transparentValue[i], test.expected[i]) << test.colorType;
    EXPECT_EQ(decoder.gamma, 45455);
  }
  StepCounter fresh(SilentDiagnostics());
  EXPECT_EQ(fresh.gamma, 100000);
  EXPECT_EQ(fresh.paletteCount, 0);
}

TEST(VxGenericPngDecoder, TruncatedFilesDecodeWhatWasRead) {
  // The second image data chunk is cut short: only the first one is decoded.
  const Bytes compressed = ZlibCompress({0, 1, 2, 0, 3, 4}, 0, Z_DEFAULT_STRATEGY);
  Bytes file = Signature();
  Append(file, HeaderChunk(2, 2, 8, 0, 0));
  Append(file, Chunk("IDAT", Bytes(compressed.begin(), compressed.begin() + 10)));
  Append(file, Chunk("IDAT", Bytes(compressed.begin() + 10, compressed.end())));
  file.resize(file.size() - 3);
  for (bool sized : {true, false}) {
    CapturedDiagnostics diagnostics;
    VxRawPngDecoder decoder(diagnostics);
    VxPngMemoryStream memory(file.data(), file.size());
    UnsizedStream unsized(file);
    EXPECT_TRUE(decoder.DecodeStream(sized ? static_cast<VxPngGenericBinaryStream&>(memory) : unsized));
    EXPECT_EQ(decoder.pixels, (Bytes{1, 1, 1, 255, 2, 2, 2, 255, 0, 0, 0, 255, 0, 0, 0, 255}));
  }
  // Every cut of a file ends in a defined state.
  const Bytes whole = GreyFile(5, 4, Bytes(24, 7));
  for (size_t cut = 0; cut < whole.size(); ++cut) {
    const auto decoded = DecodePngBytes(Bytes(whole.begin(), whole.begin() + cut));
    EXPECT_EQ(decoded.result, cut >= 8) << cut;
    if (decoded.hasPicture) {
      EXPECT_EQ(decoded.pixels.size(), 5u * 4 * 4);
    }
  }
}

TEST(VxGenericPngDecoder, ChunkLengthsBeyondTheStreamEndTheLoop) {
  Bytes huge = Signature();
  Append(huge, HeaderChunk(1, 1, 8, 0, 0));
  Append(huge, {0xFF, 0xFF, 0xFF, 0xF0, 't', 'E', 'X', 't', 1, 2, 3});
  for (bool sized : {true, false}) {
    StepCounter decoder(SilentDiagnostics());
    VxPngMemoryStream memory(huge.data(), huge.size());
    UnsizedStream unsized(huge);
    EXPECT_TRUE(decoder.DecodeStream(sized ? static_cast<VxPngGenericBinaryStream&>(memory) : unsized));
    EXPECT_EQ(decoder.begins, 1);  // the header was read before
    EXPECT_EQ(decoder.bytes, 0);
  }
}

TEST(VxRawPngDecoder, ASecondFileReplacesTheFirst) {
  CapturedDiagnostics diagnostics;
  VxRawPngDecoder decoder(diagnostics);
  const Bytes first = GreyFile(1, 1, {0, 42});
  VxPngMemoryStream stream(first.data(), first.size());
  ASSERT_TRUE(decoder.DecodeStream(stream));
  EXPECT_TRUE(decoder.HasPicture());
  Bytes second = Signature();
  Append(second, Chunk("IEND", {}));
  VxPngMemoryStream again(second.data(), second.size());
  EXPECT_TRUE(decoder.DecodeStream(again));
  EXPECT_FALSE(decoder.HasPicture());
  EXPECT_EQ(decoder.outWidth, 0u);
}

TEST(VxRawPngDecoder, RefusesEmptyAndOversizedPictures) {
  const struct {
    uint32_t width, height;
  } sizes[] = {{0, 1}, {1, 0}, {0xFFFFFFFF, 0xFFFFFFFF}, {100'000'001, 1}, {10001, 10000}};
  for (const auto& size : sizes) {
    Bytes file = Signature();
    Append(file, HeaderChunk(size.width, size.height, 8, 2, 0));
    Append(file, Chunk("IDAT", ZlibCompress(Bytes(1000, 0), 6, Z_DEFAULT_STRATEGY)));
    const auto decoded = DecodePngBytes(file);
    EXPECT_TRUE(decoded.result);
    EXPECT_FALSE(decoded.hasPicture) << size.width << "x" << size.height;
    EXPECT_EQ(decoded.out, "");
  }
  // The limit is a setting of the decoder.
  EXPECT_FALSE(DecodePngBytes(GreyFile(3, 3, Bytes(12, 0)), 8).hasPicture);
  EXPECT_TRUE(DecodePngBytes(GreyFile(3, 3, Bytes(12, 0)), 9).hasPicture);
}

TEST(VxPngStreams, FileAndMemory) {
  const std::filesystem::path path =
      std::filesystem::temp_directory_path() / ("genshoku_png_read_" + std::to_string(::getpid()) + ".png");
  const Bytes file = GreyFile(2, 1, {0, 8, 9});
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), file.size());

  std::FILE* handle = std::fopen(path.c_str(), "rb");
  ASSERT_NE(handle, nullptr);
  uint8_t first[3];
  ASSERT_EQ(std::fread(first, 1, 3, handle), 3u);
  VxPngBinaryFileStream stream(handle);
  EXPECT_EQ(stream.TotalSize(), static_cast<int64_t>(file.size()));
  uint8_t next;
  EXPECT_EQ(stream.ReadBytes(&next, 1), 1u);  // the position did not move
  EXPECT_EQ(next, file[3]);
  std::fclose(handle);

  CapturedDiagnostics diagnostics;
  VxRawPngDecoder decoder(diagnostics);
  EXPECT_TRUE(decoder.DecodeFile(path.string()));
  EXPECT_EQ(decoder.pixels, (Bytes{8, 8, 8, 255, 9, 9, 9, 255}));
  std::filesystem::remove(path);
  EXPECT_FALSE(decoder.DecodeFile(path.string()));
  EXPECT_EQ(diagnostics.AllText(), "");

  VxPngMemoryStream memory(file.data(), 5);
  uint8_t buffer[8];
  EXPECT_EQ(memory.TotalSize(), 5);
  EXPECT_EQ(memory.ReadBytes(buffer, 3), 3u);
  EXPECT_EQ(memory.ReadBytes(buffer, 8), 2u);
  EXPECT_EQ(memory.ReadBytes(buffer, 8), 0u);
}

}  // namespace
}  // namespace genshoku::png
