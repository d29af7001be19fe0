#include "codecs/png/adler32.h"
#include "codecs/png/deflate_blocks.h"

namespace genshoku::png {

namespace {

constexpr size_t kLargestStoredBlock = 65535;

}  // namespace

int WriteStoredBlock(ZlibOutputBuffer& buffer, const uint8_t* input, size_t length, int final) {
  if (length > kLargestStoredBlock) return 0;
  const int n = static_cast<int>(length);
  buffer.receivedCount += n;
  if (buffer.verbose) buffer.diagnostics().Out("zLib Block nByte=%d bFinal=%d\n", n, final);
  buffer.WriteBits(final ? 1u : 0u, 3);  // BFINAL, then BTYPE 00
  buffer.ClosePartialByte();
  const uint32_t complement = ~static_cast<uint32_t>(n);
  buffer.WriteByte(static_cast<uint8_t>(n & 0xFF));
  buffer.WriteByte(static_cast<uint8_t>((n >> 8) & 0xFF));
  buffer.WriteByte(static_cast<uint8_t>(complement & 0xFF));
  buffer.WriteByte(static_cast<uint8_t>((complement >> 8) & 0xFF));
  if (buffer.verbose) {
    buffer.diagnostics().Out("BufPtr=%d BufBit=%d\n", static_cast<int>(buffer.BufPtr),
                             static_cast<int>(buffer.BufBit));
  }
  buffer.WriteBytes(input, length);
  UpdateAdler32(buffer.s1, buffer.s2, input, length);
  return 1;
}

}  // namespace genshoku::png
