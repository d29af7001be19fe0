#include "shell/window_texts.h"

#include <cstdio>

namespace genshoku {

std::string KmeansProgressTitle(int pass) {
  char title[256];
  std::snprintf(title, sizeof title, "Kmeans %d kaime\n", pass);
  return title;
}

}  // namespace genshoku
