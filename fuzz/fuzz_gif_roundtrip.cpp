// libFuzzer round trip for GIF: frames made from the fuzz input go through the GIF writer
// into memory and back through the GIF reader, which must give exactly the indices and
// colours that were written, frame after frame. Any difference aborts, so libFuzzer keeps
// the input.
//
// Input: two width bytes, two height bytes, a depth byte, a frame-count byte, then the
// palette bytes and the indices of every frame (repeating the input as needed).

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "codecs/gif/gif_reader.h"
#include "codecs/gif/gif_writer.h"
#include "common/diagnostics.h"
#include "fuzz_input_bytes.h"

namespace {

constexpr int kMostFrames = 3;

[[noreturn]] void Mismatch(const char* what, int frame, size_t at) {
  std::fprintf(stderr, "GIF round trip: %s differs in frame %d at %zu\n", what, frame, at);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  genshoku::fuzzing::InputBytes input(data, size);
  const uint8_t widthLow = input.Header();
  const int widthBytes = widthLow | input.Header() << 8;
  const uint8_t heightLow = input.Header();
  const int heightBytes = heightLow | input.Header() << 8;
  const uint8_t depthByte = input.Header();
  const uint8_t frameByte = input.Header();
  const int depth = 1 + depthByte % 8;
  // Most pictures are small, for speed; one in four is large enough to fill the code
  // table several times over.
  const bool large = (depthByte & 0xC0) == 0xC0;
  const int width = 1 + widthBytes % (large ? 400 : 40);
  const int height = 1 + heightBytes % (large ? 160 : 30);
  const int frames = 1 + frameByte % kMostFrames;
  // Some frames repeat the one before, so that the writer's difference rectangle shrinks
  // to nothing, or differ in a few pixels only.
  const bool sparseChanges = (frameByte & 0x80) != 0;
  input.EndHeader();

  const size_t tableEntries = size_t(1) << depth;
  std::vector<uint8_t> palette(3 * tableEntries);
  for (uint8_t& byte : palette) byte = input.Next();

  genshoku::Diagnostics& quiet = genshoku::SilentDiagnostics();
  std::vector<uint8_t> file;
  auto writer = genshoku::GifWriter::Create(file, width, height, palette.data(), depth, 0, quiet);
  if (!writer) Mismatch("creating the writer", 0, 0);

  const size_t count = size_t(width) * height;
  const uint8_t mask = uint8_t(tableEntries - 1);
  std::vector<std::vector<uint8_t>> written;
  std::vector<uint8_t> frame(count, 0);
  for (int f = 0; f < frames; ++f) {
    if (f == 0 || !sparseChanges) {
      for (uint8_t& index : frame) index = input.Next() & mask;
    } else {
      const int changes = input.Next() % 4;
      for (int c = 0; c < changes; ++c) {
        const size_t high = input.Next();
        const size_t at = (high << 8 | input.Next()) % count;
        frame[at] = input.Next() & mask;
      }
    }
    std::memcpy(writer->currentFrame(), frame.data(), count);
    if (!writer->WriteFrame(uint16_t(f % 2 == 0 ? 10 : 0))) Mismatch("writing", f, 0);
    written.push_back(frame);
  }
  if (!writer->Finish()) Mismatch("finishing", frames, 0);

  auto reader = genshoku::GifReader::OpenMemory(file.data(), file.size(), quiet);
  if (!reader) Mismatch("opening", 0, 0);
  if (reader->width() != width || reader->height() != height) Mismatch("the size", 0, 0);
  std::vector<uint8_t> rgb(count * 3);
  for (int f = 0; f < frames; ++f) {
    if (reader->NextImage() != genshoku::GifReader::kImageRead) Mismatch("reading", f, 0);
    const std::vector<uint8_t>& indices = reader->screenIndices();
    if (indices.size() != count) Mismatch("the index count", f, indices.size());
    for (size_t i = 0; i < count; ++i) {
      if (indices[i] != written[f][i]) Mismatch("an index", f, i);
    }
    reader->Render(rgb.data());
    for (size_t i = 0; i < count; ++i) {
      if (std::memcmp(&rgb[3 * i], &palette[3 * written[f][i]], 3) != 0) {
        Mismatch("a colour", f, i);
      }
    }
  }
  if (reader->NextImage() != genshoku::GifReader::kTrailer) Mismatch("the trailer", frames, 0);
  return 0;
}
