#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "codecs/png/png_encoder.h"
#include "support_write_png.h"

namespace genshoku::png {
namespace {

namespace fs = std::filesystem;
using write_support::DecodeWithZlib;
using write_support::GradientIndexPicture;
using write_support::LinesOf;
using write_support::TestPalette;

class WritePngFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() /
              ("genshoku_png_write_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }

  static std::vector<uint8_t> ReadFile(const fs::path& path) {
    std::ifstream stream(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
  }
  size_t FilesInFolder() const {
    return static_cast<size_t>(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()));
  }

  fs::path folder_;
  const std::vector<uint8_t> pixels_ = GradientIndexPicture(50, 40, 1);
  const std::vector<uint8_t> palette_ = TestPalette();
};

TEST_F(WritePngFileTest, TheFileHoldsExactlyTheBytesEncodedInMemory) {
  CapturedDiagnostics captured;
  VxRawPngEncoder encoder(captured);
  const fs::path target = folder_ / "picture.png";
  ASSERT_EQ(encoder.Encode(target.string(), 50, 40, 8, 3, pixels_, palette_), 1);
  std::vector<uint8_t> inMemory;
  ASSERT_EQ(encoder.EncodeToMemory(inMemory, 50, 40, 8, 3, pixels_, palette_), 1);
  EXPECT_EQ(ReadFile(target), inMemory);
  EXPECT_EQ(FilesInFolder(), 1u) << "no temporary file is left behind";
  EXPECT_TRUE(captured.Text(DiagnosticStream::Err).empty());
}

TEST_F(WritePngFileTest, AnUnwritablePlaceIsReportedOnceAndNothingIsEncoded) {
  for (const fs::path& target : {folder_ / "missing" / "picture.png", folder_}) {
    CapturedDiagnostics captured;
    VxRawPngEncoder encoder(captured);
    EXPECT_EQ(encoder.Encode(target.string(), 50, 40, 8, 3, pixels_, palette_), 0);
    EXPECT_EQ(LinesOf(captured, DiagnosticStream::Err).size(), 1u) << target;
    EXPECT_TRUE(captured.Text(DiagnosticStream::Out).empty());
  }
  EXPECT_EQ(FilesInFolder(), 0u);
}

TEST_F(WritePngFileTest, AFailedEncodeLeavesThePreviousFileAlone) {
  const fs::path target = folder_ / "picture.png";
  std::ofstream(target, std::ios::binary) << "previous";
  CapturedDiagnostics captured;
  VxRawPngEncoder encoder(captured);
  EXPECT_EQ(encoder.Encode(target.string(), 50, 40, 4, 3, pixels_, palette_), 0);
  EXPECT_EQ(captured.Text(DiagnosticStream::Out), "Unsupported color type and/or bitDepth\n");
  const std::vector<uint8_t> kept = ReadFile(target);
  EXPECT_EQ(std::string(kept.begin(), kept.end()), "previous");
  EXPECT_EQ(FilesInFolder(), 1u);
}

TEST(WritePngFormatTest, UnsupportedCombinationsWriteNothing) {
  struct Format {
    int width, bitDepth, colorType;
  };
  // Palette indices are written one per byte, so only 8 bits per index make a valid file.
  const Format formats[] = {{10, 4, 3}, {10, 1, 3}, {10, 16, 3}, {10, 8, 5}, {10, 4, 2},
                            {10, 1, 4}, {10, 2, 6}, {10, 3, 0},  {0, 8, 3},  {-5, 8, 0}};
  const std::vector<uint8_t> pixels(1000, 1);
  for (const Format& format : formats) {
    CapturedDiagnostics captured;
    VxRawPngEncoder encoder(captured);
    std::vector<uint8_t> png = {1, 2, 3};
    EXPECT_EQ(encoder.EncodeToMemory(png, format.width, 10, format.bitDepth, format.colorType,
                                     pixels, TestPalette()),
              0);
    EXPECT_TRUE(png.empty());
    EXPECT_EQ(captured.AllText(), "Unsupported color type and/or bitDepth\n");
  }
}

TEST(WritePngFormatTest, MissingDataAndOversizedPicturesAreRefusedBeforeWriting) {
  const std::vector<uint8_t> pixels(100, 1);
  struct Refusal {
    int width, height;
    size_t pixelBytes, paletteBytes;
  };
  const Refusal refusals[] = {
      {10, 0, 100, 768},           // no rows: a zlib stream without blocks is not valid
      {10, -3, 100, 768},          //
      {10, 11, 100, 768},          // one row short
      {10, 10, 100, 767},          // palette short
      {300000, 1001, 100, 768},    // more filtered bytes than the writer takes
  };
  for (const Refusal& refusal : refusals) {
    CapturedDiagnostics captured;
    VxRawPngEncoder encoder(captured);
    std::vector<uint8_t> png;
    const std::vector<uint8_t> palette(refusal.paletteBytes, 0);
    EXPECT_EQ(encoder.EncodeToMemory(png, refusal.width, refusal.height, 8, 3,
                                     std::span<const uint8_t>(pixels.data(), refusal.pixelBytes),
                                     palette),
              0);
    EXPECT_TRUE(png.empty());
    EXPECT_TRUE(captured.Text(DiagnosticStream::Out).empty());
    EXPECT_EQ(LinesOf(captured, DiagnosticStream::Err).size(), 1u);
  }
}

TEST(WritePngFormatTest, OtherColourTypesGetTheirRowSizesAndNoPaletteWhenGrey) {
  struct Format {
    int width, bitDepth, colorType;
    size_t rowBytes;
    bool palette;
  };
  const Format formats[] = {{9, 1, 0, 2, false},  {9, 2, 0, 3, false},  {9, 4, 0, 5, false},
                            {9, 8, 0, 9, false},  {9, 16, 0, 18, false}, {9, 8, 2, 27, true},
                            {9, 16, 2, 54, true}, {9, 8, 4, 18, false}, {9, 16, 6, 72, true}};
  for (const Format& format : formats) {
    const int height = 5;
    const std::vector<uint8_t> pixels = write_support::RandomBytes(format.rowBytes * height, 77);
    CapturedDiagnostics captured;
    VxRawPngEncoder encoder(captured);
    std::vector<uint8_t> png;
    ASSERT_EQ(encoder.EncodeToMemory(png, format.width, height, format.bitDepth,
                                     format.colorType, pixels, TestPalette()),
              1);
    const write_support::DecodedPng decoded = DecodeWithZlib(png);
    ASSERT_TRUE(decoded.ok) << decoded.problem;
    EXPECT_EQ(decoded.bitDepth, format.bitDepth);
    EXPECT_EQ(decoded.colorType, format.colorType);
    const std::vector<std::string> withPalette = {"IHDR", "PLTE", "IDAT", "IEND"};
    const std::vector<std::string> withoutPalette = {"IHDR", "IDAT", "IEND"};
    EXPECT_EQ(decoded.chunkTypes, format.palette ? withPalette : withoutPalette);
    std::vector<uint8_t> filtered;
    for (int row = 0; row < height; ++row) {
      filtered.push_back(0);
      filtered.insert(filtered.end(), pixels.begin() + row * format.rowBytes,
                      pixels.begin() + (row + 1) * format.rowBytes);
    }
    EXPECT_EQ(decoded.pixels, filtered);
  }
}

// Counts the writes and refuses one of them.
class RefusingEncoder : public VxGenericPngEncoder {
 public:
  RefusingEncoder(Diagnostics& diagnostics, int refusedCall)
      : VxGenericPngEncoder(diagnostics), refusedCall_(refusedCall) {}
  int WriteBytes(size_t count, const uint8_t*) override {
    ++calls;
    sizes.push_back(count);
    return calls == refusedCall_ ? 0 : 1;
  }
  int calls = 0;
  std::vector<size_t> sizes;

