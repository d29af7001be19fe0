#include "shell/file_names.h"

#include <array>
#include <utility>

namespace genshoku {

namespace {

// First match wins, in this order.
constexpr std::array<std::pair<std::string_view, InputReader>, 8> kInputTable = {{
    {".jpg", InputReader::Jpeg},
    {".JPG", InputReader::Jpeg},
    {".jpeg", InputReader::Jpeg},
    {".JPEG", InputReader::Jpeg},
    {".png", InputReader::Png},
    {".PNG", InputReader::Png},
    {".gif", InputReader::Gif},
    {".GIF", InputReader::Gif},
}};

constexpr std::array<std::pair<std::string_view, SaveWriter>, 6> kSaveTable = {{
    {".BMP", SaveWriter::Bmp},
    {".bmp", SaveWriter::Bmp},
    {".PNG", SaveWriter::Png},
    {".png", SaveWriter::Png},
    {".GIF", SaveWriter::Gif},
    {".gif", SaveWriter::Gif},
}};

}  // namespace

InputReader ChooseInputReader(std::string_view path) {
  const std::string extension = SplitFilePath(path).extension;
  for (const auto& [known, reader] : kInputTable) {
    if (extension == known) return reader;
  }
  return InputReader::Bmp;
}

SaveWriter ChooseSaveWriter(std::string_view fileTitle) {
  const std::string extension = SplitFilePath(fileTitle).extension;
  for (const auto& [known, writer] : kSaveTable) {
    if (extension == known) return writer;
  }
  return SaveWriter::Bmp;
}

PictureFormat InputReaderFormat(InputReader reader) {
  switch (reader) {
    case InputReader::Jpeg: return PictureFormat::Jpeg;
    case InputReader::Png: return PictureFormat::Png;
    case InputReader::Gif: return PictureFormat::Gif;
    case InputReader::Bmp: break;
  }
  return PictureFormat::Bmp;
}

const char* InputReaderName(InputReader reader) {
  switch (reader) {
    case InputReader::Jpeg: return "JPEG";
    case InputReader::Png: return "PNG";
    case InputReader::Gif: return "GIF";
    case InputReader::Bmp: return "BMP";
  }
  return "?";
}

const char* SaveWriterName(SaveWriter writer) {
  switch (writer) {
    case SaveWriter::Bmp: return "BMP";
    case SaveWriter::Png: return "PNG";
    case SaveWriter::Gif: return "GIF";
  }
  return "?";
}

}  // namespace genshoku
