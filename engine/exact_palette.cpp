#include "engine/exact_palette.h"

#include <algorithm>
#include <array>
#include <vector>

namespace genshoku {

namespace {

// A set of at most 256 colours (0xRRGGBB) with their entries: open addressing in a table of
// twice the largest palette, so that a probe finds a colour or a free slot quickly.
class SmallColourSet {
 public:
  SmallColourSet() { slots_.fill(kEmpty); }

  // The slot holding `colour`, adding it when there is room for `limit` colours; -1 when
  // the colour is new and the set holds `limit` colours already.
  int Find(uint32_t colour, int limit) {
    uint32_t slot = (colour * 2654435761u) >> (32 - kBits);
    while (slots_[slot] != kEmpty && slots_[slot] != colour) slot = (slot + 1) & (kSlots - 1);
    if (slots_[slot] == kEmpty) {
      if (count_ == limit) return -1;
      slots_[slot] = colour;
      ++count_;
    }
    return static_cast<int>(slot);
  }

  int count() const { return count_; }
  uint32_t colour(int slot) const { return slots_[slot]; }
  bool used(int slot) const { return slots_[slot] != kEmpty; }
  static constexpr int kSlots = 512;

 private:
  static constexpr int kBits = 9;
  static constexpr uint32_t kEmpty = 0xFFFFFFFFu;  // no 24-bit colour has this value
  std::array<uint32_t, kSlots> slots_;
  int count_ = 0;
};

bool Excluded(const EngineSource& source, size_t i) {
  return source.excluded != nullptr && source.excluded[i] != 0;
}

uint32_t ColourAt(const EngineSource& source, size_t i) {
  return (uint32_t{source.red[i]} << 16) | (uint32_t{source.green[i]} << 8) | source.blue[i];
}

}  // namespace

bool MapFewColoursExactly(const EngineSource& source, int paletteSize, uint8_t* indices,
                          EnginePalette& palette) {
  const size_t count = static_cast<size_t>(source.width) * static_cast<size_t>(source.height);
  SmallColourSet set;
  for (size_t i = 0; i < count; ++i) {
    if (!Excluded(source, i) && set.Find(ColourAt(source, i), paletteSize) < 0) return false;
  }
  std::vector<uint32_t> colours;
  for (int slot = 0; slot < SmallColourSet::kSlots; ++slot) {
    if (set.used(slot)) colours.push_back(set.colour(slot));
  }
  std::sort(colours.begin(), colours.end());
  std::array<uint8_t, SmallColourSet::kSlots> entryOfSlot{};
  for (int slot = 0; slot < SmallColourSet::kSlots; ++slot) {
    if (!set.used(slot)) continue;
    const auto at = std::lower_bound(colours.begin(), colours.end(), set.colour(slot));
    entryOfSlot[slot] = static_cast<uint8_t>(at - colours.begin());
  }
  palette.size = static_cast<int>(colours.size());
  for (size_t entry = 0; entry < colours.size(); ++entry) {
    palette.red[entry] = static_cast<uint8_t>(colours[entry] >> 16);
    palette.green[entry] = static_cast<uint8_t>(colours[entry] >> 8);
    palette.blue[entry] = static_cast<uint8_t>(colours[entry]);
  }
  // Every colour is in the set now, so each lookup finds its slot.
  for (size_t i = 0; i < count; ++i) {
    indices[i] = Excluded(source, i) ? 0 : entryOfSlot[set.Find(ColourAt(source, i), paletteSize)];
  }
  return true;
}

}  // namespace genshoku
