#include "engine/error_diffusion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <vector>

#include "tests/engine/reference/error_diffusion.h"
#include "tests/engine/support_pictures.h"

namespace genshoku {
namespace {

using RgbPicture = test_support::Picture;

RgbPicture RandomPicture(int width, int height, uint32_t seed) {
  return test_support::NoisePicture(width, height, seed);
}

struct RgbPalette {
  std::array<uint8_t, kPaletteSize> r{}, g{}, b{};
};

RgbPalette RandomPalette(uint32_t seed) {
  const RgbPicture colours = test_support::NoisePicture(kPaletteSize, 1, seed);
  RgbPalette p;
  std::copy(colours.r.begin(), colours.r.end(), p.r.begin());
  std::copy(colours.g.begin(), colours.g.end(), p.g.begin());
  std::copy(colours.b.begin(), colours.b.end(), p.b.begin());
  return p;
}

std::vector<uint8_t> DiffuseRgb(const RgbPicture& p, const RgbPalette& palette, int kernel,
                                double strength) {
  std::vector<uint8_t> indices(p.r.size(), 0);
  DiffuseToIndicesRgb(p.width, p.height, kernel, strength, p.r.data(), p.g.data(), p.b.data(),
                      kPaletteSize, palette.r.data(), palette.g.data(), palette.b.data(),
                      indices.data());
  return indices;
}

// The records of a byte palette: v red, y green, u blue.
std::vector<PaletteRecord> RecordsOf(const RgbPalette& palette) {
  std::vector<PaletteRecord> records;
  for (int i = 0; i < kPaletteSize; ++i) {
    records.push_back({double(palette.g[i]), double(palette.b[i]), double(palette.r[i]), i});
  }
  return records;
}

struct WorkingPicture {
  int width, height;
  std::vector<double> v, y, u;
};

WorkingPicture WorkingOf(const RgbPicture& p) {
  return {p.width,
          p.height,
          {p.r.begin(), p.r.end()},
          {p.g.begin(), p.g.end()},
          {p.b.begin(), p.b.end()}};
}

std::vector<uint8_t> DiffuseWeighted(const WorkingPicture& p,
                                     const std::vector<PaletteRecord>& records, int kernel,
                                     double strength, uint8_t fill = 0) {
  std::vector<uint8_t> indices(p.v.size(), fill);
  DiffuseToIndicesWeighted(p.width, p.height, kernel, strength, p.v.data(), p.y.data(), p.u.data(),
                           static_cast<int>(records.size()), records.data(), indices.data());
  return indices;
}

// Plain nearest entry of every pixel, lowest index on ties.
std::vector<uint8_t> NearestRgb(const RgbPicture& p, const RgbPalette& palette) {
  std::vector<uint8_t> indices;
  for (size_t i = 0; i < p.r.size(); ++i) {
    int best = 0;
    long bestDistance = std::numeric_limits<long>::max();
    for (int e = 0; e < kPaletteSize; ++e) {
      const long dr = p.r[i] - palette.r[e], dg = p.g[i] - palette.g[e], db = p.b[i] - palette.b[e];
      const long distance = dr * dr + dg * dg + db * db;
      if (distance < bestDistance) {
        bestDistance = distance;
        best = e;
      }
    }
    indices.push_back(static_cast<uint8_t>(best));
  }
  return indices;
}

TEST(ErrorDiffusionTest, StrengthZeroIsNearestMapping) {
  const RgbPicture picture = RandomPicture(16, 12, 7);
  const RgbPalette palette = RandomPalette(99);
  const std::vector<uint8_t> nearest = NearestRgb(picture, palette);
  for (int kernel = 0; kernel <= 3; ++kernel) {
    EXPECT_EQ(DiffuseRgb(picture, palette, kernel, 0.0), nearest) << kernel;
    // The weighted variant with the same colours in the slots V red, Y green, U blue.
    EXPECT_EQ(DiffuseWeighted(WorkingOf(picture), RecordsOf(palette), kernel, 0.0), nearest)
        << kernel;
  }
}

// How much error pixel `target` receives when only pixel `source` has a colour (V = 400),
// measured from outside: the target's own value is moved until its index flips between
// the two entries V = 0 and V = 1000, that is until value + received error passes 500.
// Earlier pixels do not depend on the target's value.
double ReceivedError(int kernel, double strength, int width, int height, int source, int target) {
  std::vector<PaletteRecord> records = {{0, 0, 0, 0}, {0, 0, 1000, 1}};
  WorkingPicture p{width, height, std::vector<double>(width * height, 0.0),
                   std::vector<double>(width * height, 0.0),
                   std::vector<double>(width * height, 0.0)};
  p.v[source] = 400;
  double low = 0, high = 1000;  // index 0 at low, index 1 at high
  for (int step = 0; step < 100; ++step) {
    const double middle = (low + high) / 2;
    p.v[target] = middle;
    if (DiffuseWeighted(p, records, kernel, strength)[target] == 1) {
      high = middle;
    } else {
      low = middle;
    }
  }
  return 500 - high;
}

// The published kernels: weights by row (0 the pixel's own row, right of it; 1 and 2 the
// rows below) and column -2..+2, and the sum they are divided by.
struct KernelTable {
  int kernel;
  int divisor;
  int weights[3][5];
};

constexpr KernelTable kKernels[] = {
    {0, 16, {{0, 0, 0, 7, 0}, {0, 3, 5, 1, 0}, {0, 0, 0, 0, 0}}},  // Floyd-Steinberg
    {1, 4, {{0, 0, 0, 2, 0}, {0, 1, 1, 0, 0}, {0, 0, 0, 0, 0}}},   // Sierra Lite
    {2, 42, {{0, 0, 0, 8, 4}, {2, 4, 8, 4, 2}, {1, 2, 4, 2, 1}}},  // Stucki
    {3, 48, {{0, 0, 0, 7, 5}, {3, 5, 7, 5, 3}, {1, 3, 5, 3, 1}}},  // Jarvis-Judice-Ninke
};

TEST(ErrorDiffusionTest, EachKernelSpreadsTheWholeErrorInItsProportions) {
  // A 5 x 4 picture whose only colour sits at (2, 1). With a small strength the error
  // passed on by the neighbours is negligible, so each neighbour shows its kernel weight:
  // the shares stand in the kernel's proportions and add up to the strength's part of the
  // error.
  const double strength = 0.001;
  for (const KernelTable& table : kKernels) {
    SCOPED_TRACE(table.kernel);
    const double right = ReceivedError(table.kernel, strength, 5, 4, 7, 8);
    double total = 0;
    int weights = 0;
    for (int row = 0; row <= 2; ++row) {
      for (int dx = -2; dx <= 2; ++dx) {
        if (row == 0 && dx <= 0) continue;
        const int target = (1 + row) * 5 + (2 + dx);
        const double received = ReceivedError(table.kernel, strength, 5, 4, 7, target);
        EXPECT_NEAR(received / right, double(table.weights[row][dx + 2]) / table.weights[0][3],
                    0.005)
            << "row " << row << " dx " << dx;
        total += received;
        weights += table.weights[row][dx + 2];
      }
    }
    EXPECT_EQ(weights, table.divisor);
    EXPECT_NEAR(total / (400 * strength), 1.0, 0.003);
  }
}

TEST(ErrorDiffusionTest, FullStrengthPassesTheWholeError) {
  // The right neighbour receives only from the source: its weight's part of the error.
  for (const KernelTable& table : kKernels) {
    EXPECT_NEAR(ReceivedError(table.kernel, 1.0, 5, 2, 1, 2),
                400.0 * table.weights[0][3] / table.divisor, 1e-3)
        << table.kernel;
  }
  // Floyd-Steinberg on a 3 x 3 picture with the colour at (0, 0), by hand: (1, 0) gets 7/16
  // and passes 7/16 of that on to (2, 0); (0, 1) gets 5/16 from (0, 0) and 3/16 of (1, 0)'s.
  const double right = 400 * 7 / 16.0;
  EXPECT_NEAR(ReceivedError(0, 1.0, 3, 3, 0, 1), right, 1e-3);
  EXPECT_NEAR(ReceivedError(0, 1.0, 3, 3, 0, 2), right * 7 / 16, 1e-3);
  EXPECT_NEAR(ReceivedError(0, 1.0, 3, 3, 0, 3), 400 * 5 / 16.0 + right * 3 / 16, 1e-3);
  // Half the strength, half the error.
  EXPECT_NEAR(ReceivedError(0, 0.5, 3, 3, 0, 1), right / 2, 1e-3);
}

// The literal mapping kept in tests/engine/reference is the oracle of the exact indices:
// both variants, every kernel, strengths from none to more than the whole error, a full
// palette and a short one, pictures narrower than the widest kernel included.
TEST(ErrorDiffusionTest, BothVariantsMapAsTheLiteralMappingDoes) {
  const struct { int width, height; } sizes[] = {{1, 1}, {2, 7}, {7, 2}, {37, 19}};
  uint32_t seed = 1;
  for (const auto& size : sizes) {
    for (int kernel = 0; kernel <= 3; ++kernel) {
      for (double strength : {0.0, 0.3, 0.75, 1.0, 2.5}) {
        for (int count : {kPaletteSize, 7}) {
          SCOPED_TRACE(testing::Message()
                       << size.width << "x" << size.height << " kernel " << kernel << " strength "
                       << strength << " entries " << count);
          const RgbPicture picture = RandomPicture(size.width, size.height, ++seed);
          const RgbPalette palette = RandomPalette(++seed);
          std::vector<uint8_t> expected(picture.r.size(), 0xEE);
          reference::DiffuseToIndicesRgb(picture.width, picture.height, kernel, strength,
                                         picture.r.data(), picture.g.data(), picture.b.data(),
                                         count, palette.r.data(), palette.g.data(),
                                         palette.b.data(), expected.data());
          std::vector<uint8_t> actual(picture.r.size(), 0xEE);
          DiffuseToIndicesRgb(picture.width, picture.height, kernel, strength, picture.r.data(),
                              picture.g.data(), picture.b.data(), count, palette.r.data(),
                              palette.g.data(), palette.b.data(), actual.data());
          EXPECT_EQ(actual, expected) << "RGB";

          // Working colours with fractions, against records of a scaled palette.
          WorkingPicture working = WorkingOf(picture);
          for (size_t i = 0; i < working.v.size(); ++i) {
            working.v[i] = working.v[i] * 3.7 - 100.25;
            working.u[i] *= 0.61;
          }
          std::vector<PaletteRecord> records = RecordsOf(palette);
          for (PaletteRecord& record : records) {
            record.v = record.v * 3.7 - 100.5;
            record.u *= 0.6;
          }
          records.resize(static_cast<size_t>(count));
          std::vector<reference::PaletteRecord> referenceRecords;
          for (const PaletteRecord& r : records) {
            referenceRecords.push_back({r.y, r.u, r.v, r.index});
          }
          std::vector<uint8_t> expectedWeighted(picture.r.size(), 0xEE);
          reference::DiffuseToIndicesWeighted(
              working.width, working.height, kernel, strength, working.v.data(), working.y.data(),
              working.u.data(), count, referenceRecords.data(), expectedWeighted.data());
          EXPECT_EQ(DiffuseWeighted(working, records, kernel, strength, 0xEE), expectedWeighted)
              << "weighted";
        }
      }
    }
  }
}

// Records whose integer parts coincide share one index; near zero, where truncation and
// rounding down part ways, many of them do.
TEST(ErrorDiffusionTest, RecordsAroundZeroShareIndicesAsInTheLiteralMapping) {
  std::vector<PaletteRecord> records;
  std::vector<reference::PaletteRecord> referenceRecords;
  for (int i = 0; i < kPaletteSize; ++i) {
    const PaletteRecord record{(i % 5) * 0.3 - 0.6, (i % 3) * 0.45 - 0.45, (i % 7) * 0.25 - 0.75,
                               i};
    records.push_back(record);
    referenceRecords.push_back({record.y, record.u, record.v, record.index});
  }
  const RgbPicture noise = RandomPicture(23, 11, 5);
  WorkingPicture picture = WorkingOf(noise);
  for (std::vector<double>* plane : {&picture.v, &picture.y, &picture.u}) {
    for (double& value : *plane) value = value / 128.0 - 1.0;
  }
  for (int kernel = 0; kernel <= 3; ++kernel) {
    std::vector<uint8_t> expected(picture.v.size(), 0xEE);
    reference::DiffuseToIndicesWeighted(picture.width, picture.height, kernel, 0.75,
                                        picture.v.data(), picture.y.data(), picture.u.data(),
                                        kPaletteSize, referenceRecords.data(), expected.data());
    EXPECT_EQ(DiffuseWeighted(picture, records, kernel, 0.75, 0xEE), expected) << kernel;
  }
}

TEST(ErrorDiffusionTest, TiesGoToTheLowerEntry) {
  // 100 lies halfway between 90 (entry 3) and 110 (entry 1).
  RgbPalette palette;
  palette.r.fill(250);
  palette.r[1] = 110;
  palette.r[3] = 90;
  RgbPicture pixel(1, 1);
  pixel.Set(0, 0, 100, 250, 0);
  EXPECT_EQ(DiffuseRgb(pixel, palette, 0, 0.75), (std::vector<uint8_t>{1}));
}

TEST(ErrorDiffusionTest, RgbDuplicateColoursTakeTheHighestIndex) {
  RgbPalette palette = RandomPalette(11);
  palette.r[200] = palette.r[10];
  palette.g[200] = palette.g[10];
  palette.b[200] = palette.b[10];
  // Every pixel is exactly a palette colour.
  RgbPicture picture(8, 8);
  for (int i = 0; i < 64; ++i) {
    const int entry = (i % 2 == 0) ? 10 : (i * 37) % kPaletteSize;
    picture.Set(i % 8, i / 8, palette.r[entry], palette.g[entry], palette.b[entry]);
  }
  const std::vector<uint8_t> indices = DiffuseRgb(picture, palette, 0, 0.0);
  for (int i = 0; i < 64; ++i) {
    const int entry = (i % 2 == 0) ? 10 : (i * 37) % kPaletteSize;
    EXPECT_EQ(indices[i], entry == 10 ? 200 : entry) << i;
  }
}

TEST(ErrorDiffusionTest, WeightedRecordsWithEqualIntegerPartsShareTheFirstIndex) {
  std::vector<PaletteRecord> records;
  for (int i = 0; i < kPaletteSize; ++i) {
    records.push_back({double(i) * 7 + 0.5, double(i % 16) * 50 + 0.5, double(i) * 3 + 0.5, i});
  }
  records[10] = {50.3, 60.4, 100.2, 10};
  records[200] = {50.9, 60.1, 100.7, 200};
  // Negative values truncate toward zero: -5.2 and -5.7 are both -5.
  records[30] = {-5.2, -9.9, -1.5, 30};
  records[40] = {-5.7, -9.1, -1.8, 40};

  WorkingPicture picture{4, 2, {}, {}, {}};
  for (int entry : {10, 200, 30, 40, 5, 250, 10, 200}) {
    picture.v.push_back(records[entry].v);
    picture.y.push_back(records[entry].y);
    picture.u.push_back(records[entry].u);
  }
  EXPECT_EQ(DiffuseWeighted(picture, records, 0, 0.0),
            (std::vector<uint8_t>{10, 10, 30, 30, 5, 250, 10, 10}));
}

TEST(ErrorDiffusionTest, UnknownKernelLeavesTheIndicesAlone) {
  const RgbPicture picture = RandomPicture(4, 4, 1);
  const RgbPalette palette = RandomPalette(2);
  std::vector<uint8_t> indices(16, 77);
  DiffuseToIndicesRgb(4, 4, 4, 0.75, picture.r.data(), picture.g.data(), picture.b.data(),
                      kPaletteSize, palette.r.data(), palette.g.data(), palette.b.data(),
                      indices.data());
  EXPECT_EQ(indices, std::vector<uint8_t>(16, 77));
  EXPECT_EQ(DiffuseWeighted(WorkingOf(picture), RecordsOf(palette), -1, 0.75, 77),
            std::vector<uint8_t>(16, 77));
}

}  // namespace
}  // namespace genshoku
