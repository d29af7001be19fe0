#pragma once
// A host that measures how long each phase of a reduction takes and passes every call on to
// another host (the window's or the command line's own), for benchmarks and for a hidden
// timing switch of the programs.

#include <array>
#include <chrono>
#include <cstdio>

#include "engine/engine_run.h"

namespace genshoku {

class PhaseTimer final : public EngineHost {
 public:
  static constexpr int kPhases = static_cast<int>(EnginePhase::FinalMapping) + 1;

  explicit PhaseTimer(EngineHost* inner = nullptr) : inner_(inner) {}

  bool KeepGoing() override { return inner_ ? inner_->KeepGoing() : true; }
  void ShowKmeansProgress(int pass) override {
    if (inner_) inner_->ShowKmeansProgress(pass);
  }
  void PhaseStarted(EnginePhase phase) override {
    Stop();
    current_ = static_cast<int>(phase);
    start_ = Clock::now();
    if (inner_) inner_->PhaseStarted(phase);
  }

  // Ends the phase that is running; call it when the reduction has returned.
  void Stop() {
    if (current_ >= 0) {
      seconds_[current_] += std::chrono::duration<double>(Clock::now() - start_).count();
    }
    current_ = -1;
  }

  double Seconds(EnginePhase phase) const { return seconds_[static_cast<int>(phase)]; }
  double TotalSeconds() const {
    double total = 0.0;
    for (double s : seconds_) total += s;
    return total;
  }

  // One "name seconds" line per phase (spaces in names become dashes), then "engine".
  void Print(std::FILE* out) const {
    for (int p = 0; p < kPhases; ++p) {
      char name[64];
      std::snprintf(name, sizeof name, "%s", EnginePhaseName(static_cast<EnginePhase>(p)));
      for (char* c = name; *c; ++c) {
        if (*c == ' ') *c = '-';
      }
      std::fprintf(out, "%s %.3f\n", name, seconds_[p]);
    }
    std::fprintf(out, "engine %.3f\n", TotalSeconds());
  }

 private:
  using Clock = std::chrono::steady_clock;
  EngineHost* inner_;
  std::array<double, kPhases> seconds_{};
  int current_ = -1;
  Clock::time_point start_;
};

}  // namespace genshoku
