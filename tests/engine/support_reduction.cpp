#include "tests/engine/support_reduction.h"

#include <algorithm>

namespace genshoku::test_support {

uint64_t Reduction::Hash() const {
  Fnv1a hash;
  hash.Add(red);
  hash.Add(green);
  hash.Add(blue);
  hash.Add(indices);
  hash.Add(out);
  hash.Add(err);
  return hash.value();
}

ReductionParams PlainColourSettings(int colourMode) {
  ReductionParams p;
  p.colourMode = colourMode;
  p.gammaR = p.gammaG = p.gammaB = p.gammaY = 1.0;
  p.chromaAngle = 0.0;
  p.weightY = p.weightU = p.weightV = 1.0;
  return p;
}

namespace {

ReduceResult ReduceWithOptions(const EngineOptions& options, int width, int height, uint8_t* srcR,
                               uint8_t* srcG, uint8_t* srcB, uint8_t* indexPlane,
                               uint8_t* paletteRed, uint8_t* paletteGreen, uint8_t* paletteBlue,
                               const ReductionParams& params, const EngineServices& services) {
  EnginePalette palette;
  std::copy(paletteRed, paletteRed + kMaxPaletteSize, palette.red.begin());
  std::copy(paletteGreen, paletteGreen + kMaxPaletteSize, palette.green.begin());
  std::copy(paletteBlue, paletteBlue + kMaxPaletteSize, palette.blue.begin());
  const ReduceResult result = ReduceColors({width, height, srcR, srcG, srcB}, params, options,
                                           indexPlane, palette, services);
  std::copy(palette.red.begin(), palette.red.end(), paletteRed);
  std::copy(palette.green.begin(), palette.green.end(), paletteGreen);
  std::copy(palette.blue.begin(), palette.blue.end(), paletteBlue);
  return result;
}

}  // namespace

ReduceResult EngineReduceColors(int width, int height, uint8_t* srcR, uint8_t* srcG, uint8_t* srcB,
                                uint8_t* indexPlane, uint8_t* paletteRed, uint8_t* paletteGreen,
                                uint8_t* paletteBlue, const ReductionParams& params,
                                const EngineServices& services) {
  return ReduceWithOptions(EngineOptions{}, width, height, srcR, srcG, srcB, indexPlane, paletteRed,
                           paletteGreen, paletteBlue, params, services);
}

ReduceFunction EngineWithOptions(const EngineOptions& options) {
  return [options](int width, int height, uint8_t* srcR, uint8_t* srcG, uint8_t* srcB,
                   uint8_t* indexPlane, uint8_t* paletteRed, uint8_t* paletteGreen,
                   uint8_t* paletteBlue, const ReductionParams& params,
                   const EngineServices& services) {
    return ReduceWithOptions(options, width, height, srcR, srcG, srcB, indexPlane, paletteRed,
                             paletteGreen, paletteBlue, params, services);
  };
}

Reduction Reduce(Picture& picture, const ReductionParams& params, EngineServices services,
                 ReduceFunction reduce) {
  Reduction reduction;
  // Filled with a value the engine must overwrite, so that a missed byte shows.
  reduction.indices.assign(picture.r.size(), 0xEE);
  reduction.red.assign(256, 0xEE);
  reduction.green.assign(256, 0xEE);
  reduction.blue.assign(256, 0xEE);
  CapturedDiagnostics diagnostics;
  services.diagnostics = &diagnostics;
  reduction.result = reduce(picture.width, picture.height, picture.r.data(), picture.g.data(),
                            picture.b.data(), reduction.indices.data(), reduction.red.data(),
                            reduction.green.data(), reduction.blue.data(), params, services);
  reduction.out = diagnostics.Text(DiagnosticStream::Out);
  reduction.err = diagnostics.Text(DiagnosticStream::Err);
  return reduction;
}

}  // namespace genshoku::test_support
