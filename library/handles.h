#pragma once
// What the library's opaque handles hold. Private: callers see only the names in genshoku.h.

#include <vector>

#include "genshoku.h"
#include "pipeline/reduce_picture.h"

struct genshoku_context {
  genshoku::ReductionSettings settings;
  int threads = 0;  // 0: the engine's choice
  genshoku_progress_callback progress = nullptr;
  void* progressData = nullptr;
  genshoku_log_callback log = nullptr;
  void* logData = nullptr;
};

struct genshoku_result {
  genshoku::IndexedPicture picture;
  // The palette in the header's layout, for genshoku_result_palette.
  std::vector<genshoku_color> palette;
};
