#pragma once
// The two kinds of deflate block the PNG writer produces: one dynamic-Huffman block per
// unit of rows, and stored blocks as the fallback when compression fails or does not pay.

#include <cstddef>
#include <cstdint>

#include "codecs/png/lz77_tokenizer.h"
#include "codecs/png/zlib_output_buffer.h"

namespace genshoku::png {

// Compresses input[0..length) into one dynamic-Huffman block (BFINAL = last). Returns 1,
// or 0 when a tree cannot be kept within its depth limit or a token is inconsistent; the
// caller then discards what was written by restoring the buffer's saved state. Adler-32
// and the received count cover the input only on success.
int WriteDynamicBlock(ZlibOutputBuffer& buffer, const uint8_t* input, size_t length, int last);

// The same block from the tokens Lz77Tokenize made of input[0..length) beforehand.
int WriteDynamicBlockFromTokens(ZlibOutputBuffer& buffer, const uint8_t* input, size_t length,
                                int last, const Lz77Tokens& tokens);

// Writes input[0..length) as one stored block (BFINAL = final). `length` is at most 32768
// when the PNG writer calls it; stored blocks cannot carry more than 65535 bytes, and a
// longer piece is refused (0).
int WriteStoredBlock(ZlibOutputBuffer& buffer, const uint8_t* input, size_t length, int final);

}  // namespace genshoku::png
