// Results: what a reduction made, read through the C API.

#include "library/handles.h"

extern "C" {

void genshoku_result_free(genshoku_result* result) { delete result; }

uint32_t genshoku_result_width(const genshoku_result* result) {
  return result ? static_cast<uint32_t>(result->picture.width) : 0;
}

uint32_t genshoku_result_height(const genshoku_result* result) {
  return result ? static_cast<uint32_t>(result->picture.height) : 0;
}

const genshoku_color* genshoku_result_palette(const genshoku_result* result) {
  return result ? result->palette.data() : nullptr;
}

unsigned int genshoku_result_palette_size(const genshoku_result* result) {
  return result ? static_cast<unsigned int>(result->palette.size()) : 0;
}

const uint8_t* genshoku_result_indices(const genshoku_result* result) {
  return result ? result->picture.indices.data() : nullptr;
}

}  // extern "C"
