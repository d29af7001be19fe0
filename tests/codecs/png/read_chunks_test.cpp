// The chunk loop: signature, image data gathered across chunks, the header, palette,
// transparency and gamma chunks, cut files and forged lengths, the picture limit, and the
// file and memory streams.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "codecs/png/png_streams.h"
#include "codecs/png/raw_png_decoder.h"
#include "support_read_png.h"

namespace genshoku::png {
namespace {

using namespace pngtest;

// A stream that cannot tell its length, like a pipe.
class UnsizedStream final : public VxPngGenericBinaryStream {
 public:
  explicit UnsizedStream(const Bytes& data) : inner_(data.data(), data.size()) {}
  int64_t TotalSize() override { return -1; }
  size_t ReadBytes(uint8_t* buffer, size_t count) override {
    return inner_.ReadBytes(buffer, count);
  }

 private:
  VxPngMemoryStream inner_;
};

// The pixels read through a stream that knows its size or through one that does not.
Bytes PixelsThrough(const Bytes& file, bool sized) {
  VxRawPngDecoder decoder(SilentDiagnostics());
  VxPngMemoryStream memory(file.data(), file.size());
  UnsizedStream unsized(file);
  EXPECT_TRUE(
      decoder.DecodeStream(sized ? static_cast<VxPngGenericBinaryStream&>(memory) : unsized));
  return decoder.pixels;
}

Bytes GreyFile(uint32_t width, uint32_t height, const Bytes& filtered) {
  return FileWithData(width, height, 8, 0, filtered);
}

TEST(PngChunks, FilesWithoutSignatureHeaderOrPixelsGiveNoPicture) {
  const auto rgb = [](uint32_t width, uint32_t height) {
    return HeaderChunk(width, height, 8, 2, 0);
  };
  const Bytes data = Chunk("IDAT", ZlibCompress(Bytes(1000, 0), 6));
  Bytes misspelt = GreyFile(1, 1, {0, 1});
  misspelt[1] = 'p';
  const std::pair<Bytes, bool> cases[] = {
      {misspelt, false},
      {{0x89, 'P', 'N'}, false},
      {{}, false},
      // No header of 13 bytes: nothing says how to read the data.
      {PngFile({Chunk("IEND", {})}), true},
      {PngFile({data}), true},
      {PngFile({Chunk("IHDR", {0, 0, 0, 1, 0, 0, 0, 1, 8, 0, 0, 0})}), true},
      // Empty pictures and pictures above the limit of 100,000,000 pixels.
      {PngFile({rgb(0, 1), data}), true},
      {PngFile({rgb(1, 0), data}), true},
      {PngFile({rgb(0xFFFFFFFF, 0xFFFFFFFF), data}), true},
      {PngFile({rgb(100'000'001, 1), data}), true},
      {PngFile({rgb(10001, 10000), data}), true},
  };
  for (const auto& [file, result] : cases) {
    const auto decoded = DecodePngBytes(file);
    EXPECT_EQ(decoded.result, result);
    EXPECT_FALSE(decoded.hasPicture);
    EXPECT_EQ(decoded.out, result ? "" : "The file does not have PNG signature.\n");
    EXPECT_EQ(decoded.err, "");
  }
  // The limit is a setting of the decoder.
  EXPECT_FALSE(DecodePngBytes(GreyFile(3, 3, Bytes(12, 0)), 8).hasPicture);
  EXPECT_TRUE(DecodePngBytes(GreyFile(3, 3, Bytes(12, 0)), 9).hasPicture);
}

TEST(PngChunks, GathersImageDataAcrossChunksUpToTheEnd) {
  // A stored block: the last pixel is the 15th byte of the stream.
  const Bytes compressed = ZlibCompress({0, 1, 2, 3, 0, 4, 5, 6}, 0);
  std::vector<Bytes> chunks = {HeaderChunk(3, 2, 8, 0, 0)};
  for (size_t at = 0; at < 14; at += 3) {
    chunks.push_back(Chunk(
        "IDAT", Bytes(compressed.begin() + at, compressed.begin() + std::min<size_t>(at + 3, 14))));
    chunks.push_back(Chunk("tEXt", {'a', 0, 'b'}));
    chunks.push_back(Chunk("IDAT", {}));
  }
  chunks.push_back(Chunk("IEND", {}));
  chunks.push_back(Chunk("IDAT", Bytes(compressed.begin() + 14, compressed.end())));  // not read
  const auto decoded = DecodePngBytes(PngFile(chunks));
  EXPECT_TRUE(decoded.result);
  EXPECT_EQ(decoded.pixels, (Bytes{1, 1, 1, 255, 2, 2, 2, 255, 3, 3, 3, 255,
                                   4, 4, 4, 255, 5, 5, 5, 255, 0, 0, 0, 255}));
  EXPECT_EQ(decoded.out, "");
}

TEST(PngChunks, TheLastNonEmptyPaletteCountsAndABrokenOneStopsEverything) {
  const Bytes header = HeaderChunk(2, 1, 8, 3, 0), data = Chunk("IDAT", ZlibCompress({0, 0, 1}, 6));
  // Empty chunks are passed over.
  EXPECT_EQ(DecodePngBytes(PngFile({header, Chunk("PLTE", {1, 1, 1}), Chunk("PLTE", {}),
                                    Chunk("PLTE", {10, 20, 30, 40, 50, 60}), data}))
                .pixels,
            (Bytes{10, 20, 30, 255, 40, 50, 60, 255}));
  const auto decoded = DecodePngBytes(PngFile({header, Chunk("PLTE", {1, 2, 3, 4}), data}));
  EXPECT_FALSE(decoded.result);
  EXPECT_FALSE(decoded.hasPicture);
}

TEST(PngChunks, TransparencyByColourTypeAndGamma) {
  constexpr int32_t kNone = 0x7FFFFFFF;
  const struct {
    int colorType;
    Bytes trns;
    int32_t expected[3];
  } cases[] = {
      {0, {1, 2}, {0x0102, kNone, kNone}},
      {0, {1}, {kNone, kNone, kNone}},
      {2, {0, 1, 0, 2, 1, 3}, {1, 2, 0x0103}},
      {2, {0, 1, 0, 2, 1}, {kNone, kNone, kNone}},
      {3, {7, 8, 9, 10}, {7, 8, 9}},
      {3, {7}, {7, kNone, kNone}},
      {6, {1, 2, 3, 4, 5, 6}, {kNone, kNone, kNone}},
  };
  for (const auto& test : cases) {
    // A transparency chunk before the header is ignored.
    const Bytes file =
        PngFile({Chunk("tRNS", {9, 9, 9, 9, 9, 9}), HeaderChunk(1, 1, 8, test.colorType, 0),
                 Chunk("tRNS", test.trns), Chunk("gAMA", {0, 0, 0xB1, 0x8F})});
    VxRawPngDecoder decoder(SilentDiagnostics());
    VxPngMemoryStream stream(file.data(), file.size());
    decoder.DecodeStream(stream);
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(decoder.transparentValue[i], test.expected[i]) << test.colorType;
    }
    EXPECT_EQ(decoder.gamma, 45455);
  }
  EXPECT_EQ(VxRawPngDecoder(SilentDiagnostics()).gamma, 100000);
}

TEST(PngChunks, CutFilesAndForgedLengthsDecodeWhatWasRead) {
  // The second image data chunk is cut short: only the first one is decoded.
  const Bytes compressed = ZlibCompress({0, 1, 2, 0, 3, 4}, 0);
  Bytes cut = PngFile({HeaderChunk(2, 2, 8, 0, 0),
                       Chunk("IDAT", Bytes(compressed.begin(), compressed.begin() + 10)),
                       Chunk("IDAT", Bytes(compressed.begin() + 10, compressed.end()))});
  cut.resize(cut.size() - 3);
  // A length far beyond the end of the stream: the header was read before it.
  Bytes forged = PngFile({HeaderChunk(1, 1, 8, 0, 0)});
  Append(forged, {0xFF, 0xFF, 0xFF, 0xF0, 't', 'E', 'X', 't', 1, 2, 3});
  for (bool sized : {true, false}) {
    EXPECT_EQ(PixelsThrough(cut, sized),
              (Bytes{1, 1, 1, 255, 2, 2, 2, 255, 0, 0, 0, 255, 0, 0, 0, 255}));
    EXPECT_EQ(PixelsThrough(forged, sized), (Bytes{0, 0, 0, 255}));
  }
  // Every cut of a file ends in a defined state.
  const Bytes whole = GreyFile(5, 4, Bytes(24, 7));
  for (size_t length = 0; length < whole.size(); ++length) {
    const auto decoded = DecodePngBytes(Bytes(whole.begin(), whole.begin() + length));
    EXPECT_EQ(decoded.result, length >= 8) << length;
    EXPECT_EQ(decoded.pixels.size(), decoded.hasPicture ? 5u * 4 * 4 : 0u);
  }
}

TEST(PngChunks, APictureLastsOneFileAndStreamsReadFilesAndMemory) {
  const Bytes file = GreyFile(2, 1, {0, 8, 9}), pixels = {8, 8, 8, 255, 9, 9, 9, 255};
  VxRawPngDecoder decoder(SilentDiagnostics());
  VxPngMemoryStream stream(file.data(), file.size());
  ASSERT_TRUE(decoder.DecodeStream(stream));
  EXPECT_EQ(decoder.pixels, pixels);
  const Bytes empty = PngFile({Chunk("IEND", {})});
  VxPngMemoryStream again(empty.data(), empty.size());
  EXPECT_TRUE(decoder.DecodeStream(again));
  EXPECT_FALSE(decoder.HasPicture());
  EXPECT_EQ(decoder.outWidth, 0u);

  const std::string path = (std::filesystem::temp_directory_path() /
                            ("genshoku_png_read_" + std::to_string(::getpid()) + ".png"))
                               .string();
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(file.data()), file.size());
  // The size of a file stream neither depends on nor moves the position.
  std::FILE* handle = std::fopen(path.c_str(), "rb");
  ASSERT_NE(handle, nullptr);
  uint8_t bytes[8];
  ASSERT_EQ(std::fread(bytes, 1, 3, handle), 3u);
  VxPngBinaryFileStream fileStream(handle);
  EXPECT_EQ(fileStream.TotalSize(), static_cast<int64_t>(file.size()));
  EXPECT_EQ(fileStream.ReadBytes(bytes, 1), 1u);
  EXPECT_EQ(bytes[0], file[3]);
  std::fclose(handle);
  CapturedDiagnostics diagnostics;
  VxRawPngDecoder fromFile(diagnostics);
  EXPECT_TRUE(fromFile.DecodeFile(path));
  EXPECT_EQ(fromFile.pixels, pixels);
  std::filesystem::remove(path);
  EXPECT_FALSE(fromFile.DecodeFile(path));
  EXPECT_EQ(diagnostics.AllText(), "");

  VxPngMemoryStream memory(file.data(), 5);
  EXPECT_EQ(memory.TotalSize(), 5);
  EXPECT_EQ(memory.ReadBytes(bytes, 3), 3u);
  EXPECT_EQ(memory.ReadBytes(bytes, 8), 2u);
  EXPECT_EQ(memory.ReadBytes(bytes, 8), 0u);
}

}  // namespace
}  // namespace genshoku::png
