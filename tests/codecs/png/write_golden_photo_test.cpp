// Golden outputs of the PNG writer on pictures of photo size: the file bytes and every
// diagnostic line, recorded from the plain byte-at-a-time writer. Any faster writer must
// reproduce them exactly, so these pin the tokenizer's matches, the tree shapes, the
// block layout and the statistics printed for every unit.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "codecs/png/png_encoder.h"
#include "support_write_png.h"

namespace genshoku::png {
namespace {

using write_support::DitherTo332;
using write_support::Fnv1a64;
using write_support::PhotoLikeRgb;
using write_support::TestPalette;

struct Fingerprint {
  size_t pngSize = 0;
  uint64_t pngHash = 0;
  size_t outLines = 0;
  uint64_t outHash = 0;
};

Fingerprint EncodeAndFingerprint(const std::vector<uint8_t>& indices, int width, int height) {
  CapturedDiagnostics captured;
  VxRawPngEncoder encoder(captured);
  std::vector<uint8_t> png;
  EXPECT_EQ(encoder.EncodeToMemory(png, width, height, 8, 3, indices, TestPalette()), 1);
  const std::string out = captured.Text(DiagnosticStream::Out);
  EXPECT_EQ(captured.Text(DiagnosticStream::Err), "");
  Fingerprint fingerprint;
  fingerprint.pngSize = png.size();
  fingerprint.pngHash = Fnv1a64(png);
  fingerprint.outLines = static_cast<size_t>(std::count(out.begin(), out.end(), '\n'));
  fingerprint.outHash = Fnv1a64(std::vector<uint8_t>(out.begin(), out.end()));
  return fingerprint;
}

void ExpectFingerprint(const Fingerprint& actual, const Fingerprint& expected) {
  EXPECT_EQ(actual.pngSize, expected.pngSize);
  EXPECT_EQ(actual.pngHash, expected.pngHash) << std::hex << "0x" << actual.pngHash;
  EXPECT_EQ(actual.outLines, expected.outLines);
  EXPECT_EQ(actual.outHash, expected.outHash) << std::hex << "0x" << actual.outHash;
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

TEST(WriteGoldenPhotoTest, DitheredPictureOfOneAndAHalfMegapixels) {
  // Units of 1401 bytes per row: the chains run dry and are reclaimed many times per unit.
  const int width = 1400;
  const int height = 1050;
  const std::vector<uint8_t> indices = DitherTo332(PhotoLikeRgb(width, height, 11), width, height);
  ExpectFingerprint(EncodeAndFingerprint(indices, width, height),
                    {881390, 0xe54f59ccb9c68d5dull, 1886, 0xffa1dfd0d2c0101bull});
}

TEST(WriteGoldenPhotoTest, SmallGeneratedPicturesWithTheirDiagnostics) {
  const std::vector<uint8_t> indices = DitherTo332(PhotoLikeRgb(333, 517, 5), 333, 517);
  ExpectFingerprint(EncodeAndFingerprint(indices, 333, 517), {106308, 0x78679f0bc4b7511aull, 1118, 0x6353049a1c55e142ull});
  const std::vector<uint8_t> flat(4000 * 70, 200);
  ExpectFingerprint(EncodeAndFingerprint(flat, 4000, 70), {3757, 0x35a0b057244fb7eeull, 380, 0x42c68f08a3c2b591ull});
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
    ExpectFingerprint(EncodeAndFingerprint(DitherTo332(rgb, width, height), width, height),
                      photo.fingerprint);
  }
  if (found == 0) GTEST_SKIP() << "no benchmark photos in " << PhotosDir();
}

}  // namespace
}  // namespace genshoku::png
