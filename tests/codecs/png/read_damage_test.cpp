// The reader tells a whole picture from one made of damaged data, says what the damage
// is, and reads no more than the picture can use: a forged header, a chunk of a gigabyte
// or gigabytes of junk after the picture cost neither memory nor time.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>

#include "codecs/png/png_streams.h"
#include "codecs/png/raw_png_decoder.h"
#include "support_read_png.h"
#include "tests/common/child_process.h"

namespace genshoku::png {
namespace {

using namespace pngtest;

struct Damage {
  bool hasPicture = false;
  std::string damage;
  size_t pixelCapacity = 0;
};

Damage DecodeForDamage(const Bytes& file, bool refuseDamaged = false) {
  VxRawPngDecoder decoder(SilentDiagnostics());
  decoder.refuseDamaged = refuseDamaged;
  VxPngMemoryStream stream(file.data(), file.size());
  decoder.DecodeStream(stream);
  return {decoder.HasPicture(), decoder.damage, decoder.pixels.capacity()};
}

Bytes RgbFile(uint32_t width, uint32_t height, int interlace = 0) {
  return EncodePng(RandomImage(width, height, 2, 8, 7), {.interlaced = interlace == 1});
}

// The zlib stream of an image whose data ends too early: the whole file but its IDAT's
// data cut to `keep` bytes (the chunk's length says so: the file itself is sound).
Bytes WithImageData(uint32_t width, uint32_t height, const Bytes& data, int interlace = 0) {
  return PngFile(
      {HeaderChunk(width, height, 8, 2, interlace), Chunk("IDAT", data), Chunk("IEND", {})});
}

TEST(PngDamage, AWholePictureHasNoDamageInEveryFormat) {
  int pictures = 0;
  for (const Bytes& file : FilesOfEveryFormat()) {
    const Damage decoded = DecodeForDamage(file, true);
    // (16-bit grey files are not drawn at all.)
    EXPECT_EQ(decoded.hasPicture, DecodeForDamage(file, false).hasPicture);
    EXPECT_EQ(decoded.damage, "");
    pictures += decoded.hasPicture;
  }
  EXPECT_GT(pictures, 500);
}

TEST(PngDamage, EveryCutIsReportedUnlessThePictureIsWhole) {
  const Bytes whole = RgbFile(20, 12);
  const Bytes filtered = FilteredData(RandomImage(20, 12, 2, 8, 7), {});
  for (size_t length = 33; length < whole.size(); ++length) {
    const Damage decoded = DecodeForDamage(Bytes(whole.begin(), whole.begin() + length));
    // A file cut within its end chunk still holds every row; one cut in the checksum of
    // its image data chunk has lost that chunk.
    const bool wholeData = length >= whole.size() - 12;
    EXPECT_EQ(decoded.damage.empty(), wholeData) << length << ": " << decoded.damage;
  }
  // Cut inside the compressed stream, with honest chunk lengths.
  const Bytes compressed = ZlibCompress(filtered, 6);
  for (size_t keep : {size_t{2}, size_t{10}, compressed.size() / 2, compressed.size() * 3 / 4}) {
    const Damage decoded = DecodeForDamage(
        WithImageData(20, 12, Bytes(compressed.begin(), compressed.begin() + keep)));
    EXPECT_TRUE(decoded.hasPicture) << "the window shows what there is";
    EXPECT_EQ(decoded.damage, "the data end before the last row") << keep;
  }
}

TEST(PngDamage, DamagedCompressedDataAreNamed) {
  // A block of the reserved type 3, with plenty of data after it.
  BitWriter bits;
  bits.Bits(1, 1);
  bits.Bits(3, 2);
  for (int i = 0; i < 64; ++i) bits.Bits(0x5A, 8);
  EXPECT_EQ(DecodeForDamage(WithImageData(20, 12, bits.Stream())).damage,
            "damaged compressed data");
  // A copy reaching before the first byte.
  BitWriter far;
  far.Bits(1, 1);
  far.Bits(1, 2);
  far.FixedSymbol(257);  // length 3
  far.Code(29, 5);       // distance code 29: 24577 and more
  far.Bits(0, 13);
  for (int i = 0; i < 64; ++i) far.Bits(0xA5, 8);
  EXPECT_EQ(DecodeForDamage(WithImageData(20, 12, far.Stream())).damage, "damaged compressed data");
  // A wrong compression method in the zlib header.
  EXPECT_EQ(DecodeForDamage(WithImageData(20, 12, Bytes(64, 0x11))).damage,
            "damaged compressed data");
}

TEST(PngDamage, AWholePictureFromAlteredDataIsStillDamaged) {
  // A stored block's byte changed: every row arrives, but the image data chunk's checksum
  // tells the data are not what was written.
  Bytes file = EncodePng(RandomImage(20, 12, 2, 8, 7), {.filter = 0, .zlibLevel = 0});
  file[33 + 8 + 30] ^= 0x10;
  Damage decoded = DecodeForDamage(file);
  EXPECT_TRUE(decoded.hasPicture);
  EXPECT_EQ(decoded.damage, "damaged data (a chunk's checksum does not match)");
  // (Known only once decoded: the reader's caller refuses it.)
  EXPECT_EQ(DecodeForDamage(file, true).damage, decoded.damage);
  // A line filter that does not exist, in a file whose checksums are right.
  Bytes filtered = FilteredData(RandomImage(20, 12, 2, 8, 7), {.filter = 0});
  filtered[61 * 3] = 9;  // the filter byte of line 3
  EXPECT_EQ(DecodeForDamage(WithImageData(20, 12, ZlibCompress(filtered, 6))).damage,
            "damaged image data (line filter 9)");
}

TEST(PngDamage, MissingDataAndUnknownInterlacingAreRefusedBeforeAnyPicture) {
  const Bytes noData = PngFile({HeaderChunk(20, 12, 8, 2, 0), Chunk("IEND", {})});
  EXPECT_EQ(DecodeForDamage(noData).damage, "no image data");
  EXPECT_TRUE(DecodeForDamage(noData).hasPicture) << "the window shows a black picture";
  const Damage refused = DecodeForDamage(noData, true);
  EXPECT_FALSE(refused.hasPicture);
  EXPECT_EQ(refused.damage, "no image data");

  const Bytes filtered = FilteredData(RandomImage(20, 12, 2, 8, 7), {});
  const Bytes interlace7 = WithImageData(20, 12, ZlibCompress(filtered, 6), 7);
  EXPECT_EQ(DecodeForDamage(interlace7).damage, "unknown interlace method 7");
  EXPECT_FALSE(DecodeForDamage(interlace7, true).hasPicture);

  EXPECT_EQ(DecodeForDamage(PngFile({Chunk("IEND", {})})).damage, "no header chunk");
}

TEST(PngDamage, AForgedSizeIsRefusedWithoutSettingMemoryAside) {
  // 10000 x 10000 pixels from 300 bytes of data: no deflate stream makes 300 MB of that.
  const Bytes forged = WithImageData(10000, 10000, ZlibCompress(Bytes(20000, 0), 9));
  const Damage refused = DecodeForDamage(forged, true);
  EXPECT_FALSE(refused.hasPicture);
  EXPECT_EQ(refused.pixelCapacity, 0u);
  EXPECT_EQ(refused.damage, "the data end before the last row");
  // The same size with data that can make it is not refused up front.
  const Bytes plausible = WithImageData(1000, 1000, ZlibCompress(Bytes(3001000, 0), 9));
  EXPECT_TRUE(DecodeForDamage(plausible, true).hasPicture);
}

// A file of `prefix` followed by `zeros` zero bytes that exist only in name: reads past the
// prefix deliver zeros, and the stream counts every byte read or passed over.
class PaddedStream final : public VxPngGenericBinaryStream {
 public:
  PaddedStream(const Bytes& prefix, uint64_t zeros)
      : prefix_(prefix), size_(prefix.size() + zeros) {}
  int64_t TotalSize() override { return static_cast<int64_t>(size_); }
  size_t ReadBytes(uint8_t* buffer, size_t count) override {
    const size_t arrived = static_cast<size_t>(std::min<uint64_t>(count, size_ - position_));
    for (size_t i = 0; i < arrived; ++i, ++position_) {
      buffer[i] = position_ < prefix_.size() ? prefix_[position_] : 0;
    }
    touched_ += arrived;
    return arrived;
  }
  uint64_t touched() const { return touched_; }

