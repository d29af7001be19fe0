// The reader on hand-built files: every byte is chosen here, so each case pins one rule of
// the format or one way a file can be wrong.

#include "codecs/gif/gif_reader.h"

#include <gtest/gtest.h>

#include "common/diagnostics.h"
#include "gif_test_support.h"

namespace genshoku {
namespace {

using giftest::Bytes;
using giftest::CodeStream;
using giftest::FileBuilder;

const Bytes kPalette = {0,  0,  0,  255, 0,  0,  0,  255, 0,  0,   0,   255,
                        10, 20, 30, 40,  50, 60, 70, 80,  90, 100, 110, 120};

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

// An image of single-index codes: pixel i gets indices[i].
CodeStream Literal(int minimumCodeSize, const Bytes& indices) {
  CodeStream codes(minimumCodeSize);
  codes.Clear();
  for (uint8_t index : indices) codes.Data(index);
  codes.Stop();
  return codes;
}

TEST(GifReaderOpen, RefusesWhatIsNotAGif89aFileWithAGlobalTable) {
  Bytes gif87 = FileBuilder(1, 1, kPalette, 1).bytes();
  gif87[4] = '7';
  Bytes noTable = FileBuilder(1, 1, kPalette, 1).bytes();
  noTable[10] = 0x70;
  const std::pair<Bytes, const char*> cases[] = {
      {{}, "invalid signature\n"},
      {{'G', 'I'}, "invalid signature\n"},
      {{'P', 'N', 'G', '8', '9', 'a'}, "invalid signature\n"},
      {gif87, "invalid version\n"},
      {{'G', 'I', 'F', '8', '9'}, "invalid version\n"},
      {noTable, "no global color table\n"},
      {{'G', 'I', 'F', '8', '9', 'a', 1, 0}, "no global color table\n"},
      // Just above 100,000,000 pixels, and the largest screen: refused silently.
      {FileBuilder(10001, 10000, kPalette, 1).bytes(), ""},
      {FileBuilder(65535, 65535, kPalette, 1).bytes(), ""},
  };
  for (const auto& [bytes, message] : cases) {
    auto opened = OpenBytes(bytes);
    EXPECT_EQ(opened->reader, nullptr);
    EXPECT_EQ(opened->diagnostics.Text(DiagnosticStream::Err), message);
    EXPECT_EQ(opened->diagnostics.Text(DiagnosticStream::Out), "");
  }
}

TEST(GifReaderOpen, PaintsTheBackground) {
  Bytes colour = {40, 50, 60};
  Bytes fiveRgb;
  for (int i = 0; i < 6; ++i) fiveRgb.insert(fiveRgb.end(), colour.begin(), colour.end());
  Bytes blackThree = kPalette;
  blackThree[9] = blackThree[10] = blackThree[11] = 0;
  const struct {
    Bytes file;
    Bytes indices, rgb;
  } cases[] = {
      {FileBuilder(3, 2, kPalette, 2, 0).bytes(), Bytes(6, 0), Bytes(18, 0)},
      {FileBuilder(3, 2, kPalette, 2, 5).bytes(), Bytes(6, 5), fiveRgb},
      // A non-zero background index whose entry is black fills the indices only.
      {FileBuilder(3, 2, blackThree, 2, 3).bytes(), Bytes(6, 3), Bytes(18, 0)},
      // A background index beyond the declared table reads a black entry.
      {FileBuilder(3, 2, kPalette, 0, 200).bytes(), Bytes(6, 200), Bytes(18, 0)},
  };
  for (const auto& test : cases) {
    // Before the first image there is no canvas, and Render paints the background alone.
    auto opened = OpenBytes(test.file);
    ASSERT_NE(opened->reader, nullptr);
    EXPECT_TRUE(opened->reader->screenIndices().empty());
    Bytes rendered(test.rgb.size(), 1);
    opened->reader->Render(rendered.data());
    EXPECT_EQ(rendered, test.rgb);
    // An empty image makes the canvas: the background, indices and colours.
    Bytes withImage = test.file;
    const Bytes emptyImage =
        FileBuilder(1, 1, kPalette, 0).Image(0, 0, 0, 0, false, 2, {0}).bytes();
    withImage.insert(withImage.end(), emptyImage.end() - 12, emptyImage.end());
    auto read = OpenBytes(withImage);
    ASSERT_EQ(read->reader->NextImage(), GifReader::kImageRead);
    EXPECT_EQ(read->reader->screenIndices(), test.indices);
    EXPECT_EQ(read->reader->screenRgb(), test.rgb);
    EXPECT_EQ(read->reader->damage(), "");
  }
}

TEST(GifReaderImages, HandBuiltCodeStreams) {
  // Code size 2: entries 6 and 7 make the table reach 8, so the codes after that are read
  // with 4 bits; a clear right then must bring the width back to 3 bits.
  CodeStream afterWidening(2);
  afterWidening.Clear().Data(0).Data(1).Data(2);
  ASSERT_EQ(afterWidening.width(), 4);
  afterWidening.Clear().Data(3).Data(3).Stop();
  // A table filled to 4096 entries without a clear: the entry that filled it must end with
  // the first index of the code that came with it, and later codes may use it.
  CodeStream full(2);
  full.Clear();
  for (int i = 0; i < 4090; ++i) full.Data(0);  // entries 6..4094, all "0 0"
  full.Data(1).Data(4095).Data(2).Stop();       // entry 4095 = "0 1"
  const std::string fullRows = std::string(4090, '0') + "1012";
  const struct {
    const char* what;
    int width;
    CodeStream codes;
    int result;
    std::string rows;
  } cases[] = {
      {"clear after widening", 5, afterWidening, GifReader::kImageRead, "01233"},
      {"full table", 4094, full, GifReader::kImageRead, fullRows},
      // "0 0" sent as code 6 before the table holds it: the previous code's string
      // followed by its own first index.
      {"code about to be added", 6, CodeStream(2).Clear().Data(1).Data(6).Data(7).Stop(),
       GifReader::kImageRead, "111111"},
      {"no leading clear", 4, CodeStream(2).Data(2).Data(3).Data(6).Stop(), GifReader::kImageRead,
       "2323"},
      {"code two entries ahead", 4, CodeStream(2).Clear().Data(1).Data(7).Data(1).Stop(),
       GifReader::kError, "1000"},
      {"entry right after a clear", 2, CodeStream(2).Clear().Data(6).Stop(), GifReader::kError,
       "00"},
  };
  for (const auto& test : cases) {
    auto opened = OpenBytes(FileBuilder(test.width, 1, kPalette, 1)
                                .Image(0, 0, test.width, 1, false, test.codes, 2)
                                .Trailer()
                                .bytes());
    ASSERT_NE(opened->reader, nullptr);
    EXPECT_EQ(opened->reader->NextImage(), test.result) << test.what;
    EXPECT_EQ(IndexRows(*opened->reader), test.rows) << test.what;
  }
  // A minimum code size that no index fits.
  auto wide =
      OpenBytes(FileBuilder(1, 1, kPalette, 1).Image(0, 0, 1, 1, false, 9, {1, 0, 0}).bytes());
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
  const Bytes rgb = Rendered(*offside->reader);
  EXPECT_EQ(Bytes(rgb.end() - 3, rgb.end()), (Bytes{0, 255, 0}));

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
  auto unterminated =
      OpenBytes(FileBuilder(3, 1, kPalette, 1)
                    .Image(0, 0, 3, 1, false, CodeStream(2).Clear().Data(1).Data(2), 2)
                    .Image(2, 0, 1, 1, false, Literal(2, {3}), 2)
                    .Trailer()
                    .bytes());
  ASSERT_NE(unterminated->reader, nullptr);
  EXPECT_EQ(unterminated->reader->NextImage(), GifReader::kImageRead);
  EXPECT_EQ(unterminated->reader->NextImage(), GifReader::kImageRead);
  EXPECT_EQ(IndexRows(*unterminated->reader), "123");
  EXPECT_EQ(unterminated->reader->NextImage(), GifReader::kTrailer);

  // The file itself ends inside the data, then between blocks.
  Bytes cut =
      FileBuilder(4, 1, kPalette, 1).Image(0, 0, 4, 1, false, Literal(2, {1, 2, 3, 1}), 2).bytes();
  cut.resize(cut.size() - 2);
  auto truncated = OpenBytes(cut);
  ASSERT_NE(truncated->reader, nullptr);
  EXPECT_EQ(truncated->reader->NextImage(), GifReader::kImageRead);
  EXPECT_EQ(IndexRows(*truncated->reader), "1231");
  EXPECT_EQ(truncated->reader->NextImage(), GifReader::kTrailer);

  // It ends inside an image descriptor.
  auto shortDescriptor = OpenBytes(FileBuilder(4, 1, kPalette, 1).Append({0x2C, 0, 0, 0}).bytes());
  EXPECT_EQ(shortDescriptor->reader->NextImage(), GifReader::kError);
}

TEST(GifReaderBlocks, ReadsControlAndLoopingExtensionsAndSkipsTheOthers) {
  FileBuilder file(2, 1, kPalette, 1);
  file.Append({0x21, 0xFE}).Append(giftest::SubBlocks(Bytes(300, 'c'), 100));  // comment
  file.Append({0x21, 0x01, 12, 0, 0, 0, 0, 4, 0, 4, 0, 8, 8, 1, 0})            // plain text
      .Append(giftest::SubBlocks(Bytes(5, 't')));
  file.Append({0x21, 0xFF, 11, 'X', 'M', 'P', ' ', 'D', 'a', 't', 'a', 'X', 'M', 'P'})
      .Append(giftest::SubBlocks(Bytes(400, 0x3B)));  // another application's
  file.Append(
      {0x21, 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', 'x', 'y', 'z', 3, 1, 0x34, 0x12, 0});
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
  auto unknown =
      OpenBytes(FileBuilder(1, 1, kPalette, 1).Append({0x21, 0x77, 4, 1, 2, 3, 4, 0}).bytes());
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

  EXPECT_EQ(OpenBytes(FileBuilder(1, 1, kPalette, 1).Append({0x00}).bytes())->reader->NextImage(),
            GifReader::kError);
  EXPECT_EQ(OpenBytes(FileBuilder(1, 1, kPalette, 1).bytes())->reader->NextImage(),
            GifReader::kTrailer);
}

}  // namespace
}  // namespace genshoku
