#pragma once
// Helpers of the library's tests: owners of the C handles, a photo-like picture in a caller's
// buffer with padded rows, and the same reduction through the C++ pipeline as the oracle.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "common/diagnostics.h"
#include "genshoku.h"
#include "pipeline/presets.h"
#include "pipeline/reduce_picture.h"

namespace genshoku::testing {

struct ContextFree {
  void operator()(genshoku_context* context) const { genshoku_context_free(context); }
};
struct ResultFree {
  void operator()(genshoku_result* result) const { genshoku_result_free(result); }
};
using Context = std::unique_ptr<genshoku_context, ContextFree>;
using Result = std::unique_ptr<genshoku_result, ResultFree>;

// A caller's picture: RGBA rows `stride` bytes apart; the bytes past each row are filled with
// a pattern that must not reach the reduction.
struct CallerPicture {
  uint32_t width = 0;
  uint32_t height = 0;
  size_t stride = 0;
  std::vector<uint8_t> bytes;

  // The same pixels as a picture without gaps, as the pipeline takes them.
  RgbaPicture AsPicture() const {
    RgbaPicture picture(static_cast<int32_t>(width), static_cast<int32_t>(height));
    for (uint32_t y = 0; y < height; ++y) {
      for (uint32_t x = 0; x < width; ++x) {
        const uint8_t* p = &bytes[y * stride + 4 * x];
        picture.At(x, y) = {p[0], p[1], p[2], p[3]};
      }
    }
    return picture;
  }
};

// Smooth gradients with fine texture and a few hard edges, so that every phase of the engine
// has work; `seed` varies the picture. Alpha varies too (the reduction must match the
// pipeline's whatever it does with alpha).
inline CallerPicture PhotoLike(uint32_t width, uint32_t height, size_t padding, int seed = 0) {
  CallerPicture picture{width, height, 4 * size_t{width} + padding, {}};
  picture.bytes.assign(picture.stride * height, 0xA5);
  uint32_t noise = 12345u + static_cast<uint32_t>(seed) * 7919u;
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      noise = noise * 1103515245u + 12345u;
      const int grain = static_cast<int>((noise >> 16) % 17) - 8;
      const double fx = static_cast<double>(x) / width, fy = static_cast<double>(y) / height;
      const bool square = (x / 16 + y / 16 + seed) % 5 == 0;
      int r = static_cast<int>(200 * fx + 40 * std::sin(9 * fy + seed)) + grain;
      int g = static_cast<int>(180 * fy + 50 * std::cos(7 * fx)) + grain;
      int b = square ? 230 : static_cast<int>(120 + 100 * std::sin(5 * (fx + fy))) - grain;
      uint8_t* p = &picture.bytes[y * picture.stride + 4 * x];
      p[0] = static_cast<uint8_t>(std::clamp(r, 0, 255));
      p[1] = static_cast<uint8_t>(std::clamp(g, 0, 255));
      p[2] = static_cast<uint8_t>(std::clamp(b, 0, 255));
      p[3] = static_cast<uint8_t>(255 - (x + y) % 7);
    }
  }
  return picture;
}

// The pipeline's reduction of the same pixels with the same settings.
inline ReductionOutput PipelineReduction(const CallerPicture& picture,
                                         const ReductionSettings& settings) {
  ReductionJob job;
  job.planes = PlanesFromPicture(picture.AsPicture());
  job.settings = settings;
  return ExecuteReduction(job, {nullptr, &SilentDiagnostics()});
}

inline Result Reduce(genshoku_context* context, const CallerPicture& picture,
                     genshoku_error* error = nullptr) {
  genshoku_result* result = nullptr;
  const genshoku_error e = genshoku_reduce(context, picture.bytes.data(), picture.width,
                                           picture.height, picture.stride, &result);
  if (error) *error = e;
  return Result(result);
}

// The bytes of genshoku_encode as a vector; empty on failure.
inline std::vector<uint8_t> Encode(genshoku_context* context, const genshoku_result* result,
                                   genshoku_format format) {
  void* bytes = nullptr;
  size_t size = 0;
  if (genshoku_encode(context, result, format, &bytes, &size) != GENSHOKU_OK) return {};
  std::vector<uint8_t> copy(static_cast<uint8_t*>(bytes), static_cast<uint8_t*>(bytes) + size);
  genshoku_free(bytes);
  return copy;
}

}  // namespace genshoku::testing
