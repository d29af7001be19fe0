#pragma once
// The rules that keep genshoku-cli writing only where it was asked to: output names end
// in .bmp, .png or .gif (any case), suffixes and extensions hold no folder separator, and
// an output is never the input itself nor in a folder that does not exist.

#include <optional>
#include <string>

#include "pipeline/picture_format.h"

namespace genshoku::cli {

// The format an output name asks for; none (with the reason in `message`) for a name the
// command line does not write as a file: empty, "-" (standard output, whose format --ext
// names), or without one of the three extensions.
std::optional<PictureFormat> OutputFormatOf(const std::string& name, std::string* message);

// Whether --suffix or --ext TEXT can be part of a file name: no '/' in it.
bool IsNamePart(const std::string& text);

// Why `output` must not be written for `input`, checked before any work: it is the input
// file itself (the same file, by any name or link), or its folder does not exist. None
// when nothing stands in the way.
std::optional<std::string> OutputProblem(const std::string& input, const std::string& output);

}  // namespace genshoku::cli