 private:
  int refusedCall_;
};

TEST(WritePngFormatTest, EveryWriteIsCheckedAndTheFileGoesOutInFivePieces) {
  const std::vector<uint8_t> pixels = GradientIndexPicture(20, 10, 2);
  CapturedDiagnostics captured;
  RefusingEncoder complete(captured, 0);
  ASSERT_EQ(complete.EncodeImage(20, 10, 8, 3, pixels, TestPalette()), 1);
  ASSERT_EQ(complete.sizes.size(), 5u);
  EXPECT_EQ(complete.sizes[0], 8u);
  EXPECT_EQ(complete.sizes[1], 25u);
  EXPECT_EQ(complete.sizes[2], 780u);
  EXPECT_EQ(complete.sizes[4], 12u);
  for (int refused = 1; refused <= 5; ++refused) {
    RefusingEncoder encoder(captured, refused);
    EXPECT_EQ(encoder.EncodeImage(20, 10, 8, 3, pixels, TestPalette()), 0) << refused;
    EXPECT_EQ(encoder.calls, refused);
  }
  VxGenericPngEncoder base(captured);
  EXPECT_EQ(base.EncodeImage(20, 10, 8, 3, pixels, TestPalette()), 1);
}

}  // namespace
}  // namespace genshoku::png