 private:
  Bytes prefix_;
  uint64_t size_;
  uint64_t position_ = 0;
  uint64_t touched_ = 0;
};

TEST(PngDamage, JunkAfterThePictureIsNotRead) {
  constexpr uint64_t kTwentyGigabytes = uint64_t{20} << 30;
  Bytes noEnd = RgbFile(30, 20);
  noEnd.resize(noEnd.size() - 12);  // without its end chunk: zeros follow the last data
  for (const Bytes& file : {RgbFile(30, 20), noEnd}) {
    VxRawPngDecoder decoder(SilentDiagnostics());
    PaddedStream stream(file, kTwentyGigabytes);
    decoder.DecodeStream(stream);
    EXPECT_TRUE(decoder.HasPicture());
    EXPECT_EQ(decoder.damage, "");
    EXPECT_LT(stream.touched(), file.size() + 64);
  }
}

TEST(PngDamage, ImageDataBeyondWhatThePictureUsesAreNotRead) {
  // A 16 x 16 picture whose image data chunk claims a gigabyte.
  const Bytes filtered = FilteredData(RandomImage(16, 16, 2, 8, 3), {});
  const Bytes compressed = ZlibCompress(filtered, 6);
  Bytes file = PngFile({HeaderChunk(16, 16, 8, 2, 0)});
  const uint32_t claimed = 1u << 30;
  Append(file, {uint8_t(claimed >> 24), uint8_t(claimed >> 16), uint8_t(claimed >> 8),
                uint8_t(claimed), 'I', 'D', 'A', 'T'});
  Append(file, compressed);
  VxRawPngDecoder decoder(SilentDiagnostics());
  PaddedStream stream(file, claimed);
  decoder.DecodeStream(stream);
  EXPECT_TRUE(decoder.HasPicture());
  EXPECT_EQ(decoder.damage, "");
  EXPECT_LT(stream.touched(), uint64_t{4} << 20) << "a few megabytes at most";
}

TEST(PngDamage, ASparseGigabyteChunkStaysWithinAMemoryCeiling) {
  // The same on a real file, in a child process whose peak memory the system measures.
  const std::string folder = testing::MakeScratchFolder();
  ASSERT_FALSE(folder.empty());
  const std::string path = folder + "/huge-chunk.png";
  const Bytes filtered = FilteredData(RandomImage(16, 16, 2, 8, 3), {});
  Bytes file = PngFile({HeaderChunk(16, 16, 8, 2, 0)});
  const uint32_t claimed = 1u << 30;
  Append(file, {uint8_t(claimed >> 24), uint8_t(claimed >> 16), uint8_t(claimed >> 8),
                uint8_t(claimed), 'I', 'D', 'A', 'T'});
  Append(file, ZlibCompress(filtered, 6));
  const int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(descriptor, 0);
  ASSERT_EQ(::write(descriptor, file.data(), file.size()), ssize_t(file.size()));
  ASSERT_EQ(::ftruncate(descriptor, off_t(file.size()) + claimed + 16), 0);  // sparse
  ::close(descriptor);
  const testing::ChildResult before = testing::RunInChild([] { return std::string(); });
  const testing::ChildResult result = testing::RunInChild([&path] {
    VxRawPngDecoder decoder(SilentDiagnostics());
    if (!decoder.DecodeFile(path) || !decoder.HasPicture()) return std::string("no picture");
    return decoder.damage;
  });
  testing::RemoveFolder(folder);
  EXPECT_EQ(result.outcome, testing::ChildOutcome::Passed) << result.report;
  EXPECT_LT(result.peakKilobytes - before.peakKilobytes, 32 * 1024)
      << "peak " << result.peakKilobytes << " KB, an idle child " << before.peakKilobytes << " KB";
}

}  // namespace
}  // namespace genshoku::png
