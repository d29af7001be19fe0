// The extension blocks a GIF file may carry between its images. Only the graphic control
// extension and the NETSCAPE looping extension change what the reader does; the others
// are skipped.

#include <cstring>

#include "codecs/gif/gif_reader.h"
#include "codecs/gif/sub_block_reader.h"

namespace genshoku {

namespace {

constexpr uint8_t kGraphicControlLabel = 0xF9;
constexpr uint8_t kPlainTextLabel = 0x01;
constexpr uint8_t kCommentLabel = 0xFE;
constexpr uint8_t kApplicationLabel = 0xFF;

// Block size byte and the 12-byte text grid description before the text's sub-blocks.
constexpr int kPlainTextHeaderSize = 13;

}  // namespace

void GifReader::ReadExtension() {
  uint8_t label = 0;
  if (!file_->ReadByte(label)) return;
  switch (label) {
    case kGraphicControlLabel: ReadGraphicControl(); break;
    case kPlainTextLabel:
      file_->Skip(kPlainTextHeaderSize);
      gif::SkipSubBlocks(*file_);
      break;
    case kCommentLabel: gif::SkipSubBlocks(*file_); break;
    case kApplicationLabel: ReadApplication(); break;
    default:
      // The extension's bytes are left where they are: reading goes on with its first data
      // byte, which rarely introduces a block, so such a file usually stops here.
      diagnostics_.Err("unknown extension: %02X\n", label);
      break;
  }
}

void GifReader::ReadGraphicControl() {
  file_->Skip(1);          // block size
  uint8_t fields[4] = {};  // packed byte, delay (2), transparent index
  if (file_->Read(fields, sizeof fields) != sizeof fields) return;
  disposalMethod_ = (fields[0] >> 2) & 3;
  userInputFlag_ = fields[0] & 2;
  transparencyFlag_ = fields[0] & 1;
  delayTime_ = static_cast<uint16_t>(fields[1] | fields[2] << 8);
  transparentIndex_ = fields[3];
  file_->Skip(1);  // block terminator
}

void GifReader::ReadApplication() {
  file_->Skip(1);                   // block size
  uint8_t identification[11] = {};  // identifier (8) and authentication code (3)
  file_->Read(identification, sizeof identification);
  if (std::memcmp(identification, "NETSCAPE", 8) != 0) {
    gif::SkipSubBlocks(*file_);
    return;
  }
  file_->Skip(2);  // sub-block length and sub-block number
  uint8_t count[2];
  if (file_->Read(count, 2) != 2) return;
  repeatCount_ = static_cast<uint16_t>(count[0] | count[1] << 8);
  file_->Skip(1);  // block terminator
}

}  // namespace genshoku
