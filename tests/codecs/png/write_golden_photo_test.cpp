// Golden outputs of the PNG writer: the file bytes and every diagnostic line, recorded from
// the plain byte-at-a-time writer. Any faster writer must reproduce them exactly, so these
// pin the tokenizer's matches, the tree shapes, the block layout and the statistics
// printed for every unit.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "codecs/png/png_encoder.h"
#include "support_write_png.h"

namespace genshoku::png {
namespace {

using namespace pngtest;

struct Fingerprint {
  size_t pngSize = 0;
  uint64_t pngHash = 0;
  size_t outLines = 0;
  uint64_t outHash = 0;
};

// Encodes, checks the file with zlib when asked, and compares with the fingerprint.
void ExpectFingerprint(const Bytes& indices, int width, int height, const Fingerprint& expected,
                       bool checkWithZlib = true) {
  CapturedDiagnostics captured;
  VxRawPngEncoder encoder(captured);
  Bytes png;
  ASSERT_EQ(encoder.EncodeToMemory(png, width, height, 8, 3, indices, TestPalette()), 1);
  if (checkWithZlib) {
    const DecodedPng decoded = DecodeWithZlib(png);
    ASSERT_TRUE(decoded.ok) << decoded.problem;
    EXPECT_EQ(decoded.pixels, indices);
  }
  const std::string out = captured.Text(DiagnosticStream::Out);
  EXPECT_EQ(captured.Text(DiagnosticStream::Err), "");
  EXPECT_EQ(png.size(), expected.pngSize);
  EXPECT_EQ(Fnv1a64(png), expected.pngHash) << std::hex << "0x" << Fnv1a64(png);
  EXPECT_EQ(static_cast<size_t>(std::count(out.begin(), out.end(), '\n')), expected.outLines);
  EXPECT_EQ(Fnv1a64(out), expected.outHash) << std::hex << "0x" << Fnv1a64(out);
}

TEST(WriteGoldenPhotoTest, DitheredPictureOfOneAndAHalfMegapixels) {
  // Units of 1401 bytes per row: the chains run dry and are reclaimed many times per unit,
  // and the literal/length and code-length trees have to be flattened.
  const std::vector<uint8_t> indices = DitherTo332(PhotoLikeRgb(1400, 1050, 11), 1400, 1050);
  ExpectFingerprint(indices, 1400, 1050,
                    {881390, 0xe54f59ccb9c68d5dull, 1886, 0xffa1dfd0d2c0101bull}, false);
}

TEST(WriteGoldenPhotoTest, SmallPicturesWithTheirDiagnostics) {
  std::vector<uint8_t> stripes(640 * 300);
  for (size_t i = 0; i < stripes.size(); ++i) stripes[i] = static_cast<uint8_t>((i / 7) % 5);
  // A dynamic block ending inside a byte, then a last unit that falls back to a stored
  // block after the saved state is restored.
  std::vector<uint8_t> noisyTail = GradientIndexPicture(64, 260, 7);
  const std::vector<uint8_t> noise = RandomBytes(64 * 4, 8);
  std::copy(noise.begin(), noise.end(), noisyTail.begin() + 64 * 256);
  const struct {
    const char* name;
    int width, height;
    std::vector<uint8_t> pixels;
    Fingerprint fingerprint;
  } goldens[] = {
      {"dithered 333x517",
       333,
       517,
       DitherTo332(PhotoLikeRgb(333, 517, 5), 333, 517),
       {106308, 0x78679f0bc4b7511aull, 1118, 0x6353049a1c55e142ull}},
      {"flat 4000x70",
       4000,
       70,
       std::vector<uint8_t>(4000 * 70, 200),
       {3757, 0x35a0b057244fb7eeull, 380, 0x42c68f08a3c2b591ull}},
      {"gradient 97x61",
       97,
       61,
       GradientIndexPicture(97, 61, 1),
       {4978, 0x9a903572fa7f24e2ull, 378, 0x8acffb9f42e5918full}},
      {"gradient 640x480",
       640,
       480,
       GradientIndexPicture(640, 480, 2),
       {187376, 0x4c819b2fbf672ad0ull, 763, 0xfbec387a1da6271bull}},
      {"random 300x260",
       300,
       260,
       RandomBytes(300 * 260, 3),
       {79236, 0x67d39dfaeeae87dbull, 696, 0x9f9a0dea223d36ffull}},
      {"flat 1000x300",
       1000,
       300,
       std::vector<uint8_t>(300000, 17),
       {3960, 0x9eef26dd5e290881ull, 751, 0x46643df1f156b5a2ull}},
      {"stripes 640x300",
       640,
       300,
       stripes,
       {4367, 0x8733a73d740d0738ull, 751, 0x9cc68cf245fe39b9ull}},
      {"gradient with a noisy tail 64x260",
       64,
       260,
       noisyTail,
       {11412, 0xf12e75fde249a497ull, 692, 0xca8754ee8bef0992ull}},
  };
  for (const auto& golden : goldens) {
    SCOPED_TRACE(golden.name);
    ExpectFingerprint(golden.pixels, golden.width, golden.height, golden.fingerprint);
  }
}

// The red, green, blue rows of a 24-bit BMP file, top row first; false if the file is
// missing or not such a file.
bool ReadBmp24(const std::string& path, std::vector<uint8_t>& rgb, int& width, int& height) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                   std::istreambuf_iterator<char>());
  if (bytes.size() < 54 || bytes[0] != 'B' || bytes[1] != 'M') return false;
  const auto le32 = [&](size_t at) {
    return static_cast<int32_t>(bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
                                static_cast<uint32_t>(bytes[at + 3]) << 24);
  };
  const size_t offset = static_cast<size_t>(le32(10));
  width = le32(18);
  const int32_t signedHeight = le32(22);
  height = std::abs(signedHeight);
  if ((bytes[28] | bytes[29] << 8) != 24 || width <= 0 || height == 0) return false;
  const size_t stride = (static_cast<size_t>(width) * 3 + 3) / 4 * 4;
  if (bytes.size() < offset + stride * static_cast<size_t>(height)) return false;
  rgb.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
  for (int y = 0; y < height; ++y) {
    const int stored = signedHeight > 0 ? height - 1 - y : y;
    const uint8_t* row = bytes.data() + offset + stride * static_cast<size_t>(stored);
    for (int x = 0; x < width; ++x) {
      uint8_t* target = &rgb[(static_cast<size_t>(y) * static_cast<size_t>(width) + x) * 3];
      target[0] = row[x * 3 + 2];
      target[1] = row[x * 3 + 1];
      target[2] = row[x * 3];
    }
  }
  return true;
}

