// The encoder's files and refusals: what reaches the disk and what a failure leaves there,
// the formats and sizes it refuses before writing, and the row sizes of the other formats.
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
using namespace pngtest;

Bytes ReadFile(const fs::path& path) {
  std::ifstream stream(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
}

TEST(WritePngFile, WritesTheBytesEncodedInMemoryAndLeavesThePreviousFileOnFailure) {
  const fs::path folder =
      fs::temp_directory_path() / ("genshoku_png_write_" + std::to_string(::getpid()));
  fs::remove_all(folder);
  fs::create_directories(folder);
  const auto entries = [&] {
    return std::distance(fs::directory_iterator(folder), fs::directory_iterator());
  };
  const Bytes pixels = GradientIndexPicture(50, 40, 1);
  const fs::path target = folder / "picture.png";
  {
    CapturedDiagnostics captured;
    VxRawPngEncoder encoder(captured);
    ASSERT_EQ(encoder.Encode(target.string(), 50, 40, 8, 3, pixels, TestPalette()), 1);
    Bytes inMemory;
    ASSERT_EQ(encoder.EncodeToMemory(inMemory, 50, 40, 8, 3, pixels, TestPalette()), 1);
    EXPECT_EQ(ReadFile(target), inMemory);
    EXPECT_EQ(captured.Text(DiagnosticStream::Err), "");
  }
  std::ofstream(target, std::ios::binary) << "previous";
  {
    CapturedDiagnostics captured;
    VxRawPngEncoder encoder(captured);
    EXPECT_EQ(encoder.Encode(target.string(), 50, 40, 4, 3, pixels, TestPalette()), 0);
    EXPECT_EQ(captured.Text(DiagnosticStream::Out), "Unsupported color type and/or bitDepth\n");
  }
  EXPECT_EQ(ReadFile(target), (Bytes{'p', 'r', 'e', 'v', 'i', 'o', 'u', 's'}));
  for (const fs::path& unwritable : {folder / "missing" / "picture.png", folder}) {
    CapturedDiagnostics captured;
    VxRawPngEncoder encoder(captured);
    EXPECT_EQ(encoder.Encode(unwritable.string(), 50, 40, 8, 3, pixels, TestPalette()), 0);
    EXPECT_EQ(LinesOf(captured, DiagnosticStream::Err).size(), 1u) << unwritable;
    EXPECT_EQ(captured.Text(DiagnosticStream::Out), "");
  }
  EXPECT_EQ(entries(), 1) << "no temporary file is left behind";
  fs::remove_all(folder);
}

TEST(WritePngFile, RefusesWhatItCannotWriteBeforeWritingAnything) {
  const Bytes pixels(1000, 1);
  const struct {
    int width, height, bitDepth, colorType;
    size_t pixelBytes, paletteBytes;
    const char* out;  // empty: one line on standard error instead
  } refusals[] = {
      // Palette indices are written one per byte, so only 8 bits per index make a file.
      {10, 10, 4, 3, 1000, 768, "Unsupported color type and/or bitDepth\n"},
      {10, 10, 1, 3, 1000, 768, "Unsupported color type and/or bitDepth\n"},
      {10, 10, 16, 3, 1000, 768, "Unsupported color type and/or bitDepth\n"},
      {10, 10, 8, 5, 1000, 768, "Unsupported color type and/or bitDepth\n"},
      {10, 10, 4, 2, 1000, 768, "Unsupported color type and/or bitDepth\n"},
      {10, 10, 1, 4, 1000, 768, "Unsupported color type and/or bitDepth\n"},
      {10, 10, 2, 6, 1000, 768, "Unsupported color type and/or bitDepth\n"},
      {10, 10, 3, 0, 1000, 768, "Unsupported color type and/or bitDepth\n"},
      {0, 10, 8, 3, 1000, 768, "Unsupported color type and/or bitDepth\n"},
      {-5, 10, 8, 0, 1000, 768, "Unsupported color type and/or bitDepth\n"},
      {10, 0, 8, 3, 100, 768, ""},  // no rows: a zlib stream without blocks is not valid
      {10, -3, 8, 3, 100, 768, ""},
      {10, 11, 8, 3, 100, 768, ""},        // one row short
      {10, 10, 8, 3, 100, 767, ""},        // palette short
      {300000, 1001, 8, 3, 100, 768, ""},  // more filtered bytes than the writer takes
  };
  for (const auto& refusal : refusals) {
    CapturedDiagnostics captured;
    VxRawPngEncoder encoder(captured);
    Bytes png = {1, 2, 3};
    EXPECT_EQ(encoder.EncodeToMemory(png, refusal.width, refusal.height, refusal.bitDepth,
                                     refusal.colorType,
                                     std::span<const uint8_t>(pixels.data(), refusal.pixelBytes),
                                     Bytes(refusal.paletteBytes, 0)),
              0);
    EXPECT_TRUE(png.empty());
    EXPECT_EQ(captured.Text(DiagnosticStream::Out), refusal.out);
    EXPECT_EQ(LinesOf(captured, DiagnosticStream::Err).size(), *refusal.out ? 0u : 1u);
  }
}

TEST(WritePngFile, OtherColourTypesGetTheirRowSizesAndNoPaletteWhenGrey) {
  const struct {
    int width, bitDepth, colorType;
    size_t rowBytes;
    bool palette;
  } formats[] = {{9, 1, 0, 2, false},  {9, 2, 0, 3, false},   {9, 4, 0, 5, false},
                 {9, 8, 0, 9, false},  {9, 16, 0, 18, false}, {9, 8, 2, 27, true},
                 {9, 16, 2, 54, true}, {9, 8, 4, 18, false},  {9, 16, 6, 72, true}};
  for (const auto& format : formats) {
    const Bytes pixels = RandomBytes(format.rowBytes * 5, 77);
    Bytes png;
    ASSERT_EQ(VxRawPngEncoder(SilentDiagnostics())
                  .EncodeToMemory(png, format.width, 5, format.bitDepth, format.colorType, pixels,
                                  TestPalette()),
              1);
    const DecodedPng decoded = DecodeWithZlib(png);
    ASSERT_TRUE(decoded.ok) << decoded.problem;
    EXPECT_EQ(decoded.bitDepth, format.bitDepth);
    EXPECT_EQ(decoded.colorType, format.colorType);
    const std::vector<std::string> expected =
        format.palette ? std::vector<std::string>{"IHDR", "PLTE", "IDAT", "IEND"}
                       : std::vector<std::string>{"IHDR", "IDAT", "IEND"};
    EXPECT_EQ(decoded.chunkTypes, expected);
    Bytes filtered;
    for (size_t row = 0; row < 5; ++row) {
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
  explicit RefusingEncoder(int refusedCall)
      : VxGenericPngEncoder(SilentDiagnostics()), refusedCall_(refusedCall) {}
  int WriteBytes(size_t count, const uint8_t*) override {
    sizes.push_back(count);
    return static_cast<int>(sizes.size()) == refusedCall_ ? 0 : 1;
  }
  std::vector<size_t> sizes;

 private:
  int refusedCall_;
};

TEST(WritePngFile, EveryWriteIsCheckedAndTheFileGoesOutInFivePieces) {
  const Bytes pixels = GradientIndexPicture(20, 10, 2);
  RefusingEncoder complete(0);
  ASSERT_EQ(complete.EncodeImage(20, 10, 8, 3, pixels, TestPalette()), 1);
  ASSERT_EQ(complete.sizes.size(), 5u);
  EXPECT_EQ(complete.sizes[0], 8u);
  EXPECT_EQ(complete.sizes[1], 25u);
  EXPECT_EQ(complete.sizes[2], 780u);
  EXPECT_EQ(complete.sizes[4], 12u);
  for (int refused = 1; refused <= 5; ++refused) {
    RefusingEncoder encoder(refused);
    EXPECT_EQ(encoder.EncodeImage(20, 10, 8, 3, pixels, TestPalette()), 0) << refused;
    EXPECT_EQ(encoder.sizes.size(), static_cast<size_t>(refused));
  }
  EXPECT_EQ(
      VxGenericPngEncoder(SilentDiagnostics()).EncodeImage(20, 10, 8, 3, pixels, TestPalette()), 1);
}

}  // namespace
}  // namespace genshoku::png
