#include "shell/reduction_entry.h"

#include <cstdio>
#include <memory>

#include "formats/bmp_header.h"
#include "formats/bmp_layout.h"
#include "pipeline/presets.h"
#include "shell/bmp_file.h"

namespace genshoku {

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// Walks stored 24-bit rows (blue, green, red per pixel) into the planes, top row first.
void WalkRows(const uint8_t* rows, int64_t stride, int32_t width, int32_t height, bool topDown,
              ColourPlanes& planes) {
  const size_t n = static_cast<size_t>(width) * static_cast<size_t>(height);
  planes.width = width;
  planes.height = height;
  planes.red.assign(n, 0);
  planes.green.assign(n, 0);
  planes.blue.assign(n, 0);
  for (int32_t r = 0; r < height; ++r) {
    const uint8_t* row = rows + stride * r;
    const int32_t y = topDown ? r : height - 1 - r;
    const size_t base = static_cast<size_t>(y) * static_cast<size_t>(width);
    for (int32_t c = 0; c < width; ++c) {
      planes.blue[base + c] = row[3 * c];
      planes.green[base + c] = row[3 * c + 1];
      planes.red[base + c] = row[3 * c + 2];
    }
  }
}

}  // namespace

bool ReadBmpPlanes(const std::string& path, ColourPlanes& planes, Diagnostics& diagnostics) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    diagnostics.Err("%s: cannot open the file\n", path.c_str());
    return false;
  }
  uint8_t probe[kBmpHeaderProbeSize] = {};
  const size_t probed = std::fread(probe, 1, sizeof probe, file.get());
  // The rows are checked against the real length of the file below, so the header check
  // here is given an unlimited size.
  BmpHeader header;
  std::string reason;
  if (!ParseBmpHeader(probe, probed, UINT64_MAX, &header, &reason)) {
    diagnostics.Err("%s: %s\n", path.c_str(), reason.c_str());
    return false;
  }
  if (header.bitsPerPixel != 24 || header.compression != 0) {
    diagnostics.Err("%s: not a 24-bit BMP file\n", path.c_str());
    return false;
  }
  const int64_t stride = header.stride();
  const size_t rowsSize = static_cast<size_t>(stride) * static_cast<size_t>(header.rows());
  std::vector<uint8_t> rows(rowsSize);
  if (std::fseek(file.get(), static_cast<long>(header.pixelOffset), SEEK_SET) != 0 ||
      std::fread(rows.data(), 1, rowsSize, file.get()) != rowsSize) {
    diagnostics.Err("InputFileSizeError!!!\n");
    return false;
  }
  WalkRows(rows.data(), stride, header.width, header.rows(), header.topDown(), planes);
  return true;
}

void SplitRowsIntoPlanes(const uint8_t* bits, int32_t width, int32_t height, ColourPlanes& planes) {
  WalkRows(bits, Stride24(width), width, height, false, planes);
}

bool PrepareReduction(const PictureState& state, const std::string& droppedPath, ReductionJob& job,
                      Diagnostics& diagnostics) {
  job.settings = WindowSettings();
  if (state.sourceKind == SourceKind::BmpFile) {
    return ReadBmpPlanes(droppedPath, job.planes, diagnostics);
  }
  const DisplayView view = state.View();
  const int64_t needed = Stride24(state.imageWidth) * state.imageHeight;
  if (view.bits == nullptr || state.imageWidth <= 0 || state.imageHeight <= 0 ||
      static_cast<int64_t>(view.bitsSize) < needed) {
    diagnostics.Err("there is no picture to reduce\n");
    return false;
  }
  SplitRowsIntoPlanes(view.bits, state.imageWidth, state.imageHeight, job.planes);
  return true;
}

void ApplyReduction(PictureState& state, ReductionOutput&& output) {
  IndexedPicture& picture = output.picture;
  const int32_t width = picture.width;
  const int32_t height = picture.height;
  MakeResultBlock(state, width, height);
  state.resultWidth = width;
  state.resultHeight = height;
  uint8_t* table = state.resultBlock.data() + kBmpInfoHeaderSize;
  for (size_t i = 0; i < picture.palette.size() && i < 256; ++i) {
    table[4 * i + 0] = picture.palette[i].blue;
    table[4 * i + 1] = picture.palette[i].green;
    table[4 * i + 2] = picture.palette[i].red;
    table[4 * i + 3] = 0;
  }
  uint8_t* rows = state.resultBlock.data() + kResultBlockPixelOffset;
  const int64_t stride = Stride8(width);
  for (int32_t r = 0; r < height; ++r) {
    const uint8_t* source = picture.indices.data() + static_cast<size_t>(height - 1 - r) * width;
    std::copy(source, source + width, rows + stride * r);
  }
  state.result = std::move(picture);
  state.imageBlock.clear();
  state.imageBlock.shrink_to_fit();
  state.ShowResultBlock();
  state.resultReady = true;
}

ReduceResult RunReduction(PictureState& state, const std::string& droppedPath,
                          const EngineServices& services) {
  Diagnostics& diagnostics = services.diagnostics ? *services.diagnostics : StandardDiagnostics();
  ReductionJob job;
  if (!PrepareReduction(state, droppedPath, job, diagnostics)) {
    return ReduceResult::InvalidArguments;
  }
  ReductionOutput output = ExecuteReduction(job, services);
  if (output.result != ReduceResult::Ok) {
    if (output.result == ReduceResult::OutOfMemory ||
        output.result == ReduceResult::InvalidArguments) {
      diagnostics.Err("the reduction failed: %s\n", ReduceResultText(output.result));
    }
    return output.result;
  }
  ApplyReduction(state, std::move(output));
  return ReduceResult::Ok;
}

}  // namespace genshoku
