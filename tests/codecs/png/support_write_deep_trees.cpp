#include "support_write_deep_trees.h"

#include <algorithm>
#include <unordered_set>
#include <utility>

#include "support_write_png.h"

namespace genshoku::png::write_support {

namespace {

constexpr int kDistanceBase[31] = {1,    2,    3,    4,    5,    7,     9,     13,    17,    25,   33,
                                   49,   65,   97,   129,  193,  257,   385,   513,   769,   1025,
                                   1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577, 32769};

// Appends bytes so that no literal position starts a three-byte sequence that an earlier
// literal position started: the tokenizer then finds exactly the copies that are planned.
class UniqueTripletBuilder {
 public:
  explicit UniqueTripletBuilder(uint64_t seed) : random_(seed) {}

  // A literal drawn by `draw` (redrawn while it would repeat a sequence, or equals
  // `avoid`).
  template <typename Draw>
  void AddLiteral(Draw draw, int avoid = -1) {
    const size_t p = bytes_.size();
    for (;;) {
      const uint8_t x = draw(random_);
      if (x == avoid) continue;
      if (p >= 2 && !IsNew(p - 2, bytes_[p - 1], x)) continue;
      bytes_.push_back(x);
      literal_.push_back(true);
      if (p >= 2) Remember(p - 2);
      return;
    }
  }

  void AddRandomLiteral(int avoid = -1) {
    AddLiteral([](TestRandom& random) { return static_cast<uint8_t>(random.Next() >> 56); }, avoid);
  }

  // Copies three bytes; the literal just before is redrawn until the two literal
  // positions that see the copy's first bytes stay unique.
  void AddCopy(uint8_t a, uint8_t b, uint8_t c) {
    const size_t p = bytes_.size();
    while (!IsNew(p - 2, bytes_[p - 1], a) || !IsNew(p - 1, a, b)) {
      bytes_.pop_back();
      literal_.pop_back();
      AddRandomLiteral();
    }
    bytes_.push_back(a);
    literal_.push_back(false);
    Remember(p - 2);
    bytes_.push_back(b);
    literal_.push_back(false);
    Remember(p - 1);
    bytes_.push_back(c);
    literal_.push_back(false);
  }

  size_t size() const { return bytes_.size(); }
  uint8_t at(size_t i) const { return bytes_[i]; }
  std::vector<uint8_t> Take() { return std::move(bytes_); }

 private:
  static uint32_t Key(uint8_t x, uint8_t y, uint8_t z) {
    return (uint32_t{x} << 16) | (uint32_t{y} << 8) | z;
  }
  bool IsNew(size_t p, uint8_t y, uint8_t z) const {
    return !literal_[p] || seen_.count(Key(bytes_[p], y, z)) == 0;
  }
  void Remember(size_t p) {
    if (literal_[p]) seen_.insert(Key(bytes_[p], bytes_[p + 1], bytes_[p + 2]));
  }

  TestRandom random_;
  std::vector<uint8_t> bytes_;
  std::vector<bool> literal_;
  std::unordered_set<uint32_t> seen_;
};

}  // namespace

std::vector<uint8_t> DeepLiteralLengthTreeInput() {
  TestRandom random(7);
  std::vector<uint8_t> input;
  for (int i = 0; i < 240000; ++i) input.push_back(static_cast<uint8_t>(random.Below(240)));
  for (int rare = 0; rare < 10; ++rare) {
    for (int count = 0; count < (1 << rare); ++count) input.push_back(static_cast<uint8_t>(240 + rare));
  }
  for (size_t i = input.size() - 1; i > 0; --i) {
    std::swap(input[i], input[random.Below(static_cast<uint32_t>(i + 1))]);
  }
  return input;
}

std::vector<uint8_t> DeepDistanceTreeInput() {
  constexpr int kCodes = 18;  // codes 2 and 3 end up as one: every copy follows a literal
  std::vector<int> remaining(30, 0);
  int fibonacci[kCodes] = {1, 1};
  for (int i = 2; i < kCodes; ++i) fibonacci[i] = fibonacci[i - 1] + fibonacci[i - 2];
  for (int i = 0; i < kCodes; ++i) remaining[2 + i] = fibonacci[kCodes - 1 - i];

  UniqueTripletBuilder builder(8);
  builder.AddRandomLiteral();
  builder.AddRandomLiteral();
  // Each group starts with three fresh bytes and copies them at growing distances, one
  // copy per distance code still wanted.
  for (;;) {
    int code = 2;
    while (code < 30 && remaining[code] == 0) ++code;
    if (code == 30) break;
    const size_t start = builder.size();
    for (int i = 0; i < 3; ++i) builder.AddRandomLiteral();
    const uint8_t a = builder.at(start);
    const uint8_t b = builder.at(start + 1);
    const uint8_t c = builder.at(start + 2);
    while (builder.size() - start < static_cast<size_t>(std::max(kDistanceBase[code], 4))) {
      builder.AddRandomLiteral();
    }
    builder.AddCopy(a, b, c);
    --remaining[code];
    for (int next = code + 1; next < 30; ++next) {
      if (remaining[next] == 0) continue;
      if (builder.size() - start + 1 >= static_cast<size_t>(kDistanceBase[next + 1])) continue;
      // The byte after a copy must not continue it.
      builder.AddRandomLiteral(builder.at(start + 3));
      while (builder.size() - start < static_cast<size_t>(kDistanceBase[next])) {
        builder.AddRandomLiteral();
      }
      builder.AddCopy(a, b, c);
      --remaining[next];
    }
    builder.AddRandomLiteral(builder.at(start + 3));
  }
  builder.AddRandomLiteral();
  builder.AddRandomLiteral();
  return builder.Take();
}

std::vector<uint8_t> DeepCodeLengthTreeInput() {
  // (code length, number of byte values) with a probability of 2^-length each.
  const std::pair<int, int> groups[] = {{4, 1}, {5, 1},  {6, 2},   {7, 100}, {8, 5},
                                        {9, 8}, {10, 13}, {11, 21}, {12, 34}};
  std::vector<uint32_t> cumulative;
  uint32_t total = 0;
  for (const auto& [length, values] : groups) {
    for (int i = 0; i < values; ++i) {
      total += 1u << (12 - length);
      cumulative.push_back(total);
    }
  }
  const auto draw = [&](TestRandom& random) {
    const uint32_t u = random.Below(total);
    return static_cast<uint8_t>(std::upper_bound(cumulative.begin(), cumulative.end(), u) -
                                cumulative.begin());
  };
  UniqueTripletBuilder builder(1);
  for (int i = 0; i < 65536; ++i) builder.AddLiteral(draw);
  return builder.Take();
}

}  // namespace genshoku::png::write_support
