// The reader tells a whole first image from one made of damaged data and says what the
// damage is; a file's reason for failing to open comes in words a message can carry after
// the file's name; and no canvas is made before an image needs it, nor for an image whose
// data cannot fill it when such images are refused.
#include <gtest/gtest.h>

#include <string>

#include "codecs/gif/gif_reader.h"
#include "codecs/gif/gif_writer.h"
#include "gif_test_support.h"

namespace genshoku {
namespace {

using giftest::Bytes;
using giftest::CodeStream;
using giftest::FileBuilder;

const Bytes kPalette = giftest::MakePalette(4, 3);

Bytes WrittenFile(int width, int height) {
  const Bytes palette = giftest::MakePalette(256, 1);
  Bytes out;
  auto writer = GifWriter::Create(out, width, height, palette.data(), 8, 0, SilentDiagnostics());
  const Bytes indices = giftest::MakeIndices(size_t(width) * height, 256, 9);
  std::copy(indices.begin(), indices.end(), writer->currentFrame());
  writer->WriteFrame(10);
  writer->Finish();
  return out;
}

struct FirstImage {
  int result = GifReader::kError;
  std::string damage;
  size_t canvas = 0;
};

FirstImage ReadFirst(const Bytes& file, bool refuseDamaged = false) {
  auto reader = GifReader::OpenMemory(file.data(), file.size(), SilentDiagnostics());
  if (!reader) return {};
  reader->RefuseDamagedImages(refuseDamaged);
  FirstImage first;
  first.result = reader->NextImage();
  first.damage = reader->damage();
  first.canvas = reader->screenIndices().capacity();
  return first;
}

TEST(GifDamage, AWholeImageHasNoDamageAndEveryCutIsReported) {
  const Bytes whole = WrittenFile(37, 23);
  EXPECT_EQ(ReadFirst(whole).damage, "");
  EXPECT_EQ(ReadFirst(whole, true).result, GifReader::kImageRead);
  // Past the screen and its table, every cut loses pixels until the image's data end
  // (the bytes of the stop code, the terminator and the trailer may go).
  const size_t header = 13 + 768;
  for (size_t length = header; length + 5 < whole.size(); ++length) {
    const FirstImage cut = ReadFirst(Bytes(whole.begin(), whole.begin() + length));
    EXPECT_FALSE(cut.damage.empty()) << length;
  }
  EXPECT_EQ(ReadFirst(Bytes(whole.begin(), whole.end() - 1)).damage, "") << "no trailer";
}

TEST(GifDamage, DamagedCodesAndMissingImagesAreNamed) {
  // Code 7 is not in a fresh table of minimum size 2 (0-3 colours, 4 clear, 5 stop).
  const Bytes unknownCode =
      FileBuilder(4, 4, kPalette, 1)
          .Image(0, 0, 4, 4, false, CodeStream(2).Clear().Data(1).Data(7).Stop(), 2)
          .Append({0x3B})
          .bytes();
  EXPECT_EQ(ReadFirst(unknownCode).damage, "damaged compressed data");
  const Bytes tooShort = FileBuilder(4, 4, kPalette, 1)
                             .Image(0, 0, 4, 4, false, CodeStream(2).Clear().Data(1).Stop(), 2)
                             .Append({0x3B})
                             .bytes();
  EXPECT_EQ(ReadFirst(tooShort).damage, "the data end before the last row");
  const Bytes noImage = FileBuilder(4, 4, kPalette, 1).Append({0x3B}).bytes();
  const FirstImage none = ReadFirst(noImage);
  EXPECT_EQ(none.result, GifReader::kTrailer);
  EXPECT_EQ(none.damage, "no image data");
  EXPECT_EQ(none.canvas, 0u) << "no canvas for a file without images";
  EXPECT_EQ(ReadFirst(FileBuilder(4, 4, kPalette, 1).bytes()).damage, "no image data");
}

TEST(GifDamage, AnImageItsDataCannotFillIsRefusedBeforeTheCanvas) {
  // A screen of 10000 x 10000 and an image as large with a few hundred bytes of codes.
  CodeStream codes(2);
  codes.Clear();
  for (int i = 0; i < 300; ++i) codes.Data(1);
  const Bytes forged = FileBuilder(10000, 10000, kPalette, 1)
                           .Image(0, 0, 10000, 10000, false, codes.Stop(), 2)
                           .Append({0x3B})
                           .bytes();
  const FirstImage refused = ReadFirst(forged, true);
  EXPECT_EQ(refused.result, GifReader::kError);
  EXPECT_EQ(refused.damage, "the data end before the last row");
  EXPECT_EQ(refused.canvas, 0u);
  // A large screen with a small image is a sound picture of the background.
  const Bytes smallImage =
      FileBuilder(3000, 2000, kPalette, 1)
          .Image(10, 10, 2, 2, false, CodeStream(2).Clear().Data(1).Data(2).Data(3).Data(0).Stop(),
                 2)
          .Append({0x3B})
          .bytes();
  const FirstImage sound = ReadFirst(smallImage, true);
  EXPECT_EQ(sound.result, GifReader::kImageRead);
  EXPECT_EQ(sound.damage, "");
}

TEST(GifDamage, AScreenWithoutPixelsRendersNothing) {
  // Found by fuzzing: the canvas of a 0 x 24 screen is empty, and Render copied from it.
  const Bytes file = FileBuilder(0, 24, kPalette, 1)
                         .Image(0, 0, 2, 2, false, CodeStream(2).Clear().Data(1).Stop(), 2)
                         .bytes();
  auto reader = GifReader::OpenMemory(file.data(), file.size(), SilentDiagnostics());
  ASSERT_NE(reader, nullptr);
  reader->NextImage();
  reader->Render(nullptr);
  EXPECT_TRUE(reader->screenRgb().empty());
}

TEST(GifDamage, OpeningFailuresComeInWordsForAMessage) {
  const auto why = [](const Bytes& bytes) {
    std::string failure;
    CapturedDiagnostics diagnostics;
    EXPECT_EQ(GifReader::OpenMemory(bytes.data(), bytes.size(), diagnostics, &failure), nullptr);
    return failure;
  };
  EXPECT_EQ(why({'P', 'N', 'G'}), "not a GIF file");
  EXPECT_EQ(why({'G', 'I', 'F', '8', '7', 'a', 1, 0, 1, 0, 0x80, 0, 0}), "not a GIF89a file");
  EXPECT_EQ(why({'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x00, 0, 0}),
            "the file has no global colour table");
  EXPECT_EQ(why({'G', 'I', 'F', '8', '9', 'a', 0xFF, 0xFF, 0xFF, 0xFF, 0x80, 0, 0}),
            "the screen of 65535 x 65535 pixels is larger than the program reads");
  std::string failure;
  EXPECT_EQ(GifReader::Open("/no/such/file.gif", SilentDiagnostics(), &failure), nullptr);
  EXPECT_EQ(failure, "cannot open the file");
}

}  // namespace
}  // namespace genshoku
