// The reader on hand-built files: every byte is chosen here, so each test pins one rule of
// the format or one way a file can be wrong.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "codecs/gif/gif_reader.h"
#include "common/diagnostics.h"
#include "gif_test_support.h"

namespace genshoku {
namespace {

using giftest::Bytes;
using giftest::CodeStream;
using giftest::FileBuilder;

const Bytes kPalette = {0, 0, 0,    255, 0, 0,    0, 255, 0,    0, 0, 255,
                        10, 20, 30, 40, 50, 60,   70, 80, 90,   100, 110, 120};

// A reader with its own copy of the bytes (the reader reads them in place) and the lines
// it printed.
struct Opened {
  Bytes bytes;
  CapturedDiagnostics diagnostics;
  std::unique_ptr<GifReader> reader;
};

std::unique_ptr<Opened> OpenBytes(const Bytes& bytes) {
  auto opened = std::make_unique<Opened>();
  opened->bytes = bytes;
  opened->reader =
      GifReader::OpenMemory(opened->bytes.data(), opened->bytes.size(), opened->diagnostics);
  return opened;
}

// Screen indices as a compact string, one character per pixel ('0' + index).
std::string IndexRows(const GifReader& reader) {
  std::string text;
  for (size_t i = 0; i < reader.screenIndices().size(); ++i) {
    if (i > 0 && i % reader.width() == 0) text += '|';
    text += static_cast<char>('0' + reader.screenIndices()[i]);
  }
  return text;
}

Bytes Rendered(const GifReader& reader) {
  Bytes rgb(size_t(reader.width()) * reader.height() * 3, 0xEE);
  reader.Render(rgb.data());
  return rgb;
}

Bytes Color(int index) { return Bytes(kPalette.begin() + 3 * index, kPalette.begin() + 3 * index + 3); }
Bytes PixelAt(const Bytes& rgb, int width, int x, int y) {
  const size_t at = (size_t(y) * width + x) * 3;
  return Bytes(rgb.begin() + at, rgb.begin() + at + 3);
}

// An image of single-index codes: pixel i gets indices[i].
CodeStream Literal(int minimumCodeSize, const Bytes& indices) {
  CodeStream codes(minimumCodeSize);
  codes.Clear();
  for (uint8_t index : indices) codes.Data(index);
  codes.Stop();
  return codes;
}

TEST(GifReaderOpen, RefusesWhatIsNotAGif89aFileWithAGlobalTable) {
  struct Case {
    Bytes bytes;
    const char* message;
  };
  Bytes gif87 = FileBuilder(1, 1, kPalette, 1).bytes();
  gif87[4] = '7';
  Bytes noTable = FileBuilder(1, 1, kPalette, 1).bytes();
  noTable[10] = 0x70;
  const Case cases[] = {
      {{}, "invalid signature\n"},
      {{'G', 'I'}, "invalid signature\n"},
      {{'P', 'N', 'G', '8', '9', 'a'}, "invalid signature\n"},
      {gif87, "invalid version\n"},
      {{'G', 'I', 'F', '8', '9'}, "invalid version\n"},
      {noTable, "no global color table\n"},
      {{'G', 'I', 'F', '8', '9', 'a', 1, 0}, "no global color table\n"},
  };
  for (const Case& c : cases) {
    auto opened = OpenBytes(c.bytes);
    EXPECT_EQ(opened->reader, nullptr);
    EXPECT_EQ(opened->diagnostics.Text(DiagnosticStream::Err), c.message);
    EXPECT_EQ(opened->diagnostics.Text(DiagnosticStream::Out), "");
  }
}

TEST(GifReaderOpen, RefusesScreensAboveThePictureLimitSilently) {
  // 10001 x 10000 pixels is just above 100,000,000; 10000 x 10000 is the limit itself.
  auto tooLarge = OpenBytes(FileBuilder(10001, 10000, kPalette, 1).bytes());
  EXPECT_EQ(tooLarge->reader, nullptr);
  EXPECT_EQ(tooLarge->diagnostics.AllText(), "");
  auto largest = OpenBytes(FileBuilder(65535, 65535, kPalette, 1).bytes());
  EXPECT_EQ(largest->reader, nullptr);
}

TEST(GifReaderOpen, ReadsTheScreenAndPaintsTheBackground) {
  Bytes palette = kPalette;
  auto plain = OpenBytes(FileBuilder(3, 2, palette, 2, 0).bytes());
  ASSERT_NE(plain->reader, nullptr);
  const GifReader& reader = *plain->reader;
  EXPECT_EQ(reader.width(), 3);
  EXPECT_EQ(reader.height(), 2);
  EXPECT_EQ(reader.colorResolution(), 8);
  EXPECT_EQ(reader.globalTable().count, 8);
  EXPECT_EQ(reader.backgroundIndex(), 0);
  // Entry 0 is black: canvas and indices stay zero.
  EXPECT_EQ(reader.screenRgb(), Bytes(18, 0));
  EXPECT_EQ(reader.screenIndices(), Bytes(6, 0));

  auto coloured = OpenBytes(FileBuilder(3, 2, palette, 2, 5).bytes());
  ASSERT_NE(coloured->reader, nullptr);
  EXPECT_EQ(coloured->reader->screenIndices(), Bytes(6, 5));
  EXPECT_EQ(PixelAt(coloured->reader->screenRgb(), 3, 2, 1), Color(5));

  // A non-zero background index whose entry is black fills the indices only.
  palette[9] = palette[10] = palette[11] = 0;
  auto blackEntry = OpenBytes(FileBuilder(3, 2, palette, 2, 3).bytes());
  ASSERT_NE(blackEntry->reader, nullptr);
  EXPECT_EQ(blackEntry->reader->screenIndices(), Bytes(6, 3));
  EXPECT_EQ(blackEntry->reader->screenRgb(), Bytes(18, 0));

  // A background index beyond the declared table reads a black entry.
  auto beyond = OpenBytes(FileBuilder(2, 1, kPalette, 0, 200).bytes());
  ASSERT_NE(beyond->reader, nullptr);
  EXPECT_EQ(beyond->reader->screenRgb(), Bytes(6, 0));
}

TEST(GifReaderOpen, ReadsFilesByPathAndFailsSilentlyOnMissingOnes) {
  const Bytes bytes = FileBuilder(2, 1, kPalette, 1).Image(0, 0, 2, 1, false, Literal(2, {1, 2}), 2)
                          .Trailer()
                          .bytes();
  const std::string path =
      (std::filesystem::temp_directory_path() / "genshoku-gif-reader-test.gif").string();
  std::FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);

