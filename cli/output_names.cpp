#include "cli/output_names.h"

#include <sys/stat.h>

namespace genshoku::cli {

std::optional<PictureFormat> OutputFormatOf(const std::string& name, std::string* message) {
  if (name.empty()) {
    *message = "the output name is empty";
    return std::nullopt;
  }
  if (name == "-") {
    *message = "'-' stands for standard output, which has no extension to name a format";
    return std::nullopt;
  }
  const std::optional<PictureFormat> format = FormatFromExtension(name);
  if (!format || *format == PictureFormat::Jpeg) {
    *message = "the output name '" + name + "' must end in .bmp, .png or .gif";
    return std::nullopt;
  }
  return format;
}

bool IsNamePart(const std::string& text) { return text.find('/') == std::string::npos; }

std::optional<std::string> OutputProblem(const std::string& input, const std::string& output) {
  struct stat in, out;
  if (::stat(input.c_str(), &in) == 0 && ::stat(output.c_str(), &out) == 0 &&
      in.st_dev == out.st_dev && in.st_ino == out.st_ino) {
    return "is the input file itself; choose another output name";
  }
  const size_t slash = output.find_last_of('/');
  if (slash == std::string::npos) return std::nullopt;
  const std::string folder = slash == 0 ? "/" : output.substr(0, slash);
  struct stat info;
  if (::stat(folder.c_str(), &info) != 0)
    return "cannot write: the folder " + folder + " does not exist";
  if (!S_ISDIR(info.st_mode)) return "cannot write: " + folder + " is not a folder";
  return std::nullopt;
}

}  // namespace genshoku::cli
