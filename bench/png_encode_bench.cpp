// How fast the PNG writer compresses a photo-sized palette picture, and how its output
// compares with zlib's default level on exactly the same filtered rows; and how fast it
// writes the benchmark photos reduced crudely.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "bench_photos.h"
#include "codecs/png/png_encoder.h"

#if __has_include(<zlib.h>)
#include <zlib.h>
#define GENSHOKU_BENCH_HAS_ZLIB 1
#endif

namespace {

constexpr int kWidth = 2048;
constexpr int kHeight = 2048;  // 4 megapixels

// A smooth field like the shading of a photo, reduced to 256 levels with a little
// dithering noise, as error diffusion leaves it. Deterministic: the same picture on
// every run.
const std::vector<uint8_t>& PhotoLikeIndices() {
  static const std::vector<uint8_t> pixels = [] {
    std::vector<uint8_t> indices(static_cast<size_t>(kWidth) * kHeight);
    uint32_t state = 12345;
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        const double shade = 128.0 + 50.0 * std::sin(x / 310.0) * std::cos(y / 270.0) +
                             30.0 * std::sin((x + 2 * y) / 520.0) + 0.02 * (x - y);
        state = state * 1103515245u + 12345u;
        const double noise = static_cast<double>((state >> 16) & 0x7FFF) / 32768.0 - 0.5;
        // Dithering mixes each shade with its neighbouring palette entries.
        const long level = std::lround(shade + 2.2 * noise);
        indices[static_cast<size_t>(y) * kWidth + static_cast<size_t>(x)] =
            static_cast<uint8_t>(level < 0     ? 0
                                 : level > 255 ? 255
                                               : level);
      }
    }
    return indices;
  }();
  return pixels;
}

const std::vector<uint8_t>& Palette() {
  static const std::vector<uint8_t> palette = [] {
    std::vector<uint8_t> entries(256 * 3);
    for (int i = 0; i < 256; ++i) {
      entries[i * 3] = entries[i * 3 + 1] = entries[i * 3 + 2] = static_cast<uint8_t>(i);
    }
    return entries;
  }();
  return palette;
}

// The rows as the PNG writer feeds them to deflate: filter byte 0, then the indices.
const std::vector<uint8_t>& FilteredRows() {
  static const std::vector<uint8_t> rows = [] {
    const std::vector<uint8_t>& pixels = PhotoLikeIndices();
    std::vector<uint8_t> filtered;
    filtered.reserve(static_cast<size_t>(kWidth + 1) * kHeight);
    for (int y = 0; y < kHeight; ++y) {
      filtered.push_back(0);
      const auto row = pixels.begin() + static_cast<std::ptrdiff_t>(y) * kWidth;
      filtered.insert(filtered.end(), row, row + kWidth);
    }
    return filtered;
  }();
  return rows;
}

// Everything of the PNG file that is not the zlib stream: signature, IHDR, PLTE, the
// IDAT frame and IEND.
constexpr size_t kPngFraming = 8 + 25 + 780 + 12 + 12;

size_t GenshokuZlibBytes() {
  static const size_t size = [] {
    genshoku::png::VxRawPngEncoder encoder(genshoku::SilentDiagnostics());
    std::vector<uint8_t> png;
    encoder.EncodeToMemory(png, kWidth, kHeight, 8, 3, PhotoLikeIndices(), Palette());
    return png.size() - kPngFraming;
  }();
  return size;
}

#ifdef GENSHOKU_BENCH_HAS_ZLIB
size_t ZlibLevel6Bytes(std::vector<uint8_t>& out) {
  const std::vector<uint8_t>& rows = FilteredRows();
  uLongf size = compressBound(static_cast<uLong>(rows.size()));
  out.resize(size);
  compress2(out.data(), &size, rows.data(), static_cast<uLong>(rows.size()), 6);
  return size;
}
#endif

void SetSizeCounters(benchmark::State& state, double zlibStreamBytes) {
  const double input = static_cast<double>(FilteredRows().size());
  state.counters["stream_bytes"] = zlibStreamBytes;
  state.counters["stream_per_input"] = zlibStreamBytes / input;
  state.counters["pixels_per_second"] = benchmark::Counter(
      static_cast<double>(kWidth) * kHeight, benchmark::Counter::kIsIterationInvariantRate);
#ifdef GENSHOKU_BENCH_HAS_ZLIB
  std::vector<uint8_t> scratch;
  state.counters["vs_zlib6"] = zlibStreamBytes / static_cast<double>(ZlibLevel6Bytes(scratch));
#endif
}

void BM_GenshokuPngEncode(benchmark::State& state) {
  const std::vector<uint8_t>& pixels = PhotoLikeIndices();
  genshoku::png::VxRawPngEncoder encoder(genshoku::SilentDiagnostics());
  std::vector<uint8_t> png;
  for (auto _ : state) {
    encoder.EncodeToMemory(png, kWidth, kHeight, 8, 3, pixels, Palette());
    benchmark::DoNotOptimize(png.data());
  }
  SetSizeCounters(state, static_cast<double>(GenshokuZlibBytes()));
}
BENCHMARK(BM_GenshokuPngEncode)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The benchmark photos of 1, 4 and 12 megapixels (or their generated stand-ins) reduced
// crudely to 256 colours with error diffusion, as the command line tool hands them over.
void BM_GenshokuPngEncodeReducedPhoto(benchmark::State& state) {
  const bench_photos::Picture& picture = bench_photos::PictureOf(static_cast<int>(state.range(0)));
  const std::vector<uint8_t> indices = bench_photos::ReducedCrudely(picture);
  const std::vector<uint8_t> palette = bench_photos::Palette332();
  genshoku::png::VxRawPngEncoder encoder(genshoku::SilentDiagnostics());
  std::vector<uint8_t> png;
  for (auto _ : state) {
    encoder.EncodeToMemory(png, picture.width, picture.height, 8, 3, indices, palette);
    benchmark::DoNotOptimize(png.data());
  }
  state.counters["png_bytes"] = static_cast<double>(png.size());
  state.counters["pixels_per_second"] = benchmark::Counter(
      static_cast<double>(indices.size()), benchmark::Counter::kIsIterationInvariantRate);
  state.SetLabel(picture.name);
}
BENCHMARK(BM_GenshokuPngEncodeReducedPhoto)
    ->Arg(1)
    ->Arg(4)
    ->Arg(12)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);

#ifdef GENSHOKU_BENCH_HAS_ZLIB
void BM_ZlibLevel6SameRows(benchmark::State& state) {
  FilteredRows();
  std::vector<uint8_t> out;
  size_t size = 0;
  for (auto _ : state) {
    size = ZlibLevel6Bytes(out);
    benchmark::DoNotOptimize(out.data());
  }
  SetSizeCounters(state, static_cast<double>(size));
}
BENCHMARK(BM_ZlibLevel6SameRows)->Unit(benchmark::kMillisecond)->MinTime(2.0);
#endif

}  // namespace

BENCHMARK_MAIN();
