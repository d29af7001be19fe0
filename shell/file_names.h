#pragma once
// The window's file name rules: the tables that choose a reader for a dropped file and a
// writer for a save name. Extensions are compared exactly, case included: "photo.Jpg" is not
// a JPEG name.

#include <string>
#include <string_view>

#include "common/file_paths.h"
#include "pipeline/picture_format.h"

namespace genshoku {

enum class InputReader { Jpeg, Png, Gif, Bmp };

// ".jpg", ".JPG", ".jpeg", ".JPEG" read as JPEG; ".png", ".PNG" as PNG; ".gif", ".GIF"
// as GIF; any other name as a BMP file.
InputReader ChooseInputReader(std::string_view path);

// The format a reader reads.
PictureFormat InputReaderFormat(InputReader reader);

enum class SaveWriter { Bmp, Png, Gif };

// ".PNG", ".png" write PNG; ".GIF", ".gif" write GIF; ".BMP", ".bmp" and every other
// name write an 8-bit BMP file. Only the name matters, not the folder.
SaveWriter ChooseSaveWriter(std::string_view fileTitle);

const char* InputReaderName(InputReader reader);
const char* SaveWriterName(SaveWriter writer);

}  // namespace genshoku
