// The engine's phases on generated photo-like pictures (Google Benchmark: time and pixels
// per second, no assertions), and a timing run of the whole command-line road on a file:
//   engine_bench [benchmark options]
//   engine_bench --phases INPUT OUTPUT [THREADS]
// The second form decodes INPUT as genshoku-cli does, reduces it with the fixed settings,
// writes OUTPUT (its extension picks the format) and prints the time of the decoding, of
// every engine phase and of the encoding, one "phase seconds" line each.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "engine/phase_timer.h"
#include "engine/reduce_colors.h"
#include "shell/input_decoding.h"
#include "shell/picture_state.h"
#include "shell/reduction_entry.h"
#include "shell/save_formats.h"

namespace genshoku {
namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

// Smooth shading, a few hard-edged discs and grain: many distinct colours and long k-means
// refinements, as real photos have.
struct Planes {
  int width, height;
  std::vector<uint8_t> r, g, b;
};

Planes PhotoLike(int width, int height, unsigned seed) {
  Planes planes{width, height, std::vector<uint8_t>(size_t(width) * height),
                std::vector<uint8_t>(size_t(width) * height),
                std::vector<uint8_t>(size_t(width) * height)};
  std::mt19937 generator(seed);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  double fx[3], fy[3], phase[3];
  for (int c = 0; c < 3; ++c) {
    fx[c] = (1 + unit(generator) * 4) / width;
    fy[c] = (1 + unit(generator) * 4) / height;
    phase[c] = unit(generator) * 6.28;
  }
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const size_t i = size_t(y) * width + x;
      double value[3];
      for (int c = 0; c < 3; ++c) {
        value[c] = 128 + 90 * std::sin(6.28 * (fx[c] * x + fy[c] * y) + phase[c]) +
                   int(generator() % 9) - 4;
      }
      const double dx = x - width * 0.6, dy = y - height * 0.4;
      if (dx * dx + dy * dy < 0.05 * width * height) {
        value[0] = 220 - 0.1 * y;
        value[1] = 40 + (generator() % 5);
        value[2] = 60;
      }
      uint8_t* out[3] = {&planes.r[i], &planes.g[i], &planes.b[i]};
      for (int c = 0; c < 3; ++c) *out[c] = uint8_t(std::fmin(255, std::fmax(0, value[c])));
    }
  }
  return planes;
}

void BM_ReducePhotoLike(benchmark::State& state) {
  const Planes source = PhotoLike(int(state.range(0)), int(state.range(1)), 5);
  const int threads = int(state.range(2));
  std::vector<uint8_t> indices(source.r.size());
  EnginePalette palette;
  double phases[16] = {};
  for (auto _ : state) {
    Planes planes = source;
    PhaseTimer timer;
    EngineServices services;
    services.host = &timer;
    services.diagnostics = &SilentDiagnostics();
    services.threads = threads;
    ReduceColors({planes.width, planes.height, planes.r.data(), planes.g.data(), planes.b.data()},
                 ReductionParams{}, EngineOptions{}, indices.data(), palette, services);
    timer.Stop();
    for (int p = 0; p < PhaseTimer::kPhases; ++p) phases[p] += timer.Seconds(EnginePhase(p));
  }
  state.SetItemsProcessed(state.iterations() * int64_t(source.r.size()));
  const EnginePhase shown[] = {EnginePhase::ColourSpace, EnginePhase::EdgeMap,
                               EnginePhase::FirstSplit,  EnginePhase::Splitting,
                               EnginePhase::KMeans,      EnginePhase::FinalMapping};
  for (EnginePhase phase : shown) {
    state.counters[EnginePhaseName(phase)] =
        benchmark::Counter(phases[int(phase)] / double(state.iterations()));
  }
}
BENCHMARK(BM_ReducePhotoLike)
    ->Args({640, 480, 1})
    ->Args({640, 480, 2})
    ->Args({1280, 960, 2})
    ->Args({2560, 1600, 2})
    ->Unit(benchmark::kMillisecond);

// Processor time of the whole process (all its threads) per phase: unlike the wall time
// it hardly changes when other programs share the machine.
class ProcessorTimer final : public EngineHost {
 public:
  void PhaseStarted(EnginePhase phase) override {
    Stop();
    current_ = static_cast<int>(phase);
    start_ = Now();
  }
  void Stop() {
    if (current_ >= 0) seconds_[current_] += Now() - start_;
    current_ = -1;
  }
  void Print(std::FILE* out) const {
    double total = 0.0;
    for (int p = 0; p < PhaseTimer::kPhases; ++p) {
      std::string name = EnginePhaseName(static_cast<EnginePhase>(p));
      for (char& c : name) c = c == ' ' ? '-' : c;
      std::fprintf(out, "cpu-%s %.3f\n", name.c_str(), seconds_[p]);
      total += seconds_[p];
    }
    std::fprintf(out, "cpu-engine %.3f\n", total);
  }

 private:
  static double Now() {
    timespec now;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
  }
  double seconds_[PhaseTimer::kPhases] = {};
  int current_ = -1;
  double start_ = 0.0;
};

int TimePhases(const std::string& input, const std::string& output, int threads) {
  const Clock::time_point begin = Clock::now();
  PictureState state;
  const DropOutcome outcome = LoadDroppedFile(state, input, StandardDiagnostics());
  if (!outcome.loaded || !outcome.reduceEnabled) {
    std::fprintf(stderr, "%s: cannot be reduced\n", input.c_str());
    return 1;
  }
  const Clock::time_point decoded = Clock::now();
  ProcessorTimer processor;
  PhaseTimer timer(&processor);
  EngineServices services;
  services.host = &timer;
  services.diagnostics = &SilentDiagnostics();
  services.threads = threads;
  const ReduceResult result = RunReduction(state, input, services);
  timer.Stop();
  processor.Stop();
  const Clock::time_point reduced = Clock::now();
  if (result != ReduceResult::Ok) return 1;
  if (!SaveResult(state, output, output, SilentDiagnostics())) return 1;
  const Clock::time_point saved = Clock::now();

  std::printf("decode %.3f\n", Seconds(begin, decoded));
  std::printf("planes %.3f\n", Seconds(decoded, reduced) - timer.TotalSeconds());
  std::fflush(stdout);
  timer.Print(stdout);
  std::printf("encode %.3f\n", Seconds(reduced, saved));
  std::printf("total %.3f\n", Seconds(begin, saved));
  processor.Print(stdout);
  return 0;
}

}  // namespace
}  // namespace genshoku

int main(int argc, char** argv) {
  if (argc >= 4 && std::strcmp(argv[1], "--phases") == 0) {
    return genshoku::TimePhases(argv[2], argv[3], argc >= 5 ? std::atoi(argv[4]) : 0);
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