  CapturedDiagnostics diagnostics;
  auto reader = GifReader::Open(path, diagnostics);
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(reader->NextImage(), GifReader::kImageRead);
  EXPECT_EQ(IndexRows(*reader), "12");
  EXPECT_EQ(reader->NextImage(), GifReader::kTrailer);
  reader->Close();
  EXPECT_EQ(reader->NextImage(), GifReader::kError);
  std::filesystem::remove(path);

  EXPECT_EQ(GifReader::Open(path + ".missing", diagnostics), nullptr);
  EXPECT_EQ(diagnostics.AllText(), "");
}

TEST(GifReaderImages, DecodesTheByteSequenceOfAOnePixelDepthEightFile) {
  // Code size 8, then clear (256), colour 7, stop (257) at 9 bits: 4 bytes in one sub-block.
  const Bytes data = {4, 0x00, 0x0F, 0x04, 0x04, 0};
  Bytes palette(768, 0);
  palette[21] = 1, palette[22] = 2, palette[23] = 3;
  const Bytes bytes = FileBuilder(1, 1, palette, 7).Image(0, 0, 1, 1, false, 8, data).Trailer().bytes();
  auto opened = OpenBytes(bytes);
  ASSERT_NE(opened->reader, nullptr);
  EXPECT_EQ(opened->reader->NextImage(), GifReader::kImageRead);
  EXPECT_EQ(opened->reader->screenIndices(), Bytes{7});
  EXPECT_EQ(Rendered(*opened->reader), (Bytes{1, 2, 3}));
}

TEST(GifReaderImages, PlacesInterlacedRowsInPassOrder) {
  struct Case {
    int height;
    const char* rows;  // the screen rows top to bottom after decoding indices 1, 2, 3, ...
  };
  const Case cases[] = {
      {1, "1"},
      {2, "1|2"},
      {3, "1|3|2"},
      {10, "1|6|4|7|3|8|5|9|2|10"},
  };
  for (const Case& c : cases) {
    Bytes indices;
    for (int i = 1; i <= c.height; ++i) indices.push_back(static_cast<uint8_t>(i));
    const Bytes bytes = FileBuilder(1, c.height, kPalette, 3)
                            .Image(0, 0, 1, c.height, true, Literal(4, indices), 4)
                            .bytes();
    auto opened = OpenBytes(bytes);
    ASSERT_NE(opened->reader, nullptr);
    ASSERT_EQ(opened->reader->NextImage(), GifReader::kImageRead);
    std::string rows;
    for (size_t i = 0; i < opened->reader->screenIndices().size(); ++i) {
      if (i > 0) rows += '|';
      rows += std::to_string(opened->reader->screenIndices()[i]);
    }
    EXPECT_EQ(rows, c.rows) << "height " << c.height;
  }
}

TEST(GifReaderImages, FollowsTheCodeWidthThroughClearsAndAFullTable) {
  // Code size 2: entries 6 and 7 make the table reach 8, so the codes after that are read
  // with 4 bits; a clear right then must bring the width back to 3 bits.
  CodeStream afterWidening(2);
  afterWidening.Clear().Data(0).Data(1).Data(2);
  ASSERT_EQ(afterWidening.width(), 4);
  afterWidening.Clear().Data(3).Data(3).Stop();
  auto opened = OpenBytes(
      FileBuilder(5, 1, kPalette, 1).Image(0, 0, 5, 1, false, afterWidening, 2).Trailer().bytes());
  ASSERT_NE(opened->reader, nullptr);
  EXPECT_EQ(opened->reader->NextImage(), GifReader::kImageRead);
  EXPECT_EQ(IndexRows(*opened->reader), "01233");

  // A table filled to 4096 entries without a clear: the entry that filled it must end with
  // the first index of the code that came with it, and later codes may use it.
  CodeStream full(2);
  full.Clear();
  for (int i = 0; i < 4090; ++i) full.Data(0);  // entries 6..4094, all "0 0"
  full.Data(1);                                  // entry 4095 = "0 1"
  full.Data(4095).Data(2).Stop();
  auto filled = OpenBytes(
      FileBuilder(4094, 1, kPalette, 1).Image(0, 0, 4094, 1, false, full, 2).Trailer().bytes());
  ASSERT_NE(filled->reader, nullptr);
  EXPECT_EQ(filled->reader->NextImage(), GifReader::kImageRead);
  const Bytes& indices = filled->reader->screenIndices();
  EXPECT_EQ(Bytes(indices.end() - 4, indices.end()), (Bytes{1, 0, 1, 2}));
  EXPECT_EQ(std::count(indices.begin(), indices.end() - 4, 0), 4090);
}

TEST(GifReaderImages, DecodesTheCodeThatIsAboutToBeAdded) {
  // "0 0" is sent as code 6 before the table holds it: the string of the previous code
  // followed by its own first index.
  CodeStream codes(2);
  codes.Clear().Data(1).Data(6).Data(7).Stop();
  auto opened = OpenBytes(FileBuilder(6, 1, kPalette, 1).Image(0, 0, 6, 1, false, codes, 2).bytes());
  ASSERT_NE(opened->reader, nullptr);
  EXPECT_EQ(opened->reader->NextImage(), GifReader::kImageRead);
  EXPECT_EQ(IndexRows(*opened->reader), "111111");
}

TEST(GifReaderImages, ReadsAStreamWithoutALeadingClearAsIfItHadOne) {
  CodeStream codes(2);
  codes.Data(2).Data(3).Data(6).Stop();
  auto opened = OpenBytes(FileBuilder(4, 1, kPalette, 1).Image(0, 0, 4, 1, false, codes, 2).bytes());
  ASSERT_NE(opened->reader, nullptr);
  EXPECT_EQ(opened->reader->NextImage(), GifReader::kImageRead);
  EXPECT_EQ(IndexRows(*opened->reader), "2323");
}

TEST(GifReaderImages, FailsTheImageOnACodeNotInTheTable) {
  CodeStream codes(2);
  codes.Clear().Data(1).Data(7).Data(1).Stop();  // 7 is two entries ahead
  auto opened = OpenBytes(
      FileBuilder(4, 1, kPalette, 1).Image(0, 0, 4, 1, false, codes, 2).Trailer().bytes());
  ASSERT_NE(opened->reader, nullptr);
  EXPECT_EQ(opened->reader->NextImage(), GifReader::kError);
  EXPECT_EQ(IndexRows(*opened->reader), "1000");

  // Right after a clear only single indices are known.
  CodeStream afterClear(2);
  afterClear.Clear().Data(6).Stop();
  auto first = OpenBytes(FileBuilder(2, 1, kPalette, 1).Image(0, 0, 2, 1, false, afterClear, 2).bytes());
  EXPECT_EQ(first->reader->NextImage(), GifReader::kError);

  // A minimum code size that no index fits.
  auto wide = OpenBytes(FileBuilder(1, 1, kPalette, 1).Image(0, 0, 1, 1, false, 9, {1, 0, 0}).bytes());
  EXPECT_EQ(wide->reader->NextImage(), GifReader::kError);
}

TEST(GifReaderImages, DropsPixelsOutsideTheScreenAndTheRectangle) {
  // A 3 x 2 image at (2, 1) on a 4 x 2 screen: only its first row's first two pixels fit.
  auto offside = OpenBytes(FileBuilder(4, 2, kPalette, 2)
                               .Image(2, 1, 3, 2, false, Literal(3, {1, 2, 3, 4, 5, 6}), 3)
                               .bytes());
  ASSERT_NE(offside->reader, nullptr);
  EXPECT_EQ(offside->reader->NextImage(), GifReader::kImageRead);
  EXPECT_EQ(IndexRows(*offside->reader), "0000|0012");
  EXPECT_EQ(PixelAt(Rendered(*offside->reader), 4, 3, 1), Color(2));

  // More pixels than the rectangle holds: the surplus goes nowhere.
  auto surplus = OpenBytes(FileBuilder(3, 2, kPalette, 2)
                               .Image(0, 0, 2, 1, false, Literal(3, {1, 2, 3, 4, 5, 6}), 3)
                               .bytes());
  EXPECT_EQ(surplus->reader->NextImage(), GifReader::kImageRead);
  EXPECT_EQ(IndexRows(*surplus->reader), "120|000");

  // A rectangle entirely off the screen, and one of width 0.
  auto away = OpenBytes(FileBuilder(2, 2, kPalette, 1)
                            .Image(5, 0, 2, 2, false, Literal(2, {1, 1, 1, 1}), 2)
                            .Image(0, 0, 0, 2, false, Literal(2, {1, 1}), 2)
                            .bytes());
  EXPECT_EQ(away->reader->NextImage(), GifReader::kImageRead);
  EXPECT_EQ(away->reader->NextImage(), GifReader::kImageRead);
  EXPECT_EQ(IndexRows(*away->reader), "00|00");
}

TEST(GifReaderImages, KeepsWhatArrivedWhenTheDataStopEarly) {
  // No stop code before the terminator: the image ends there and reading goes on.
  CodeStream noStop(2);
  noStop.Clear().Data(1).Data(2);
  auto unterminated = OpenBytes(FileBuilder(3, 1, kPalette, 1)
                                    .Image(0, 0, 3, 1, false, noStop, 2)
                                    .Image(2, 0, 1, 1, false, Literal(2, {3}), 2)
                                    .Trailer()
                                    .bytes());
  ASSERT_NE(unterminated->reader, nullptr);
  EXPECT_EQ(unterminated->reader->NextImage(), GifReader::kImageRead);
  EXPECT_EQ(unterminated->reader->NextImage(), GifReader::kImageRead);
  EXPECT_EQ(IndexRows(*unterminated->reader), "123");
  EXPECT_EQ(unterminated->reader->NextImage(), GifReader::kTrailer);

  // The file itself ends inside the data, then between blocks.
  Bytes cut = FileBuilder(4, 1, kPalette, 1).Image(0, 0, 4, 1, false, Literal(2, {1, 2, 3, 1}), 2).bytes();
  cut.resize(cut.size() - 2);
  auto truncated = OpenBytes(cut);
  ASSERT_NE(truncated->reader, nullptr);
  EXPECT_EQ(truncated->reader->NextImage(), GifReader::kImageRead);
  EXPECT_EQ(IndexRows(*truncated->reader), "1231");
  EXPECT_EQ(truncated->reader->NextImage(), GifReader::kTrailer);

  // It ends inside an image descriptor.
  Bytes inDescriptor = FileBuilder(4, 1, kPalette, 1).Append({0x2C, 0, 0, 0}).bytes();
  auto shortDescriptor = OpenBytes(inDescriptor);
  EXPECT_EQ(shortDescriptor->reader->NextImage(), GifReader::kError);
}

TEST(GifReaderBlocks, ReadsControlAndLoopingExtensionsAndSkipsTheOthers) {
  FileBuilder file(2, 1, kPalette, 1);
  file.Append({0x21, 0xFE}).Append(giftest::SubBlocks(Bytes(300, 'c'), 100));  // comment
  file.Append({0x21, 0x01, 12, 0, 0, 0, 0, 4, 0, 4, 0, 8, 8, 1, 0})            // plain text
      .Append(giftest::SubBlocks(Bytes(5, 't')));
  file.Append({0x21, 0xFF, 11}).Append(Bytes{'X', 'M', 'P', ' ', 'D', 'a', 't', 'a', 'X', 'M', 'P'})
      .Append(giftest::SubBlocks(Bytes(400, 0x3B)));                               // other application
  file.Append({0x21, 0xFF, 11}).Append(Bytes{'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', 'x', 'y', 'z'})
      .Append({3, 1, 0x34, 0x12, 0});                                              // looping
  file.Control(2, true, 3, 0x0102);
  file.Image(0, 0, 2, 1, false, Literal(2, {1, 3}), 2).Trailer();
  auto opened = OpenBytes(file.bytes());
  ASSERT_NE(opened->reader, nullptr);
  GifReader& reader = *opened->reader;
  EXPECT_EQ(reader.NextImage(), GifReader::kImageRead);
  EXPECT_EQ(reader.repeatCount(), 0x1234);
  EXPECT_EQ(reader.disposalMethod(), 2);
  EXPECT_EQ(reader.transparencyFlag(), 1);
  EXPECT_EQ(reader.transparentIndex(), 3);
  EXPECT_EQ(reader.delayTime(), 0x0102);
  EXPECT_EQ(reader.userInputFlag(), 0);
  EXPECT_EQ(IndexRows(reader), "13");
  EXPECT_EQ(reader.NextImage(), GifReader::kTrailer);
  EXPECT_EQ(opened->diagnostics.AllText(), "");
}

TEST(GifReaderBlocks, ReportsUnknownExtensionsAndUnknownBlocks) {
  // The unknown extension's bytes are not skipped: its block size byte (4) is then taken
  // for a block introducer, which ends the reading.
  auto unknown = OpenBytes(FileBuilder(1, 1, kPalette, 1).Append({0x21, 0x77, 4, 1, 2, 3, 4, 0}).bytes());
  ASSERT_NE(unknown->reader, nullptr);
  EXPECT_EQ(unknown->reader->NextImage(), GifReader::kError);
  EXPECT_EQ(unknown->diagnostics.Text(DiagnosticStream::Err), "unknown extension: 77\n");

  // An unknown extension whose first data byte happens to introduce an image.
  auto lucky = OpenBytes(FileBuilder(1, 1, kPalette, 1)
                             .Append({0x21, 0x0A})
                             .Image(0, 0, 1, 1, false, Literal(2, {2}), 2)
                             .bytes());
  EXPECT_EQ(lucky->reader->NextImage(), GifReader::kImageRead);
  EXPECT_EQ(lucky->diagnostics.Text(DiagnosticStream::Err), "unknown extension: 0A\n");
  EXPECT_EQ(IndexRows(*lucky->reader), "2");

  auto stray = OpenBytes(FileBuilder(1, 1, kPalette, 1).Append({0x00}).bytes());
  EXPECT_EQ(stray->reader->NextImage(), GifReader::kError);
  auto empty = OpenBytes(FileBuilder(1, 1, kPalette, 1).bytes());
  EXPECT_EQ(empty->reader->NextImage(), GifReader::kTrailer);
}

}  // namespace
}  // namespace genshoku