std::string PhotosDir() {
  const char* dir = std::getenv("GENSHOKU_PHOTOS_DIR");
  return dir != nullptr ? dir : GENSHOKU_PHOTOS_DIR;
}

// The benchmark photos (bench/make-photos) reduced crudely; skipped where they have not
// been made.
TEST(WriteGoldenPhotoTest, BenchmarkPhotosReducedCrudely) {
  struct Expected {
    const char* name;
    Fingerprint fingerprint;
  };
  const Expected photos[] = {
      {"photo1.bmp", {635496, 0x6ee166f569544f03ull, 1508, 0x386d073322e1678eull}},
      {"photo4.bmp", {2546356, 0x57d01854e386afd3ull, 2639, 0x4aa7063210931b39ull}},
  };
  int found = 0;
  for (const Expected& photo : photos) {
    SCOPED_TRACE(photo.name);
    std::vector<uint8_t> rgb;
    int width = 0;
    int height = 0;
    if (!ReadBmp24(PhotosDir() + "/" + photo.name, rgb, width, height)) continue;
    ++found;
    ExpectFingerprint(DitherTo332(rgb, width, height), width, height, photo.fingerprint, false);
  }
  if (found == 0) GTEST_SKIP() << "no benchmark photos in " << PhotosDir();
}

}  // namespace
}  // namespace genshoku::png
