// libFuzzer target for dropped BMP files: the bytes become a file on disk, which goes
// through the loader, the painting conversion of whatever the loader accepted, and the
// reduction's re-reading of the rows. The loader and the re-reading take paths, so the
// input is written to one scratch file that is reused for every run.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/diagnostics.h"
#include "formats/dib_image.h"
#include "shell/bmp_file.h"
#include "shell/reduction_entry.h"

namespace {

// The loader's own checks keep the rows inside the file, so the picture can never be
// larger than the input; no size filter is needed here.

const std::string& ScratchPath() {
  static const std::string path = [] {
    const char* folder = std::getenv("TMPDIR");
    std::string pattern = std::string(folder ? folder : "/tmp") + "/genshoku-fuzz-bmp-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int descriptor = ::mkstemp(name.data());
    if (descriptor < 0) std::abort();
    ::close(descriptor);
    std::atexit([] { ::unlink(ScratchPath().c_str()); });
    return std::string(name.data());
  }();
  return path;
}

bool WriteScratch(const uint8_t* data, size_t size) {
  std::FILE* file = std::fopen(ScratchPath().c_str(), "wb");
  if (!file) return false;
  const bool written = std::fwrite(data, 1, size, file) == size;
  return std::fclose(file) == 0 && written;
}

void Touch(const std::vector<uint8_t>& bytes) {
  volatile uint8_t sum = 0;
  for (uint8_t byte : bytes) sum = sum + byte;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!WriteScratch(data, size)) std::abort();
  genshoku::Diagnostics& quiet = genshoku::SilentDiagnostics();

  genshoku::PictureState state;
  if (genshoku::LoadBmpFile(state, ScratchPath(), quiet) == genshoku::LoadResult::Loaded) {
    // What the window would paint: every colour table entry, mask and row it reads.
    genshoku::DibGeometry geometry;
    std::vector<uint32_t> pixels;
    if (genshoku::ConvertDib(genshoku::DibSourceFromView(state.View()), &geometry, &pixels)) {
      if (geometry.width != state.imageWidth || geometry.height != state.imageHeight) std::abort();
    }
  }

  genshoku::ColourPlanes planes;
  if (genshoku::ReadBmpPlanes(ScratchPath(), planes, quiet)) {
    const size_t count = size_t(planes.width) * size_t(planes.height);
    if (planes.red.size() != count || planes.green.size() != count || planes.blue.size() != count) {
      std::abort();
    }
    Touch(planes.red);
    Touch(planes.blue);
  }
  return 0;
}
