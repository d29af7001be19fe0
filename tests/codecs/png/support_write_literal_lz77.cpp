#include "support_write_literal_lz77.h"

#include <algorithm>
#include <memory>

#include "codecs/png/deflate_tables.h"

namespace genshoku::png::literal {

namespace {

constexpr uint32_t kHashSize = 65521;
constexpr int32_t kPoolSize = 32768;
constexpr int32_t kNone = -1;

uint32_t HashOf(const uint8_t* bytes) {
  const uint32_t b0 = bytes[0];
  const uint32_t b1 = bytes[1];
  const uint32_t b2 = bytes[2];
  return ((b0 << 24) + (b1 << 8) + b2) % kHashSize;
}

// Hash chains of literal positions, newest first, in a fixed pool of nodes.
class ChainTable {
 public:
  ChainTable() : head_(kHashSize, kNone), pool_(kPoolSize) {
    for (int32_t i = 0; i < kPoolSize; ++i) pool_[i].next = i + 1 < kPoolSize ? i + 1 : kNone;
    free_ = 0;
  }

  int32_t Head(uint32_t hash) const { return head_[hash]; }
  int32_t Next(int32_t node) const { return pool_[node].next; }
  size_t PositionOf(int32_t node) const { return pool_[node].position; }

  void Insert(uint32_t hash, size_t position) {
    if (free_ == kNone) Reclaim();
    const int32_t node = free_;
    free_ = pool_[node].next;
    pool_[node] = {head_[hash], hash, position};
    head_[hash] = node;
  }

 private:
  struct Node {
    int32_t next;
    uint32_t hash;
    size_t position;
  };

  // Frees the older part of every chain. The cut lies halfway between the oldest and the
  // newest stored position, but never further back than one window before the newest,
  // so roughly half the pool comes back and no node that could still match is lost
  // without need.
  void Reclaim() {
    size_t lo = SIZE_MAX;
    size_t hi = 0;
    for (uint32_t hash = 0; hash < kHashSize; ++hash) {
      for (int32_t node = head_[hash]; node != kNone; node = pool_[node].next) {
        lo = std::min(lo, pool_[node].position);
        hi = std::max(hi, pool_[node].position);
      }
    }
    if (lo == SIZE_MAX) return;
    const int64_t halfway = static_cast<int64_t>((lo + hi) / 2);
    const int64_t windowStart = static_cast<int64_t>(hi) - kMaxDistance;
    const int64_t cut = std::max(halfway, windowStart);
    for (uint32_t hash = 0; hash < kHashSize; ++hash) {
      int32_t* link = &head_[hash];
      while (*link != kNone && static_cast<int64_t>(pool_[*link].position) >= cut) {
        link = &pool_[*link].next;
      }
      int32_t node = *link;
      *link = kNone;
      while (node != kNone) {
        const int32_t next = pool_[node].next;
        pool_[node].next = free_;
        free_ = node;
        node = next;
      }
    }
  }

  std::vector<int32_t> head_;
  std::vector<Node> pool_;
  int32_t free_ = kNone;
};

void Emit(Lz77Tokens& tokens, uint32_t symbol, uint32_t copy) {
  tokens.symbol[tokens.count] = symbol;
  tokens.copy[tokens.count] = copy;
  ++tokens.count;
}

}  // namespace

void LiteralLz77Tokenize(const uint8_t* input, size_t length, Lz77Tokens& tokens) {
  tokens.symbol.assign(length + 1, 0);
  tokens.copy.assign(length + 1, kNoCopy);
  tokens.count = 0;
  const auto chains = std::make_unique<ChainTable>();

  size_t e = 0;
  while (e < length) {
    // The last three bytes cannot start a hashable match of their own.
    if (e + 3 >= length) {
      Emit(tokens, input[e], kNoCopy);
      ++e;
      continue;
    }
    const uint32_t hash = HashOf(input + e);
    size_t bestLength = 0;
    size_t bestPosition = 0;
    for (int32_t node = chains->Head(hash); node != kNone; node = chains->Next(node)) {
      const size_t q = chains->PositionOf(node);
      // Chains are ordered newest first, so every later node is out of reach too.
      if (q + kMaxDistance < e) break;
      // The copied bytes must lie wholly before e.
      const size_t limit = std::min({e - q, length - e, static_cast<size_t>(kMaxMatch)});
      size_t t = 0;
      while (t < limit && input[q + t] == input[e + t]) ++t;
      if (t >= kMinMatch && t > bestLength) {
        bestLength = t;
        bestPosition = q;
        // Nothing later can be strictly longer.
        if (t == kMaxMatch) break;
      }
    }
    if (bestLength > 0) {
      const uint32_t distance = static_cast<uint32_t>(e - bestPosition);
      Emit(tokens, LengthCodeOf(static_cast<int>(bestLength)),
           distance | static_cast<uint32_t>(bestLength) << 16);
      e += bestLength;
    } else {
      chains->Insert(hash, e);
      Emit(tokens, input[e], kNoCopy);
      ++e;
    }
  }
  Emit(tokens, kEndOfBlock, kNoCopy);
}

}  // namespace genshoku::png::literal
