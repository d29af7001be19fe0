// How fast the PNG reader decodes the benchmark photos (truecolour files of 1, 4 and 12
// megapixels). Where the photos have not been made, the generated stand-ins are written
// as palette PNG files by the project's writer and decoded instead.

#include <benchmark/benchmark.h>

#include <fstream>
#include <iterator>
#include <map>
#include <vector>

#include "bench_photos.h"
#include "codecs/png/png_streams.h"

namespace {

// The PNG file of the given size, in memory.
const std::vector<uint8_t>& PngFileOf(int megapixels) {
  static std::map<int, std::vector<uint8_t>> files;
  auto found = files.find(megapixels);
  if (found != files.end()) return found->second;
  std::vector<uint8_t> bytes;
  std::ifstream file(bench_photos::PhotoPath(megapixels), std::ios::binary);
  if (file) {
    bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  } else {
    const bench_photos::Picture& picture = bench_photos::PictureOf(megapixels);
    genshoku::png::VxRawPngEncoder encoder(genshoku::SilentDiagnostics());
    encoder.EncodeToMemory(bytes, picture.width, picture.height, 8, 3,
                           bench_photos::ReducedCrudely(picture), bench_photos::Palette332());
  }
  return files.emplace(megapixels, std::move(bytes)).first->second;
}

void BM_GenshokuPngDecode(benchmark::State& state) {
  const int megapixels = static_cast<int>(state.range(0));
  const std::vector<uint8_t>& png = PngFileOf(megapixels);
  double pixels = 0;
  for (auto _ : state) {
    genshoku::png::VxRawPngDecoder decoder(genshoku::SilentDiagnostics());
    genshoku::png::VxPngMemoryStream stream(png.data(), png.size());
    decoder.DecodeStream(stream);
    pixels = static_cast<double>(decoder.outWidth) * decoder.outHeight;
    benchmark::DoNotOptimize(decoder.pixels.data());
  }
  state.counters["pixels_per_second"] =
      benchmark::Counter(pixels, benchmark::Counter::kIsIterationInvariantRate);
  state.counters["file_bytes"] = static_cast<double>(png.size());
  std::ifstream probe(bench_photos::PhotoPath(megapixels));
  state.SetLabel(probe ? "photo" : "generated palette picture");
}
BENCHMARK(BM_GenshokuPngDecode)
    ->Arg(1)
    ->Arg(4)
    ->Arg(12)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
