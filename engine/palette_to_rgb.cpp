#include "engine/palette_to_rgb.h"

// Placeholder until the conversion is built: the inverse of the placeholder working space.
namespace genshoku {

namespace {
uint8_t ClampByte(double value) {
  if (!(value > 0)) return 0;
  if (value >= 255) return 255;
  return static_cast<uint8_t>(value + 0.5);
}
}  // namespace

void PaletteToRgb(WorkingPalette& palette, const ReductionParams&, PaletteRecord* records,
                  uint8_t* paletteRed, uint8_t* paletteGreen, uint8_t* paletteBlue) {
  for (int i = 0; i < kPaletteSize; ++i) {
    records[i] = {palette.Y[i], palette.U[i], palette.V[i], i};
    paletteGreen[i] = ClampByte(palette.Y[i]);
    paletteBlue[i] = ClampByte(palette.U[i]);
    paletteRed[i] = ClampByte(palette.V[i]);
  }
}

}  // namespace genshoku
