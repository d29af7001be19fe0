#pragma once
// The window's reduce command: the current picture becomes three colour planes, the
// pipeline's reduction runs on them, and its indexed picture becomes the 8-bit result block.
//
// The work is split in three steps so that the window can run the middle one on a worker
// thread: PrepareReduction and ApplyReduction touch the picture state, ExecuteReduction
// (pipeline/reduce_picture.h) only its own job.

#include <cstdint>
#include <string>

#include "common/diagnostics.h"
#include "engine/reduce_colors.h"
#include "pipeline/reduce_picture.h"
#include "shell/picture_state.h"

namespace genshoku {

// Reads a 24-bit BMP file into planes. Follows the file's pixel offset and the sign of its
// height (top-down files). A file shorter than its rows prints "InputFileSizeError!!!\n"
// on standard error; a file that cannot be opened or is no longer a 24-bit BMP file
// prints one line naming it. Either way the result is false and `planes` is untouched.
bool ReadBmpPlanes(const std::string& path, ColourPlanes& planes, Diagnostics& diagnostics);

// Splits 24-bit rows held in memory (bottom row first, stride24 bytes per row) into planes.
void SplitRowsIntoPlanes(const uint8_t* bits, int32_t width, int32_t height, ColourPlanes& planes);

// Gathers the pixels of the current picture: from the dropped BMP file (source kind 0) or
// from the image block (source kind 1), with the window's settings. False when the file
// cannot be read.
bool PrepareReduction(const PictureState& state, const std::string& droppedPath, ReductionJob& job,
                      Diagnostics& diagnostics);

// Turns a successful output into the result block and shows it: colour table from the
// palette, rows from the indices (bottom row first); the image block is released and
// resultReady is set.
void ApplyReduction(PictureState& state, ReductionOutput&& output);

// All three steps at once. Returns the engine's result (or InvalidArguments when the
// input could not be read); on anything but Ok the state is unchanged. A failure from the
// engine is reported on standard error.
ReduceResult RunReduction(PictureState& state, const std::string& droppedPath,
                          const EngineServices& services);

}  // namespace genshoku
