// Golden outputs of the PNG writer: the file bytes and every diagnostic line, recorded from
// the plain byte-at-a-time writer. Any faster writer must reproduce them exactly, so these
// pin the tokenizer's matches, the tree shapes, the block layout and the statistics
// printed for every unit.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

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

// A random field smooth at the scale of `cell` pixels: random values 0..1023 on a grid,
// blended between grid points with smoothstep weights. Integer arithmetic only, so that
// the field is the same on every platform.
class ValueNoise {
 public:
  ValueNoise(int width, int height, int cell, uint64_t seed)
      : cell_(cell), columns_(width / cell + 2), cube_(int64_t{cell} * cell * cell) {
    TestRandom random(seed);
    values_.resize(static_cast<size_t>(columns_) * (height / cell + 2));
    for (int& value : values_) value = static_cast<int>(random.Below(1024));
  }
  int At(int x, int y) const {
    const int gx = x / cell_, gy = y / cell_;
    const int64_t sx = Smooth(x % cell_), sy = Smooth(y % cell_);
    const auto value = [&](int column, int row) {
      return int64_t{values_[static_cast<size_t>(row) * columns_ + column]};
    };
    const int64_t top = (value(gx, gy) * (cube_ - sx) + value(gx + 1, gy) * sx) / cube_;
    const int64_t bottom = (value(gx, gy + 1) * (cube_ - sx) + value(gx + 1, gy + 1) * sx) / cube_;
    return static_cast<int>((top * (cube_ - sy) + bottom * sy) / cube_);
  }

 private:
  int64_t Smooth(int64_t t) const { return t * t * (3 * cell_ - 2 * t); }
  int cell_;
  int columns_;
  int64_t cube_;
  std::vector<int> values_;
};

// A picture with a photograph's make-up, cheap to make: light that varies at several
// scales (sky-like gradients, objects, texture), colour casts that drift slowly, and grain.
Bytes PhotoTextureRgb(int width, int height, uint64_t seed) {
  const ValueNoise broad(width, height, 311, seed), objects(width, height, 67, seed + 1),
      texture(width, height, 9, seed + 2), warm(width, height, 401, seed + 3),
      green(width, height, 173, seed + 4);
  TestRandom grain(seed + 5);
  Bytes rgb;
  rgb.reserve(static_cast<size_t>(width) * height * 3);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const int light = (11 * broad.At(x, y) + 6 * objects.At(x, y) + 3 * texture.At(x, y)) / 80;
      const int cast = (warm.At(x, y) - 512) / 12;
      const int tint = (green.At(x, y) - 512) / 16;
      const int noise = static_cast<int>(grain.Below(7)) - 3;
      for (int value : {light + cast + noise, light + tint + noise, light - cast + 20 + noise}) {
        rgb.push_back(static_cast<uint8_t>(std::clamp(value, 0, 255)));
      }
    }
  }
  return rgb;
}

// A photograph-sized picture reduced crudely, like the benchmark photos the writer is
// measured on: long rows, smooth areas broken by texture and grain, so that the chains run
// long and the units are large. Made by the test itself, so it runs wherever the tests do.
TEST(WriteGoldenPhotoTest, PhotoTextureReducedCrudely) {
  const int width = 1224, height = 816;
  ExpectFingerprint(DitherTo332(PhotoTextureRgb(width, height, 21), width, height), width, height,
                    {606203, 0xbc118f35cf2d89a3ull, 1510, 0x53c43b1f44b42d92ull});
}

}  // namespace
}  // namespace genshoku::png
