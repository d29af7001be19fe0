#pragma once
// A file path split into folder, base name and extension.

#include <string>
#include <string_view>

namespace genshoku {

struct SplitPath {
  std::string folder;     // everything up to and including the last '/', or empty
  std::string baseName;   // the name without folder and extension
  std::string extension;  // from the last '.' of the name, with the dot, or empty
};

SplitPath SplitFilePath(std::string_view path);

}  // namespace genshoku
