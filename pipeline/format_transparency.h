#pragma once
// What each file format can show of a picture's transparency, settled before the reduction
// so that no palette entry is spent on what the file cannot show:
// - PNG holds every level of alpha: the planes stay as they are;
// - GIF shows a pixel fully or not at all: pixels less than half opaque become fully
//   transparent and the others fully opaque (their colours kept), so the palette has one
//   transparent entry and every other entry for the colours seen;
// - BMP holds no alpha: the colours are reduced alone, and one warning line says so.
// Nothing changes unless the settings keep alpha (keepAlpha) and the planes have it.

#include <string>

#include "common/diagnostics.h"
#include "pipeline/picture_format.h"
#include "pipeline/reduce_picture.h"

namespace genshoku {

// Fits `job` (planes and settings) to what `format` shows; `name` is the output file the
// warning names.
void FitTransparencyToFormat(ReductionJob& job, PictureFormat format, const std::string& name,
                             Diagnostics& diagnostics);

}  // namespace genshoku
