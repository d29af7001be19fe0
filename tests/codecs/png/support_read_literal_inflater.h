#pragma once
// The reader's inflate as it was first written, bit by bit through a tree of nodes, one
// ConsumeByte call per decompressed byte. The tests keep it as the reference that the
// table-driven inflater must match byte for byte, message for message, on any data.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "codecs/png/huffman_tree_node.h"
#include "codecs/png/png_decoder.h"
#include "common/diagnostics.h"

namespace genshoku::png::literal {

// Inflates like the reader, handing every byte to decoder.ConsumeByte.
bool LiteralInflate(VxGenericPngDecoder& decoder, Diagnostics& diagnostics, const uint8_t* data,
                    size_t length);

}  // namespace genshoku::png::literal
