#include "codecs/png/png_encoder_stream.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <thread>

#include "codecs/png/deflate_blocks.h"
#include "codecs/png/png_unit_pipeline.h"
#include "codecs/png/zlib_output_buffer.h"

namespace genshoku::png {

namespace {

constexpr int kSmallestWindowExponent = 8;
constexpr int kLargestWindowExponent = 15;

// Writes CMF and FLG. The window is the smallest power of two from 256 to 32768 that
// covers the whole filtered image, since no copy can reach further back than that.
void WriteZlibHeader(ZlibOutputBuffer& buffer, int64_t expected) {
  Diagnostics& diagnostics = buffer.diagnostics();
  uint32_t windowSize = 1u << kSmallestWindowExponent;
  int exponent = kSmallestWindowExponent;
  while (windowSize < expected && exponent < kLargestWindowExponent) {
    windowSize *= 2;
    ++exponent;
  }
  buffer.windowSize = windowSize;
  diagnostics.Out("Compression Window Size=%d\n", static_cast<int>(windowSize));

  const uint32_t cmf = static_cast<uint32_t>(exponent - 8) * 16 + 8;  // deflate
  // FLEVEL 2, no preset dictionary, and the check bits that make CMF·256 + FLG a
  // multiple of 31.
  uint32_t flg = 0;
  bool found = false;
  for (uint32_t candidate = 128; candidate <= 159; ++candidate) {
    if ((cmf * 256 + candidate) % 31 == 0) {
      flg = candidate;
      found = true;
      break;
    }
  }
  buffer.WriteByte(static_cast<uint8_t>(cmf));
  buffer.ResetChecksum();
  if (!found) diagnostics.Out("Unable to make legitimate FCHECK value.\n");
  buffer.WriteByte(static_cast<uint8_t>(flg));
}

void WriteStoredPieces(ZlibOutputBuffer& buffer, const uint8_t* unit, size_t size, int last) {
  for (size_t offset = 0; offset < size; offset += kStoredPieceSize) {
    const size_t piece = std::min(kStoredPieceSize, size - offset);
    const int final = (last && offset + piece == size) ? 1 : 0;
    WriteStoredBlock(buffer, unit + offset, piece, final);
  }
}

// One unit of rows: a dynamic block unless it fails or grows beyond 105 % of the unit,
// in which case the buffer is put back as it was and the unit goes out stored. `tokens`
// are the unit's LZ77 tokens when they were made ahead, or null.
void WriteUnit(ZlibOutputBuffer& buffer, const uint8_t* unit, size_t size, int last,
               const PngStreamOptions& options, const Lz77Tokens* tokens) {
  const ZlibOutputBuffer::SavedState saved = buffer.SaveState();
  bool store = options.storeOnly != 0;
  if (!store) {
    const int written = tokens ? WriteDynamicBlockFromTokens(buffer, unit, size, last, *tokens)
                               : WriteDynamicBlock(buffer, unit, size, last);
    if (written) {
      const uint64_t limit = static_cast<uint64_t>(size) * 105 / 100;
      store = buffer.BytesWrittenSince(saved) > limit;
    } else {
      store = true;
    }
  }
  if (!store) return;
  buffer.RestoreState(saved);
  WriteStoredPieces(buffer, unit, size, last);
}

// Whether the units' tokens are made ahead on a second thread: only for large pictures,
// where tokenizing takes long enough to pay for a thread, and never when nothing is
// tokenized.
bool TokenizeAhead(const PngStreamOptions& options, int64_t height, int64_t expected) {
  if (options.storeOnly || height <= kRowsPerUnit) return false;
  if (options.threads == 1) return false;
  if (options.threads == 0) {
    return expected >= kTokenizeAheadBytes && std::thread::hardware_concurrency() >= 2;
  }
  return true;
}

}  // namespace

std::vector<uint8_t> BuildPngZlibStream(const uint8_t* rows, int64_t height, int64_t bytesPerRow,
                                        const PngStreamOptions& options, Diagnostics& diagnostics) {
  const int64_t rowSize = bytesPerRow + 1;
  const int64_t expected = height * rowSize;
  ZlibOutputBuffer buffer(diagnostics);
  buffer.verbose = 1;
  buffer.expectedCount = expected;
  WriteZlibHeader(buffer, expected);

  if (options.lineReport) diagnostics.Out("nLinePerUnit=%d\n", kRowsPerUnit);
  std::unique_ptr<PngUnitPipeline> pipeline;
  if (TokenizeAhead(options, height, expected)) {
    pipeline = std::make_unique<PngUnitPipeline>(rows, height, bytesPerRow, kRowsPerUnit);
    if (!pipeline->Start()) pipeline.reset();
  }
  std::vector<uint8_t> unit;
  for (int64_t y = 0; y < height; y += kRowsPerUnit) {
    const int64_t lines = std::min<int64_t>(kRowsPerUnit, height - y);
    if (options.lineReport) diagnostics.Out("Y=%d\n", static_cast<int>(y));
    const int last = (y + kRowsPerUnit >= height) ? 1 : 0;
    if (pipeline) {
      const PreparedUnit& prepared = pipeline->Take();
      WriteUnit(buffer, prepared.bytes.data(), prepared.bytes.size(), last, options,
                &prepared.tokens);
      pipeline->Release();
    } else {
      FillUnitBytes(rows, y, lines, bytesPerRow, unit);
      WriteUnit(buffer, unit.data(), unit.size(), last, options, nullptr);
    }
  }
  pipeline.reset();

  const uint32_t adler = buffer.Adler32();
  diagnostics.Out("Check Sum=%08x\n", adler);
  diagnostics.Out("Received=%d Expected=%d\n", static_cast<int>(buffer.receivedCount),
                  static_cast<int>(expected));
  buffer.ClosePartialByte();
  for (int shift = 24; shift >= 0; shift -= 8) {
    buffer.WriteByte(static_cast<uint8_t>(adler >> shift));
  }
  return buffer.TakeStream();
}

}  // namespace genshoku::png
