#include "support_png.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>

namespace genshoku::png::pngtest {

uint64_t TestRandom::Next() {
  state_ ^= state_ >> 12;
  state_ ^= state_ << 25;
  state_ ^= state_ >> 27;
  return state_ * 0x2545F4914F6CDD1Dull;
}

Bytes RandomBytes(size_t count, uint64_t seed) {
  TestRandom random(seed);
  Bytes bytes(count);
  for (uint8_t& byte : bytes) byte = static_cast<uint8_t>(random.Next() >> 56);
  return bytes;
}

Bytes ZlibCompress(const Bytes& data, int level, int strategy) {
  z_stream stream{};
  if (deflateInit2(&stream, level, Z_DEFLATED, 15, 8, strategy) != Z_OK) std::abort();
  Bytes out(deflateBound(&stream, data.size()));
  stream.next_in = const_cast<uint8_t*>(data.data());
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = out.data();
  stream.avail_out = static_cast<uInt>(out.size());
  if (deflate(&stream, Z_FINISH) != Z_STREAM_END) std::abort();
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

bool ZlibInflate(const Bytes& input, Bytes& out, std::string* error, bool raw) {
  out.clear();
  z_stream stream{};
  if (inflateInit2(&stream, raw ? -15 : 15) != Z_OK) return false;
  stream.next_in = const_cast<Bytef*>(input.data());
  stream.avail_in = static_cast<uInt>(input.size());
  Bytes piece(1 << 16);
  int status = Z_OK;
  while (status == Z_OK) {
    stream.next_out = piece.data();
    stream.avail_out = static_cast<uInt>(piece.size());
    status = inflate(&stream, Z_NO_FLUSH);
    out.insert(out.end(), piece.data(), piece.data() + (piece.size() - stream.avail_out));
    if (status == Z_BUF_ERROR && stream.avail_in == 0) break;
  }
  const bool ended = status == Z_STREAM_END && stream.avail_in == 0;
  if (!ended && error) {
    *error =
        stream.msg ? stream.msg : (status == Z_STREAM_END ? "bytes after the end" : "truncated");
  }
  inflateEnd(&stream);
  return ended;
}

namespace {

void PutBigEndian32(Bytes& to, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) to.push_back(static_cast<uint8_t>(value >> shift));
}

}  // namespace

Bytes Signature() { return {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}; }

Bytes PngFile(const std::vector<Bytes>& chunks) {
  Bytes file = Signature();
  for (const Bytes& chunk : chunks) Append(file, chunk);
  return file;
}

Bytes Chunk(const std::string& type, const Bytes& data) {
  Bytes out;
  PutBigEndian32(out, static_cast<uint32_t>(data.size()));
  out.insert(out.end(), type.begin(), type.end());
  out.insert(out.end(), data.begin(), data.end());
  PutBigEndian32(
      out, static_cast<uint32_t>(crc32(0, out.data() + 4, static_cast<uInt>(data.size() + 4))));
  return out;
}

Bytes HeaderChunk(uint32_t width, uint32_t height, int bitDepth, int colorType, int interlace) {
  Bytes data;
  PutBigEndian32(data, width);
  PutBigEndian32(data, height);
  for (int value : {bitDepth, colorType, 0, 0, interlace})
    data.push_back(static_cast<uint8_t>(value));
  return Chunk("IHDR", data);
}

void Append(Bytes& to, const Bytes& what) { to.insert(to.end(), what.begin(), what.end()); }

uint64_t Fnv1a64(const Bytes& bytes) {
  uint64_t hash = 0xCBF29CE484222325ull;
  for (uint8_t byte : bytes) {
    hash ^= byte;
    hash *= 0x100000001B3ull;
  }
  return hash;
}

uint64_t Fnv1a64(const std::string& text) { return Fnv1a64(Bytes(text.begin(), text.end())); }

std::vector<std::string> LinesOf(const CapturedDiagnostics& diagnostics, DiagnosticStream stream) {
  std::vector<std::string> lines;
  const std::string text = diagnostics.Text(stream);
  for (size_t start = 0; start < text.size();) {
    const size_t end = std::min(text.find('\n', start), text.size());
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

std::vector<std::string> WithPrefix(const std::vector<std::string>& lines,
                                    const std::string& prefix) {
  std::vector<std::string> found;
  for (const std::string& line : lines) {
    if (line.rfind(prefix, 0) == 0) found.push_back(line);
  }
  return found;
}

}  // namespace genshoku::png::pngtest
