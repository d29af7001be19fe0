#include "pipeline/format_transparency.h"

namespace genshoku {

void FitTransparencyToFormat(ReductionJob& job, PictureFormat format, const std::string& name,
                             Diagnostics& diagnostics) {
  std::vector<uint8_t>& alpha = job.planes.alpha;
  if (job.settings.options.keepAlpha != 1 || alpha.empty()) return;
  if (format == PictureFormat::Bmp) {
    diagnostics.Err(
        "%s: warning: BMP files cannot hold transparency; the colours are written without it\n",
        name.c_str());
    job.settings.options.keepAlpha = 0;
  } else if (format == PictureFormat::Gif) {
    // The same rule as the GIF writer's for entries: below one half is transparent.
    for (uint8_t& a : alpha) a = a < 128 ? 0 : 255;
  }
}

}  // namespace genshoku
