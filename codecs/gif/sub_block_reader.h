#pragma once
// GIF data travels in sub-blocks: a length byte (1 to 255) followed by that many bytes; a
// length byte 0 ends the run. These helpers skip such runs and read LZW codes from them.

#include <cstdint>

#include "codecs/gif/byte_source.h"

namespace genshoku::gif {

// Reads length bytes and seeks over the sub-blocks they announce, until a length 0 has been
// read or the source ends.
void SkipSubBlocks(ByteSource& source);

// Reads codes of a given width, least significant bit first, across byte and sub-block
// boundaries. A byte is fetched only when the code being read needs it. The data end at
// the zero-length sub-block or at the end of the source, whichever comes first; nothing
// past that is read.
class CodeReader {
 public:
  explicit CodeReader(ByteSource& source) : source_(source) {}

  // False when the data ended before `bits` more bits arrived.
  bool ReadCode(int bits, uint16_t& code);

 private:
  bool NextByte(uint8_t& byte);

  ByteSource& source_;
  uint32_t bitBuffer_ = 0;  // bits fetched but not yet handed out, lowest first
  int bitsBuffered_ = 0;
  unsigned subBlockLeft_ = 0;  // bytes of the current sub-block not yet fetched
  bool ended_ = false;
};

}  // namespace genshoku::gif
