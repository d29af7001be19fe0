#include "support_write_png.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <unordered_set>

namespace genshoku::png::pngtest {

namespace {

uint32_t BigEndian32(const uint8_t* bytes) {
  return (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) |
         bytes[3];
}

}  // namespace

DecodedPng DecodeWithZlib(const Bytes& png) {
  DecodedPng decoded;
  if (png.size() < 8 || !std::equal(png.begin(), png.begin() + 8, Signature().begin())) {
    decoded.problem = "no signature";
    return decoded;
  }
  for (size_t at = 8; at < png.size();) {
    const uint32_t length = png.size() - at >= 12 ? BigEndian32(&png[at]) : 0;
    if (png.size() - at < 12 || png.size() - at - 12 < length) {
      decoded.problem = "broken chunk framing";
      return decoded;
    }
    const std::string type(reinterpret_cast<const char*>(&png[at + 4]), 4);
    const Bytes data(png.begin() + static_cast<ptrdiff_t>(at + 8),
                     png.begin() + static_cast<ptrdiff_t>(at + 8 + length));
    decoded.chunkTypes.push_back(type);
    if (BigEndian32(&png[at + 8 + length]) != crc32(0, &png[at + 4], length + 4)) {
      decoded.problem = "CRC mismatch in " + type;
      return decoded;
    }
    if (type == "IHDR" && length == 13) {
      decoded.width = BigEndian32(&data[0]);
      decoded.height = BigEndian32(&data[4]);
      decoded.bitDepth = data[8];
      decoded.colorType = data[9];
    } else if (type == "PLTE") {
      decoded.palette = data;
    } else if (type == "IDAT") {
      Append(decoded.zlibStream, data);
    }
    at += 12 + length;
  }
  Bytes filtered;
  std::string error;
  if (!ZlibInflate(decoded.zlibStream, filtered, &error)) {
    decoded.problem = "zlib: " + error;
    return decoded;
  }
  if (decoded.colorType != 3 || decoded.bitDepth != 8) {
    decoded.pixels = filtered;
    decoded.ok = true;
    return decoded;
  }
  const size_t rowBytes = decoded.width;
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

Bytes GradientIndexPicture(int width, int height, uint64_t seed) {
  TestRandom random(seed);
  Bytes pixels(static_cast<size_t>(width) * static_cast<size_t>(height));
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      // Each grade a small cluster of entries; neighbours spill into the next grade.
      const int grade = (x + y) * 40 / (width + height);
      const uint32_t noise = random.Below(8);
      int index = grade * 6 + (noise < 5 ? 0 : static_cast<int>(noise - 4));
      if (noise == 7) index += 6;
      pixels[static_cast<size_t>(y) * width + x] = static_cast<uint8_t>(index & 0xFF);
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

}  // namespace

Bytes PhotoLikeRgb(int width, int height, uint64_t seed) {
  TestRandom random(seed);
  Bytes rgb;
  rgb.reserve(static_cast<size_t>(width) * height * 3);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const int grain = static_cast<int>(random.Below(9)) - 4;
      const int red = x * 170 / width + Triangle(x + y, 700) / 5 + grain + 20;
      const int green = y * 150 / height + Triangle(2 * x - y, 900) / 4 + grain + 10;
      const int blue =
          230 - (x + y) * 140 / (width + height) + Triangle(3 * y + x, 1300) / 6 + (grain * 3) / 2;
      for (int value : {red, green, blue})
        rgb.push_back(static_cast<uint8_t>(std::clamp(value, 0, 255)));
    }
  }
  return rgb;
}

Bytes DitherTo332(const Bytes& rgb, int width, int height) {
  static constexpr int kLevels[3] = {8, 8, 4};
  static constexpr int kShifts[3] = {5, 2, 0};
  Bytes indices(static_cast<size_t>(width) * static_cast<size_t>(height));
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

Bytes TestPalette() {
  Bytes palette;
  for (int i = 0; i < 256; ++i) {
    palette.insert(palette.end(), {static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i),
                                   static_cast<uint8_t>((i * 37) & 0xFF)});
  }
  return palette;
}

