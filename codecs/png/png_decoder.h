#pragma once
// The frame of the PNG reader: checks the signature, walks the chunks, keeps what the
// header, palette, transparency and gamma chunks say, gathers the image data and inflates
// it. Every decompressed byte goes to ConsumeByte; subclasses override the three steps
// to make a picture out of them (VxRawPngDecoder).

#include <cstdint>
#include <string>
#include <vector>

#include "codecs/png/png_streams.h"
#include "common/diagnostics.h"

namespace genshoku::png {
class PngChunkReader;
enum class InflateOutcome;
}  // namespace genshoku::png

namespace genshoku::png {

// A transparentValue the file did not give.
inline constexpr int32_t kNoTransparentValue = 0x7FFFFFFF;

class VxGenericPngDecoder {
 public:
  explicit VxGenericPngDecoder(Diagnostics& diagnostics = StandardDiagnostics());
  virtual ~VxGenericPngDecoder() = default;
  VxGenericPngDecoder(const VxGenericPngDecoder&) = delete;
  VxGenericPngDecoder& operator=(const VxGenericPngDecoder&) = delete;

  // Opens `path` and decodes it; false when the file cannot be opened, otherwise what
  // DecodeStream says.
  bool DecodeFile(const std::string& path);

  // False when the signature is missing or a palette chunk has a length that is not a
  // multiple of 3. Otherwise true, even when the picture could not be made (unsupported
  // format, no header chunk, damaged data): the subclass tells whether it has a picture.
  bool DecodeStream(VxPngGenericBinaryStream& stream);

  // The steps a subclass overrides. BeginImage runs once the chunks are read and only when
  // a header chunk was among them; false skips the data. ConsumeByte receives every
  // decompressed byte; false refuses it. The base versions accept everything.
  virtual bool BeginImage() { return true; }
  virtual bool ConsumeByte(uint8_t /*byte*/) { return true; }
  virtual bool EndImage() { return true; }

  // Hands a run of decompressed bytes over in order, as ConsumeByte would one by one,
  // and stops at the first byte refused. Returns how many bytes were accepted before that
  // one (`count` when none was refused). This version calls ConsumeByte for every byte; a
  // subclass may take whole runs at once, as long as it answers exactly as its byte by
  // byte ConsumeByte would.
  virtual size_t ConsumeBytes(const uint8_t* bytes, size_t count);

  // What the chunks said; reset at the start of every DecodeStream. The header values
  // mean something only when hasHeader is set.
  bool hasHeader = false;
  uint32_t width = 0;
  uint32_t height = 0;
  int32_t bitDepth = 0;
  int32_t colorType = 0;
  int32_t compressionMethod = 0;
  int32_t filterMethod = 0;
  int32_t interlaceMethod = 0;
  int32_t paletteCount = 0;
  std::vector<uint8_t> paletteData;  // red, green, blue per entry
  // The transparency chunk: for grey and truecolour pictures the key's samples; for palette
  // pictures the first three alphas (as the window kept them), and all of them in
  // paletteAlpha.
  int32_t transparentValue[3];
  std::vector<uint8_t> paletteAlpha;  // alpha per palette entry, as many as the chunk holds
  int32_t gamma = 0;

  // After DecodeStream: what is wrong with the file when its data could not make the
  // whole picture, in a few words ("the data end before the last row", "damaged
  // compressed data", "no image data", "unknown interlace method 7", ...); empty when
  // nothing is. A picture made of damaged data holds what was decoded.
  std::string damage;

  // When set, a file whose data certainly cannot make the whole picture (no data at all,
  // far too few for its size, an unknown interlace method) gets no picture at all, and
  // nothing is set aside for one; `damage` says why. Otherwise such a file is decoded as
  // far as it goes.
  bool refuseDamaged = false;

 protected:
  Diagnostics& diagnostics() { return diagnostics_; }
  // Called as every DecodeStream starts, so that a picture of an earlier file does not
  // pass for one of this file.
  virtual void ForgetImage() {}
  // The most compressed bytes worth keeping: more cannot change the picture. This version
  // bounds them by the header's picture size; 0 before a header.
  virtual uint64_t ImageDataLimit() const;
  // Whether the picture received every byte it needs. This version has no picture.
  virtual bool ImageComplete() const { return true; }
  // What is wrong with a complete picture's data, if anything (a line filter that does not
  // exist, ...).
  virtual std::string ImageFlaw() const { return {}; }
  // The bits of one pixel by the header, 0 for an unknown colour type or bit depth.
  uint64_t BitsPerPixel() const;
  // Generous bounds of the compressed size of a picture of `rows` rows of `rowBytes`.
  static uint64_t CompressedLimit(uint64_t rows, uint64_t rowBytes);

 private:
  bool ReadChunks(PngChunkReader& reader, std::vector<uint8_t>& imageData);
  void ReserveImageData(const PngChunkReader& reader, uint64_t limit,
                        std::vector<uint8_t>& imageData);
  bool DataCanMakeThePicture(size_t compressedBytes);
  uint64_t MinimumRawBytes() const;
  void NoteDamage(bool noData, InflateOutcome outcome);
  void ResetChunkValues();
  void TakeHeader(const std::vector<uint8_t>& data);
  void TakeTransparency(const std::vector<uint8_t>& data);

  Diagnostics& diagnostics_;
  bool imageDataCut_ = false;      // an image data chunk was cut short by the end of the file
  bool checksumMismatch_ = false;  // a header, palette or image data chunk's CRC was wrong
};

}  // namespace genshoku::png
