#pragma once
// Decompresses the gathered image data of a PNG file (a zlib stream of deflate blocks)
// and hands the bytes, in order, to the decoder. Nothing but the history window is kept
// of the output.
//
// The bytes are handed over in runs rather than one call each: decompressed bytes wait in
// the window until a run is complete (the end of a block, a full window, or the end of
// decoding, whatever the reason). What the decoder sees is still exactly what handing
// over every byte at once would give: the same bytes in the same order, the inflation
// ends at the first byte a Huffman block cannot hand over, and a message about damaged
// data is printed only after every byte before the damage was accepted.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "codecs/png/huffman_tree_node.h"
#include "codecs/png/inflate_bit_reader.h"
#include "common/diagnostics.h"

namespace genshoku::png {

class VxGenericPngDecoder;
class HuffmanDecodeTable;

// How an inflation ended.
enum class InflateOutcome {
  Finished,   // the final block ended properly
  Refused,    // the decoder refused a byte (its picture was complete, or it takes none)
  DataEnded,  // the data ended before the final block did
  Damaged,    // the data break the format's rules (a block type, code or distance that
              // cannot be, a wrong zlib header)
};

class PngInflater {
 public:
  PngInflater(VxGenericPngDecoder& decoder, Diagnostics& diagnostics);

  // True when the final block ended properly. On false the decoder keeps every byte it
  // received until the failure. Never reads outside [data, data + length).
  bool Inflate(const uint8_t* data, size_t length);

  // How the last Inflate ended.
  InflateOutcome outcome() const { return outcome_; }

 private:
  bool InflateStoredBlock();
  bool InflateHuffmanBlock(const HuffmanDecodeTable& literals, const HuffmanDecodeTable* distances);
  bool InflateFixedBlock();
  bool InflateDynamicBlock();
  // Hands over the bytes waiting in the window; false if the decoder refused one.
  bool HandOver();
  // Ends a Huffman block on damaged data: the bytes before the damage are handed over
  // first, and the message (if any) is printed only if they were all accepted.
  bool FailAfterHandOver(const char* message);
  InflateOutcome ClassifyEnd(bool finished) const;

  VxGenericPngDecoder& decoder_;
  Diagnostics& diagnostics_;
  InflateBitReader bits_{nullptr, 0, 0};
  std::vector<uint8_t> window_;
  size_t windowMask_ = 0;
  size_t windowPosition_ = 0;
  size_t waiting_ = 0;  // bytes before windowPosition_ not handed over yet
  uint64_t produced_ = 0;
  bool refused_ = false;
  InflateOutcome outcome_ = InflateOutcome::Finished;
};

}  // namespace genshoku::png