namespace {

// Appends bytes so that no literal position starts a three-byte sequence that an earlier
// literal position started: the tokenizer then finds exactly the copies that are planned.
class UniqueTripletBuilder {
 public:
  explicit UniqueTripletBuilder(uint64_t seed) : random_(seed) {}

  // A random literal, redrawn while it would repeat a sequence or equals `avoid`.
  void AddLiteral(int avoid = -1) {
    const size_t p = bytes_.size();
    for (;;) {
      const uint8_t x = static_cast<uint8_t>(random_.Next() >> 56);
      if (x == avoid || (p >= 2 && !IsNew(p - 2, bytes_[p - 1], x))) continue;
      bytes_.push_back(x);
      literal_.push_back(true);
      if (p >= 2) Remember(p - 2);
      return;
    }
  }

  // Copies three bytes; the literal just before is redrawn until the two literal
  // positions that see the copy's first bytes stay unique.
  void AddCopy(uint8_t a, uint8_t b, uint8_t c) {
    const size_t p = bytes_.size();
    while (!IsNew(p - 2, bytes_[p - 1], a) || !IsNew(p - 1, a, b)) {
      bytes_.pop_back();
      literal_.pop_back();
      AddLiteral();
    }
    for (uint8_t x : {a, b, c}) {
      bytes_.push_back(x);
      literal_.push_back(false);
    }
    Remember(p - 2);
    Remember(p - 1);
  }

  size_t size() const { return bytes_.size(); }
  uint8_t at(size_t i) const { return bytes_[i]; }
  Bytes Take() { return std::move(bytes_); }

 private:
  static uint32_t Key(uint8_t x, uint8_t y, uint8_t z) {
    return uint32_t{x} << 16 | uint32_t{y} << 8 | z;
  }
  bool IsNew(size_t p, uint8_t y, uint8_t z) const {
    return !literal_[p] || seen_.count(Key(bytes_[p], y, z)) == 0;
  }
  void Remember(size_t p) {
    if (literal_[p]) seen_.insert(Key(bytes_[p], bytes_[p + 1], bytes_[p + 2]));
  }

  TestRandom random_;
  Bytes bytes_;
  std::vector<bool> literal_;
  std::unordered_set<uint32_t> seen_;
};

}  // namespace

Bytes DeepDistanceTreeInput() {
  static constexpr int kDistanceBase[31] = {
      1,   2,   3,   4,   5,    7,    9,    13,   17,   25,   33,   49,    65,    97,    129,  193,
      257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577, 32769};
  constexpr int kCodes = 18;  // codes 2 and 3 end up as one: every copy follows a literal
  int remaining[30] = {};
  int fibonacci[kCodes] = {1, 1};
  for (int i = 2; i < kCodes; ++i) fibonacci[i] = fibonacci[i - 1] + fibonacci[i - 2];
  for (int i = 0; i < kCodes; ++i) remaining[2 + i] = fibonacci[kCodes - 1 - i];

  UniqueTripletBuilder builder(8);
  builder.AddLiteral();
  builder.AddLiteral();
  // Each group starts with three fresh bytes and copies them at growing distances, one
  // copy per distance code still wanted.
  for (;;) {
    int code = 2;
    while (code < 30 && remaining[code] == 0) ++code;
    if (code == 30) break;
    const size_t start = builder.size();
    for (int i = 0; i < 3; ++i) builder.AddLiteral();
    const uint8_t a = builder.at(start), b = builder.at(start + 1), c = builder.at(start + 2);
    while (builder.size() - start < static_cast<size_t>(std::max(kDistanceBase[code], 4)))
      builder.AddLiteral();
    builder.AddCopy(a, b, c);
    --remaining[code];
    for (int next = code + 1; next < 30; ++next) {
      if (remaining[next] == 0) continue;
      if (builder.size() - start + 1 >= static_cast<size_t>(kDistanceBase[next + 1])) continue;
      builder.AddLiteral(builder.at(start + 3));  // the byte after a copy must not continue it
      while (builder.size() - start < static_cast<size_t>(kDistanceBase[next]))
        builder.AddLiteral();
      builder.AddCopy(a, b, c);
      --remaining[next];
    }
    builder.AddLiteral(builder.at(start + 3));
  }
  builder.AddLiteral();
  builder.AddLiteral();
  return builder.Take();
}

}  // namespace genshoku::png::pngtest
