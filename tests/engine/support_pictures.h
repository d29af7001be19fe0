#pragma once
// Generated pictures for the engine tests: noise, gradients, flat areas, few colours and
// photo-like fields with smooth shading, grain and hard edges. Every generator is fixed by
// its arguments (mt19937's sequence is fixed by the C++ standard), so hashes of reductions
// of these pictures can be recorded.

#include <cstdint>
#include <string_view>
#include <vector>

namespace genshoku::test_support {

struct Picture {
  int width = 0, height = 0;
  std::vector<uint8_t> r, g, b;

  Picture(int w, int h)
      : width(w), height(h), r(size_t(w) * h), g(size_t(w) * h), b(size_t(w) * h) {}
  void Set(int x, int y, int red, int green, int blue);
};

Picture NoisePicture(int width, int height, unsigned seed);
// Channels ramp across x, y and the diagonal.
Picture GradientPicture(int width, int height);
Picture FlatPicture(int width, int height, int red, int green, int blue);
// Rectangular blocks painted from `colours` random colours.
Picture FewColoursPicture(int width, int height, int colours, unsigned seed);
// Smooth shading, a few hard-edged shapes and grain of `grain` levels (0: none).
Picture PhotoLikePicture(int width, int height, unsigned seed, int grain = 6);
// Vertical stripes of `period` pixels alternating between two colours.
Picture StripesPicture(int width, int height, int period);

// FNV-1a, 64 bits.
class Fnv1a {
 public:
  void Add(const uint8_t* data, size_t size) {
    for (size_t i = 0; i < size; ++i) {
      hash_ ^= data[i];
      hash_ *= 0x100000001b3ull;
    }
  }
  void Add(const std::vector<uint8_t>& bytes) { Add(bytes.data(), bytes.size()); }
  void Add(std::string_view text) {
    Add(reinterpret_cast<const uint8_t*>(text.data()), text.size());
  }
  uint64_t value() const { return hash_; }

 private:
  uint64_t hash_ = 0xcbf29ce484222325ull;
};

}  // namespace genshoku::test_support
