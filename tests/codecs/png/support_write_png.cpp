#include "support_write_png.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace genshoku::png::write_support {

namespace {

uint32_t BigEndian32(const uint8_t* bytes) {
  return (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) |
         uint32_t{bytes[3]};
}

bool RunInflate(const std::vector<uint8_t>& input, int windowBits, std::vector<uint8_t>& out,
                std::string* error) {
  out.clear();
  z_stream stream{};
  if (inflateInit2(&stream, windowBits) != Z_OK) return false;
  stream.next_in = const_cast<Bytef*>(input.data());
  stream.avail_in = static_cast<uInt>(input.size());
  std::vector<uint8_t> piece(1 << 16);
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
    *error = stream.msg ? stream.msg : (status == Z_STREAM_END ? "bytes after the end" : "truncated");
  }
  inflateEnd(&stream);
  return ended;
}

}  // namespace

bool SplitChunks(const std::vector<uint8_t>& png, std::vector<Chunk>& chunks) {
  static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  chunks.clear();
  if (png.size() < 8 || std::memcmp(png.data(), kSignature, 8) != 0) return false;
  size_t at = 8;
  while (at < png.size()) {
    if (png.size() - at < 12) return false;
    const uint32_t length = BigEndian32(&png[at]);
    if (png.size() - at - 12 < length) return false;
    Chunk chunk;
    chunk.type.assign(reinterpret_cast<const char*>(&png[at + 4]), 4);
    chunk.data.assign(png.begin() + static_cast<std::ptrdiff_t>(at + 8),
                      png.begin() + static_cast<std::ptrdiff_t>(at + 8 + length));
    chunk.storedCrc = BigEndian32(&png[at + 8 + length]);
    chunk.zlibCrc = static_cast<uint32_t>(crc32(0, &png[at + 4], length + 4));
    chunks.push_back(std::move(chunk));
    at += 12 + length;
  }
  return true;
}

bool ZlibInflate(const std::vector<uint8_t>& stream, std::vector<uint8_t>& out,
                 std::string* error) {
  return RunInflate(stream, 15, out, error);
}

bool RawInflate(const std::vector<uint8_t>& deflate, std::vector<uint8_t>& out,
                std::string* error) {
  return RunInflate(deflate, -15, out, error);
}

DecodedPng DecodeWithZlib(const std::vector<uint8_t>& png) {
  DecodedPng decoded;
  std::vector<Chunk> chunks;
  if (!SplitChunks(png, chunks)) {
    decoded.problem = "broken chunk framing";
    return decoded;
  }
  for (const Chunk& chunk : chunks) {
    decoded.chunkTypes.push_back(chunk.type);
    if (chunk.storedCrc != chunk.zlibCrc) {
      decoded.problem = "CRC mismatch in " + chunk.type;
      return decoded;
    }
    if (chunk.type == "IHDR" && chunk.data.size() == 13) {
      decoded.width = BigEndian32(&chunk.data[0]);
      decoded.height = BigEndian32(&chunk.data[4]);
      decoded.bitDepth = chunk.data[8];
      decoded.colorType = chunk.data[9];
    } else if (chunk.type == "PLTE") {
      decoded.palette = chunk.data;
    } else if (chunk.type == "IDAT") {
      decoded.zlibStream.insert(decoded.zlibStream.end(), chunk.data.begin(), chunk.data.end());
    }
  }
  std::vector<uint8_t> filtered;
  std::string error;
  if (!ZlibInflate(decoded.zlibStream, filtered, &error)) {
    decoded.problem = "zlib: " + error;
    return decoded;
  }
  const size_t rowBytes = decoded.width;  // palette pictures: one index per byte
  if (decoded.colorType != 3 || decoded.bitDepth != 8) {
    decoded.pixels = filtered;
    decoded.ok = true;
    return decoded;
  }
  if (filtered.size() != decoded.height * (rowBytes + 1)) {
    decoded.problem = "inflated size " + std::to_string(filtered.size());
    return decoded;
  }
  for (size_t row = 0; row < decoded.height; ++row) {
    const uint8_t* line = &filtered[row * (rowBytes + 1)];
    if (line[0] != 0) {
      decoded.problem = "filter byte " + std::to_string(line[0]) + " in row " + std::to_string(row);
      return decoded;
    }
    decoded.pixels.insert(decoded.pixels.end(), line + 1, line + 1 + rowBytes);
  }
  decoded.ok = true;
  return decoded;
}

uint64_t TestRandom::Next() {
  state_ ^= state_ >> 12;
  state_ ^= state_ << 25;
  state_ ^= state_ >> 27;
  return state_ * 0x2545F4914F6CDD1Dull;
}

