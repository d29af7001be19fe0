// genshoku_reduce: the caller's pixels through the application pipeline's reduction step.

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "common/pictures.h"
#include "library/errors.h"
#include "library/handles.h"
#include "library/log_diagnostics.h"
#include "library/progress_host.h"

namespace genshoku::library {

namespace {

static_assert(sizeof(Rgba) == 4, "pixels are copied row by row as four bytes each");

// The caller's rows as a picture without gaps.
RgbaPicture PictureFromRows(const uint8_t* pixels, uint32_t width, uint32_t height, size_t stride) {
  RgbaPicture picture(static_cast<int32_t>(width), static_cast<int32_t>(height));
  const size_t rowBytes = size_t{4} * width;
  for (uint32_t y = 0; y < height; ++y) {
    std::memcpy(&picture.pixels[size_t{y} * width], pixels + size_t{y} * stride, rowBytes);
  }
  return picture;
}

// The checks of the picture the engine would otherwise make itself, as error codes.
genshoku_error CheckPicture(uint32_t width, uint32_t height, size_t stride) {
  if (!PictureSizeAllowed(width, height)) return GENSHOKU_ERROR_BAD_SIZE;
  const size_t rowBytes = size_t{4} * width;
  if (stride < rowBytes) return GENSHOKU_ERROR_BAD_STRIDE;
  // The last row must be addressable: (height - 1) x stride + row bytes fits in a size_t.
  if ((SIZE_MAX - rowBytes) / stride < height - 1) return GENSHOKU_ERROR_BAD_STRIDE;
  return GENSHOKU_OK;
}

// The settings the engine would refuse; the setters let none through, so this only guards
// against an engine that learns new refusals.
genshoku_error CheckSettings(const ReductionSettings& settings, Diagnostics& log) {
  std::string message;
  if (!ValidateReductionParams(settings.params, &message)) {
    log.Err("%s\n", message.c_str());
    return GENSHOKU_ERROR_OUT_OF_RANGE;
  }
  const char* refusal = nullptr;
  if (!ValidateEngineOptions(settings.options, &refusal)) {
    log.Err("%s\n", refusal ? refusal : "the engine refuses these options");
    return GENSHOKU_ERROR_UNSUPPORTED;
  }
  return GENSHOKU_OK;
}

std::unique_ptr<genshoku_result> MakeResult(IndexedPicture picture) {
  auto result = std::make_unique<genshoku_result>();
  result->picture = std::move(picture);
  for (const Rgba& entry : result->picture.palette) {
    result->palette.push_back({entry.red, entry.green, entry.blue, entry.alpha});
  }
  return result;
}

genshoku_error Reduce(genshoku_context& context, const uint8_t* pixels, uint32_t width,
                      uint32_t height, size_t stride, genshoku_result** result) {
  LogDiagnostics log(context, LogSource::Library);
  LogDiagnostics engineLog(context, LogSource::Engine);
  ProgressHost host(context.progress, context.progressData);
  if (!host.Report(0.0)) return GENSHOKU_ERROR_STOPPED;
  const genshoku_error refused = CheckSettings(context.settings, log);
  if (refused != GENSHOKU_OK) return refused;

  ReductionJob job;
  job.settings = context.settings;
  job.planes = PlanesFromPicture(PictureFromRows(pixels, width, height, stride));
  if (!host.Report()) return GENSHOKU_ERROR_STOPPED;

  ReductionOutput output = ExecuteReduction(job, {&host, &engineLog, nullptr, context.threads});
  // A stop asked for at the start of the last phase may find no progress point after it.
  if (host.stopped()) return GENSHOKU_ERROR_STOPPED;
  if (output.result != ReduceResult::Ok) {
    log.Err("%s\n", ReduceResultText(output.result));
    return ErrorOfReduction(output.result);
  }
  job = {};  // the planes are not needed any more
  std::unique_ptr<genshoku_result> made = MakeResult(std::move(output.picture));
  if (!host.Report(1.0)) return GENSHOKU_ERROR_STOPPED;
  *result = made.release();
  return GENSHOKU_OK;
}

}  // namespace

}  // namespace genshoku::library

extern "C" {

genshoku_error genshoku_reduce(genshoku_context* context, const void* pixels, uint32_t width,
                               uint32_t height, size_t stride, genshoku_result** result) {
  if (result != nullptr) *result = nullptr;
  if (context == nullptr || pixels == nullptr || result == nullptr) {
    return GENSHOKU_ERROR_NULL_ARGUMENT;
  }
  const genshoku_error bad = genshoku::library::CheckPicture(width, height, stride);
  if (bad != GENSHOKU_OK) return bad;
  return genshoku::library::Guarded([&] {
    return genshoku::library::Reduce(*context, static_cast<const uint8_t*>(pixels), width, height,
                                     stride, result);
  });
}

}  // extern "C"
