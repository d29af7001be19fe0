// What the compact writer's API promises besides the pixels: the chunks and their sizes,
// the palette it plans, refusals of impossible pictures, stopping, and the file wrapper.

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "codecs/png/compact_filter_choice.h"
#include "codecs/png/compact_palette.h"
#include "codecs/png/compact_png_file.h"
#include "tests/codecs/png/support_compact.h"
#include "tests/codecs/png/support_png.h"

namespace genshoku::png {
namespace {

using compacttest::ChunkView;
using compacttest::Content;
using compacttest::TestPicture;

TEST(CompactPngApi, ChunksHoldOnlyWhatTheUsedColoursNeedAtTheSmallestBitDepth) {
  struct Case {
    int entries;
    int usedEntries;
    int bitDepth;
  };
  for (const Case& c : {Case{1, 1, 1}, Case{2, 2, 1}, Case{3, 3, 2}, Case{4, 4, 2}, Case{17, 16, 4},
                        Case{17, 17, 8}, Case{256, 2, 1}, Case{256, 256, 8}}) {
    TestPicture picture = compacttest::MakePicture(40, 30, c.entries, false, Content::kNoise, 3);
    for (uint8_t& index : picture.indices) index = static_cast<uint8_t>(index % c.usedEntries);
    // Make sure every used entry is there once and has its own colour.
    for (int i = 0; i < c.usedEntries; ++i) {
      picture.indices[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
      picture.palette[static_cast<size_t>(i)] = Rgba{static_cast<uint8_t>(i), 7, 9, 255};
    }
    std::vector<uint8_t> png;
    ASSERT_EQ(EncodeCompactPng(picture.Image(), CompactPngOptions{}, png), CompactPngStatus::kOk);
    const std::vector<ChunkView> chunks = compacttest::ChunksOf(png);
    ASSERT_EQ(chunks.size(), 4u) << c.entries;
    EXPECT_EQ(chunks[0].type, "IHDR");
    EXPECT_EQ(chunks[0].data[8], c.bitDepth)
        << c.entries << " entries, " << c.usedEntries << " used";
    EXPECT_EQ(chunks[0].data[9], 3);
    EXPECT_EQ(chunks[1].type, "PLTE");
    EXPECT_EQ(chunks[1].data.size(), 3u * c.usedEntries);
    EXPECT_EQ(chunks[2].type, "IDAT");
    EXPECT_EQ(chunks[3].type, "IEND");
  }
}

TEST(CompactPngApi, TransparentEntriesComeFirstSoTheTransparencyChunkIsShort) {
  TestPicture picture = compacttest::MakePicture(50, 20, 200, false, Content::kNoise, 9);
  picture.palette[150].alpha = 0;
  picture.palette[199].alpha = 128;
  picture.indices[0] = 150;
  picture.indices[1] = 199;
  std::vector<uint8_t> png;
  ASSERT_EQ(EncodeCompactPng(picture.Image(), CompactPngOptions{}, png), CompactPngStatus::kOk);
  const std::vector<ChunkView> chunks = compacttest::ChunksOf(png);
  ASSERT_EQ(chunks.size(), 5u);
  EXPECT_EQ(chunks[2].type, "tRNS");
  EXPECT_EQ(chunks[2].data.size(), 2u);

  // Kept as given, the chunk ends at the last entry that is not opaque.
  CompactPngOptions asGiven;
  asGiven.paletteOrder = CompactPaletteOrder::kAsGiven;
  ASSERT_EQ(EncodeCompactPng(picture.Image(), asGiven, png), CompactPngStatus::kOk);
  const std::vector<ChunkView> given = compacttest::ChunksOf(png);
  ASSERT_EQ(given.size(), 5u);
  EXPECT_EQ(given[1].data.size(), 600u);
  EXPECT_EQ(given[2].data.size(), 200u);
  EXPECT_EQ(given[2].data[150], 0);
  EXPECT_EQ(given[2].data[199], 128);

  // No transparency chunk when every entry is opaque.
  picture.palette[150].alpha = 255;
  picture.palette[199].alpha = 255;
  ASSERT_EQ(EncodeCompactPng(picture.Image(), CompactPngOptions{}, png), CompactPngStatus::kOk);
  EXPECT_EQ(compacttest::ChunksOf(png).size(), 4u);
}

TEST(CompactPngApi, ThePalettePlanMergesEqualColoursAndOrdersByUseOrLuminance) {
  const std::vector<Rgba> palette = {{10, 10, 10, 255}, {200, 200, 200, 255}, {10, 10, 10, 255},
                                     {90, 0, 0, 0},     {5, 5, 5, 255},       {50, 50, 50, 255}};
  // Entry 4 unused; 0 and 2 the same colour.
  const std::vector<uint8_t> indices = {1, 1, 1, 1, 0, 2, 2, 3, 5, 5};
  const CompactPalette byUse =
      PlanCompactPalette(indices.data(), indices.size(), palette, CompactPaletteOrder::kByUse);
  ASSERT_EQ(byUse.entries.size(), 4u);
  EXPECT_EQ(byUse.entries[0], palette[3]);  // transparent first
  EXPECT_EQ(byUse.entries[1], palette[1]);  // used 4 times
  EXPECT_EQ(byUse.entries[2], palette[0]);  // 0 and 2 together: 3 times
  EXPECT_EQ(byUse.entries[3], palette[5]);
  EXPECT_EQ(byUse.newIndex[0], byUse.newIndex[2]);
  EXPECT_EQ(byUse.alphaCount, 1u);
  EXPECT_EQ(byUse.bitDepth, 2);
  for (uint8_t index : indices) EXPECT_EQ(byUse.entries[byUse.newIndex[index]], palette[index]);

  const CompactPalette byLuminance = PlanCompactPalette(indices.data(), indices.size(), palette,
                                                        CompactPaletteOrder::kByLuminance);
  ASSERT_EQ(byLuminance.entries.size(), 4u);
  EXPECT_EQ(byLuminance.entries[1], palette[0]);
  EXPECT_EQ(byLuminance.entries[2], palette[5]);
  EXPECT_EQ(byLuminance.entries[3], palette[1]);
}

TEST(CompactPngApi, ImpossiblePicturesAreRefusedWithTheirReason) {
  const std::vector<uint8_t> indices(12, 0);
  const std::vector<Rgba> palette(3);
  std::vector<uint8_t> png = {1, 2, 3};
  const auto status = [&](int64_t width, int64_t height, std::span<const uint8_t> pixels,
                          std::span<const Rgba> colours) {
    return EncodeCompactPng(CompactPngImage{width, height, pixels, colours}, CompactPngOptions{},
                            png);
  };
  EXPECT_EQ(status(0, 12, indices, palette), CompactPngStatus::kBadSize);
  EXPECT_EQ(status(12, 0, indices, palette), CompactPngStatus::kBadSize);
  EXPECT_EQ(status(-4, -3, indices, palette), CompactPngStatus::kBadSize);
  EXPECT_EQ(status(int64_t{1} << 31, 1, indices, palette), CompactPngStatus::kBadSize);
  EXPECT_EQ(status(100000, 100000, indices, palette), CompactPngStatus::kTooLarge);
  EXPECT_EQ(status(kMaxCompactPngSide, kMaxCompactPngSide, indices, palette),
            CompactPngStatus::kTooLarge);
  EXPECT_EQ(status(5, 2, indices, palette), CompactPngStatus::kIndicesSizeMismatch);
  EXPECT_EQ(status(4, 3, indices, {}), CompactPngStatus::kBadPalette);
  const std::vector<Rgba> tooMany(257);
  EXPECT_EQ(status(4, 3, indices, tooMany), CompactPngStatus::kBadPalette);
  std::vector<uint8_t> outside = indices;
  outside[11] = 3;
  EXPECT_EQ(status(4, 3, outside, palette), CompactPngStatus::kIndexOutsidePalette);
  EXPECT_TRUE(png.empty());
  EXPECT_EQ(status(4, 3, indices, palette), CompactPngStatus::kOk);
  EXPECT_FALSE(png.empty());
  EXPECT_STREQ(CompactPngStatusText(CompactPngStatus::kTooLarge),
               "the picture has too many pixels");
}

TEST(CompactPngApi, TheProgressCallbackSeesTheWorkAndCanStopIt) {
  const TestPicture picture =
      compacttest::MakePicture(900, 900, 256, false, Content::kPhotoLike, 21);
  std::vector<double> seen;
  CompactPngOptions options;
  options.progress = [&seen](double done) {
    seen.push_back(done);
    return true;
  };
  std::vector<uint8_t> png;
  ASSERT_EQ(EncodeCompactPng(picture.Image(), options, png), CompactPngStatus::kOk);
  ASSERT_FALSE(seen.empty());
  EXPECT_DOUBLE_EQ(seen.back(), 1.0);
  for (size_t i = 1; i < seen.size(); ++i) EXPECT_GE(seen[i], seen[i - 1]);

  options.progress = [](double) { return false; };
  EXPECT_EQ(EncodeCompactPng(picture.Image(), options, png), CompactPngStatus::kStopped);
  EXPECT_TRUE(png.empty());

  // A small picture is compressed once per filter: the progress still runs once to 1.
  const TestPicture small = compacttest::MakePicture(90, 80, 20, false, Content::kPhotoLike, 22);
  seen.clear();
  options.progress = [&seen](double done) {
    seen.push_back(done);
    return true;
  };
  ASSERT_EQ(EncodeCompactPng(small.Image(), options, png), CompactPngStatus::kOk);
  ASSERT_GT(seen.size(), 6u);
  EXPECT_DOUBLE_EQ(seen.back(), 1.0);
  for (size_t i = 1; i < seen.size(); ++i) EXPECT_GE(seen[i], seen[i - 1]);
  int calls = 0;
  options.progress = [&calls](double done) { return ++calls < 3 && done < 1; };
  EXPECT_EQ(EncodeCompactPng(small.Image(), options, png), CompactPngStatus::kStopped);
  EXPECT_TRUE(png.empty());
}

TEST(CompactPngApi, TheFileWrapperWritesTheSameBytesOrLeavesThePreviousFile) {
  const TestPicture picture = compacttest::MakePicture(33, 21, 7, true, Content::kStripes, 4);
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("compact_png_" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  const std::string path = (folder / "out.png").string();
  std::string error;
  ASSERT_EQ(WriteCompactPngFile(path, picture.Image(), CompactPngOptions{}, &error),
            CompactPngStatus::kOk);
  std::ifstream file(path, std::ios::binary);
  const std::vector<uint8_t> written{std::istreambuf_iterator<char>(file),
                                     std::istreambuf_iterator<char>()};
  std::vector<uint8_t> png;
  ASSERT_EQ(EncodeCompactPng(picture.Image(), CompactPngOptions{}, png), CompactPngStatus::kOk);
  EXPECT_TRUE(written == png);

  const std::string missing = (folder / "no-such-folder" / "out.png").string();
  EXPECT_EQ(WriteCompactPngFile(missing, picture.Image(), CompactPngOptions{}, &error),
            CompactPngStatus::kCannotWriteFile);
  EXPECT_NE(error.find("no-such-folder"), std::string::npos) << error;
  // A refused picture writes nothing.
  const TestPicture empty;
  EXPECT_EQ(WriteCompactPngFile(path, empty.Image(), CompactPngOptions{}, &error),
            CompactPngStatus::kBadSize);
  std::ifstream again(path, std::ios::binary);
  const std::vector<uint8_t> kept{std::istreambuf_iterator<char>(again),
                                  std::istreambuf_iterator<char>()};
  EXPECT_TRUE(kept == png);
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace genshoku::png

namespace genshoku::png {
namespace {

TEST(CompactPngApi, RowsAreFilteredWhereASampleSaysItPays) {
  std::array<uint8_t, 256> identity{};
  for (int i = 0; i < 256; ++i) identity[i] = static_cast<uint8_t>(i);
  // Rows that repeat exactly, shifted by one pixel per row: unfiltered they are one long
  // copy each, filtered they are not.
  const int64_t width = 500;
  const int64_t height = 400;
  std::vector<uint8_t> drawing(static_cast<size_t>(width * height));
  pngtest::TestRandom random(2);
  std::vector<uint8_t> pattern(1000);
  for (uint8_t& value : pattern) value = static_cast<uint8_t>(random.Below(256));
  for (int64_t y = 0; y < height; ++y) {
    for (int64_t x = 0; x < width; ++x) drawing[y * width + x] = pattern[(x + y) % 1000];
  }
  EXPECT_EQ(ChooseRowFilter(drawing.data(), width, height, identity, 8), CompactRowFilter::kNone);
  // A smooth ramp with a little noise, over a palette ordered from dark to light: the
  // differences to the neighbours are small numbers.
  std::vector<uint8_t> ramp(static_cast<size_t>(width * height));
  for (int64_t y = 0; y < height; ++y) {
    for (int64_t x = 0; x < width; ++x) {
      ramp[y * width + x] = static_cast<uint8_t>((x + y) / 4 % 256 + random.Below(3));
    }
  }
  EXPECT_EQ(ChooseRowFilter(ramp.data(), width, height, identity, 8),
            CompactRowFilter::kSmallestSum);
  // Every row one more than the row above: unfiltered rows never repeat within the
  // window, rows filtered by the row above are all ones.
  std::vector<uint8_t> rising(static_cast<size_t>(width * height));
  for (int64_t x = 0; x < width; ++x) rising[x] = static_cast<uint8_t>(random.Below(256));
  for (int64_t i = width; i < width * height; ++i) {
    rising[i] = static_cast<uint8_t>(rising[i - width] + 1);
  }
  const CompactRowFilter noneOrUp[] = {CompactRowFilter::kNone, CompactRowFilter::kUp};
  EXPECT_EQ(ChooseRowFilter(rising.data(), width, height, identity, 8, false, {}, noneOrUp),
            CompactRowFilter::kUp);
  const CompactRowFilter every[] = {CompactRowFilter::kNone,  CompactRowFilter::kSub,
                                    CompactRowFilter::kUp,    CompactRowFilter::kAverage,
                                    CompactRowFilter::kPaeth, CompactRowFilter::kSmallestSum};
  for (const bool twoThreads : {false, true}) {
    EXPECT_NE(ChooseRowFilter(rising.data(), width, height, identity, 8, twoThreads, {}, every),
              CompactRowFilter::kNone);
  }
  // The winner of a first choice, with the bits it took there, meets the fixed filters as
  // when its sample is compressed again: the same choice and the same bits per byte.
  for (const std::vector<uint8_t>* picture : {&drawing, &ramp, &rising}) {
    double firstBitsPerByte = 0;
    uint64_t winnerBits = 0;
    const CompactRowFilter winner =
        ChooseRowFilter(picture->data(), width, height, identity, 8, false, {}, kNoneOrSmallestSum,
                        &firstBitsPerByte, &winnerBits);
    const CompactRowFilter againstFixed[] = {winner, CompactRowFilter::kSub, CompactRowFilter::kUp,
                                             CompactRowFilter::kAverage, CompactRowFilter::kPaeth};
    double measuredBitsPerByte = 0;
    const CompactRowFilter measured = ChooseRowFilter(
        picture->data(), width, height, identity, 8, false, {}, againstFixed, &measuredBitsPerByte);
    for (const bool twoThreads : {false, true}) {
      double knownBitsPerByte = 0;
      EXPECT_EQ(ChooseRowFilter(picture->data(), width, height, identity, 8, twoThreads, {},
                                againstFixed, &knownBitsPerByte, nullptr, winnerBits),
                measured);
      EXPECT_EQ(knownBitsPerByte, measuredBitsPerByte);
    }
  }
}

TEST(CompactPngApi, SmallPicturesAreNeverLargerThanWithAnyOneFilter) {
  // A ramp one pixel wide and one pixel high (the filter across the ramp wins), a
  // photo-like picture and stripes: the writer's own choice against each filter alone.
  // (Small photos, above 3.5 bits per byte unfiltered and with the smallest sum, are
  // not tried with the four fixed filters; this photo-like picture lies below.)
  std::vector<TestPicture> pictures;
  for (const bool wide : {false, true}) {
    TestPicture ramp;
    ramp.width = wide ? 20000 : 1;
    ramp.height = wide ? 1 : 20000;
    for (int i = 0; i < 200; ++i) ramp.palette.push_back(Rgba{uint8_t(i), uint8_t(i), 0, 255});
    pngtest::TestRandom random(wide ? 5 : 6);
    for (int i = 0; i < 20000; ++i) {
      ramp.indices.push_back(
          static_cast<uint8_t>(std::min(199, i / 100 + (i % 2) * int(random.Below(2)))));
    }
    pictures.push_back(ramp);
  }
  pictures.push_back(compacttest::MakePicture(120, 90, 256, false, Content::kPhotoLike, 9));
  pictures.push_back(compacttest::MakePicture(77, 50, 12, true, Content::kStripes, 10));
  for (const TestPicture& picture : pictures) {
    std::vector<uint8_t> chosen;
    ASSERT_EQ(EncodeCompactPng(picture.Image(), CompactPngOptions{}, chosen),
              CompactPngStatus::kOk);
    // The trials run two at a time on two threads: the same choice as one by one.
    for (const int threads : {1, 2}) {
      CompactPngOptions options;
      options.threads = threads;
      std::vector<uint8_t> same;
      ASSERT_EQ(EncodeCompactPng(picture.Image(), options, same), CompactPngStatus::kOk);
      EXPECT_EQ(same, chosen) << picture.width << " x " << picture.height << ", " << threads;
    }
    for (int filter = 0; filter <= static_cast<int>(CompactRowFilter::kSmallestSum); ++filter) {
      CompactPngOptions options;
      options.rowFilter = static_cast<CompactRowFilter>(filter);
      std::vector<uint8_t> fixed;
      ASSERT_EQ(EncodeCompactPng(picture.Image(), options, fixed), CompactPngStatus::kOk);
      EXPECT_LE(chosen.size(), fixed.size())
          << picture.width << " x " << picture.height << ", filter " << filter;
    }
  }
}

}  // namespace
}  // namespace genshoku::png
