#include "pipeline/reduce_picture.h"

#include <new>

#include "engine/alpha_reduction.h"

namespace genshoku {

ColourPlanes PlanesFromPicture(const RgbaPicture& picture) {
  ColourPlanes planes;
  const size_t count = picture.PixelCount();
  planes.width = picture.width;
  planes.height = picture.height;
  planes.red.resize(count);
  planes.green.resize(count);
  planes.blue.resize(count);
  for (size_t i = 0; i < count; ++i) {
    planes.red[i] = picture.pixels[i].red;
    planes.green[i] = picture.pixels[i].green;
    planes.blue[i] = picture.pixels[i].blue;
  }
  if (picture.HasTransparency()) {
    planes.alpha.resize(count);
    for (size_t i = 0; i < count; ++i) planes.alpha[i] = picture.pixels[i].alpha;
  }
  return planes;
}

namespace {

ReduceResult ReduceKeepingAlpha(ReductionJob& job, const EngineServices& services,
                                IndexedPicture& picture) {
  ColourPlanes& planes = job.planes;
  AlphaPalette palette;
  const ReduceResult result = ReduceColorsWithAlpha(
      {planes.width, planes.height, planes.red.data(), planes.green.data(), planes.blue.data()},
      planes.alpha.data(), job.settings.params, job.settings.options, picture.indices.data(),
      palette, services);
  if (result == ReduceResult::Ok) picture.palette = palette.entries;
  return result;
}

}  // namespace

ReductionOutput ExecuteReduction(ReductionJob& job, const EngineServices& services) {
  ReductionOutput output;
  ColourPlanes& planes = job.planes;
  IndexedPicture& picture = output.picture;
  try {
    picture.indices.assign(static_cast<size_t>(planes.width) * planes.height, 0);
  } catch (const std::bad_alloc&) {
    output.result = ReduceResult::OutOfMemory;
    return output;
  }
  const bool keepAlpha =
      job.settings.options.keepAlpha == 1 && planes.alpha.size() == picture.indices.size();
  if (keepAlpha) {
    output.result = ReduceKeepingAlpha(job, services, picture);
    if (output.result != ReduceResult::Ok) {
      picture = {};
      return output;
    }
    picture.width = planes.width;
    picture.height = planes.height;
    return output;
  }
  EnginePalette palette;
  output.result = ReduceColors(
      {planes.width, planes.height, planes.red.data(), planes.green.data(), planes.blue.data()},
      job.settings.params, job.settings.options, picture.indices.data(), palette, services);
  if (output.result != ReduceResult::Ok) {
    picture = {};
    return output;
  }
  picture.width = planes.width;
  picture.height = planes.height;
  picture.palette.resize(static_cast<size_t>(palette.size));
  for (int i = 0; i < palette.size; ++i) {
    picture.palette[i] = {palette.red[i], palette.green[i], palette.blue[i], 255};
  }
  return output;
}

}  // namespace genshoku