std::vector<uint8_t> RandomBytes(size_t count, uint64_t seed) {
  TestRandom random(seed);
  std::vector<uint8_t> bytes(count);
  for (uint8_t& byte : bytes) byte = static_cast<uint8_t>(random.Next() >> 56);
  return bytes;
}

std::vector<uint8_t> GradientIndexPicture(int width, int height, uint64_t seed) {
  TestRandom random(seed);
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * static_cast<size_t>(height));
  const int span = width + height;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      // 40 grades across the picture, each a small cluster of palette entries, with
      // neighbours spilling into the next grade as dithering would.
      const int grade = (x + y) * 40 / span;
      const uint32_t noise = random.Below(8);
      int index = grade * 6 + (noise < 5 ? 0 : static_cast<int>(noise - 4));
      if (noise == 7) index += 6;
      pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] =
          static_cast<uint8_t>(index & 0xFF);
    }
  }
  return pixels;
}

namespace {

// A triangle wave over 0..255 with the given period.
int Triangle(int value, int period) {
  const int phase = ((value % period) + period) % period;
  return std::abs(phase - period / 2) * 510 / period;
}

uint8_t ClampToByte(int value) { return static_cast<uint8_t>(std::clamp(value, 0, 255)); }

}  // namespace

std::vector<uint8_t> PhotoLikeRgb(int width, int height, uint64_t seed) {
  TestRandom random(seed);
  std::vector<uint8_t> rgb(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
  size_t at = 0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const int grain = static_cast<int>(random.Below(9)) - 4;
      const int red = x * 170 / width + Triangle(x + y, 700) / 5 + grain + 20;
      const int green = y * 150 / height + Triangle(2 * x - y, 900) / 4 + grain + 10;
      const int blue = 230 - (x + y) * 140 / (width + height) + Triangle(3 * y + x, 1300) / 6 +
                       (grain * 3) / 2;
      rgb[at++] = ClampToByte(red);
      rgb[at++] = ClampToByte(green);
      rgb[at++] = ClampToByte(blue);
    }
  }
  return rgb;
}

std::vector<uint8_t> DitherTo332(const std::vector<uint8_t>& rgb, int width, int height) {
  static constexpr int kLevels[3] = {8, 8, 4};
  static constexpr int kShifts[3] = {5, 2, 0};
  std::vector<uint8_t> indices(static_cast<size_t>(width) * static_cast<size_t>(height));
  // Errors of the current and the next row, with a spare column on either side.
  std::vector<int> current((static_cast<size_t>(width) + 2) * 3, 0);
  std::vector<int> next(current.size(), 0);
  for (int y = 0; y < height; ++y) {
    std::fill(next.begin(), next.end(), 0);
    for (int x = 0; x < width; ++x) {
      const size_t pixel = static_cast<size_t>(y) * static_cast<size_t>(width) + x;
      int index = 0;
      for (int c = 0; c < 3; ++c) {
        const size_t slot = (static_cast<size_t>(x) + 1) * 3 + c;
        const int wanted = std::clamp(rgb[pixel * 3 + c] + current[slot] / 16, 0, 255);
        const int top = kLevels[c] - 1;
        const int level = (wanted * top + 127) / 255;
        const int error = wanted - level * 255 / top;
        current[slot + 3] += error * 7;
        next[slot - 3] += error * 3;
        next[slot] += error * 5;
        next[slot + 3] += error;
        index |= level << kShifts[c];
      }
      indices[pixel] = static_cast<uint8_t>(index);
    }
    std::swap(current, next);
  }
  return indices;
}

std::vector<uint8_t> TestPalette() {
  std::vector<uint8_t> palette(256 * 3);
  for (int i = 0; i < 256; ++i) {
    palette[i * 3] = static_cast<uint8_t>(i);
    palette[i * 3 + 1] = static_cast<uint8_t>(255 - i);
    palette[i * 3 + 2] = static_cast<uint8_t>((i * 37) & 0xFF);
  }
  return palette;
}

uint64_t Fnv1a64(const std::vector<uint8_t>& bytes) {
  uint64_t hash = 0xCBF29CE484222325ull;
  for (uint8_t byte : bytes) {
    hash ^= byte;
    hash *= 0x100000001B3ull;
  }
  return hash;
}

std::vector<std::string> LinesOf(const CapturedDiagnostics& diagnostics, DiagnosticStream stream) {
  std::vector<std::string> lines;
  const std::string text = diagnostics.Text(stream);
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

}  // namespace genshoku::png::write_support
