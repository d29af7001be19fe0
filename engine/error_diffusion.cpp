#include "engine/error_diffusion.h"

// Placeholder until error diffusion is built: the indices are left as they are.
namespace genshoku {

void DiffuseToIndicesRgb(int, int, int, double, const uint8_t*, const uint8_t*, const uint8_t*,
                         int, const uint8_t*, const uint8_t*, const uint8_t*, uint8_t*) {}

void DiffuseToIndicesWeighted(int, int, int, double, const double*, const double*,
                              const double*, int, const PaletteRecord*, uint8_t*) {}

}  // namespace genshoku
