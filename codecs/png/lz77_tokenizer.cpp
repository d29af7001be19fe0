#include "codecs/png/lz77_tokenizer.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>

#include "codecs/png/deflate_tables.h"

namespace genshoku::png {

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
//
// Positions only grow while a block is tokenised and new nodes go to the head of their
// chain, so along every chain the positions strictly fall. The reclaiming below relies
// on that.
class ChainTable {
 public:
  ChainTable() : head_(kHashSize, kNone), pool_(kPoolSize) {
    for (int32_t i = 0; i < kPoolSize; ++i) pool_[i].next = i + 1 < kPoolSize ? i + 1 : kNone;
    free_ = 0;
  }

  int32_t Head(uint32_t hash) const { return head_[hash]; }
  // Asks for a chain head ahead of its use: the head table is too large for the nearest
  // cache, and the next position's head is known one step early.
  void PrefetchHead(uint32_t hash) const { __builtin_prefetch(&head_[hash]); }
  int32_t Next(int32_t node) const { return pool_[node].next; }
  uint32_t PositionOf(int32_t node) const { return pool_[node].position; }

  void Insert(uint32_t hash, uint32_t position) {
    if (free_ == kNone) Reclaim();
    const int32_t node = free_;
    free_ = pool_[node].next;
    pool_[node] = {head_[hash], position};
    head_[hash] = node;
  }

 private:
  struct Node {
    int32_t next;
    uint32_t position;
  };

  // Frees the older part of every chain. The cut lies halfway between the oldest and the
  // newest stored position, but never further back than one window before the newest,
  // so roughly half the pool comes back and no node that could still match is lost
  // without need.
  //
  // The pool runs dry only when every node sits in a chain, so the oldest and newest
  // stored positions are those of the whole pool. And since positions fall along every
  // chain, the nodes from the first one below the cut onwards are exactly the nodes
  // below the cut: a chain is cut where a kept node (or the head) points to a freed one.
  // Which free node is handed out next does not change any chain's positions.
  void Reclaim() {
    uint32_t lo = UINT32_MAX;
    uint32_t hi = 0;
    for (const Node& node : pool_) {
      lo = std::min(lo, node.position);
      hi = std::max(hi, node.position);
    }
    const int64_t halfway = (static_cast<int64_t>(lo) + hi) / 2;
    const int64_t windowStart = static_cast<int64_t>(hi) - kMaxDistance;
    const int64_t cut = std::max(halfway, windowStart);
    const auto freed = [&](int32_t node) {
      return node != kNone && static_cast<int64_t>(pool_[node].position) < cut;
    };
    for (int32_t& head : head_) {
      if (freed(head)) head = kNone;
    }
    for (int32_t node = kPoolSize - 1; node >= 0; --node) {
      if (static_cast<int64_t>(pool_[node].position) < cut) {
        pool_[node].next = free_;
        free_ = node;
      } else if (freed(pool_[node].next)) {
        pool_[node].next = kNone;
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

uint64_t LoadWord(const uint8_t* bytes) {
  uint64_t word;
  std::memcpy(&word, bytes, sizeof word);
  return word;
}

// How many bytes from `a` and `b` agree, up to `limit`; eight at a time while they can.
size_t CommonLength(const uint8_t* a, const uint8_t* b, size_t limit) {
  size_t t = 0;
  if constexpr (std::endian::native == std::endian::little) {
    while (t + 8 <= limit) {
      const uint64_t difference = LoadWord(a + t) ^ LoadWord(b + t);
      if (difference != 0) return t + static_cast<size_t>(std::countr_zero(difference) / 8);
      t += 8;
    }
  }
  while (t < limit && a[t] == b[t]) ++t;
  return t;
}

}  // namespace

void Lz77Tokenize(const uint8_t* input, size_t length, Lz77Tokens& tokens) {
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
    if (e + 4 < length) chains->PrefetchHead(HashOf(input + e + 1));
    size_t bestLength = 0;
    size_t bestPosition = 0;
    const size_t longest = std::min(length - e, static_cast<size_t>(kMaxMatch));
    for (int32_t node = chains->Head(hash); node != kNone; node = chains->Next(node)) {
      const size_t q = chains->PositionOf(node);
      // Chains are ordered newest first, so every later node is out of reach too.
      if (q + kMaxDistance < e) break;
      // The copied bytes must lie wholly before e.
      const size_t limit = std::min(e - q, longest);
      // Only a strictly longer match counts, and that one has to agree at the best
      // length too: most candidates fail on that single byte.
      if (limit <= bestLength || input[q + bestLength] != input[e + bestLength]) continue;
      const size_t t = CommonLength(input + q, input + e, limit);
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
      chains->Insert(hash, static_cast<uint32_t>(e));
      Emit(tokens, input[e], kNoCopy);
      ++e;
    }
  }
  Emit(tokens, kEndOfBlock, kNoCopy);
}

}  // namespace genshoku::png
