#include "common/file_paths.h"

namespace genshoku {

SplitPath SplitFilePath(std::string_view path) {
  SplitPath split;
  const size_t slash = path.find_last_of('/');
  const size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
  split.folder = std::string(path.substr(0, nameStart));
  const std::string_view name = path.substr(nameStart);
  const size_t dot = name.find_last_of('.');
  if (dot == std::string_view::npos) {
    split.baseName = std::string(name);
  } else {
    split.baseName = std::string(name.substr(0, dot));
    split.extension = std::string(name.substr(dot));
  }
  return split;
}

}  // namespace genshoku
