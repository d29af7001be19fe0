#pragma once
// The writer's LZ77 stage as it was first written: every chain node compared byte by
// byte. The tests keep it as the reference that the faster search must match token for
// token.

#include <cstddef>
#include <cstdint>

#include "codecs/png/lz77_tokenizer.h"

namespace genshoku::png::literal {

void LiteralLz77Tokenize(const uint8_t* input, size_t length, Lz77Tokens& tokens);

}  // namespace genshoku::png::literal
