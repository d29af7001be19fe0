#include "cli/phase_clock.h"

#include <cstdio>

namespace genshoku::cli {

void PhaseClock::Start(std::string name) {
  Stop();
  running_ = std::move(name);
  started_ = Clock::now();
}

void PhaseClock::Stop() {
  if (running_.empty()) return;
  const std::chrono::duration<double> elapsed = Clock::now() - started_;
  steps_.emplace_back(std::move(running_), elapsed.count());
  running_.clear();
}

std::string PhaseClock::Summary() const {
  std::string text;
  double total = 0;
  char piece[128];
  for (const auto& [name, seconds] : steps_) {
    std::snprintf(piece, sizeof piece, "%s %.3f s, ", name.c_str(), seconds);
    text += piece;
    total += seconds;
  }
  std::snprintf(piece, sizeof piece, "total %.3f s", total);
  return text + piece;
}

}  // namespace genshoku::cli
