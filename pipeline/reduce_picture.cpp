#include "pipeline/reduce_picture.h"

#include <new>

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
  return planes;
}

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
