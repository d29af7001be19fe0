#include "cli/progress_line.h"

namespace genshoku::cli {

ProgressLine::ProgressLine(std::string name, bool enabled, std::chrono::milliseconds delay)
    : name_(std::move(name)),
      enabled_(enabled),
      start_(std::chrono::steady_clock::now()),
      delay_(delay) {}

ProgressLine::~ProgressLine() { Clear(); }

void ProgressLine::Show(const std::string& text) {
  if (!enabled_ || std::chrono::steady_clock::now() - start_ < delay_) return;
  std::fprintf(stderr, "\r\033[K%s: %s", name_.c_str(), text.c_str());
  std::fflush(stderr);
  shown_ = true;
}

void ProgressLine::PhaseStarted(EnginePhase phase) {
  phase_ = EnginePhaseName(phase);
  Show(phase_);
}

void ProgressLine::ShowKmeansProgress(int pass) { Show(phase_ + ", pass " + std::to_string(pass)); }

void ProgressLine::Clear() {
  if (!shown_) return;
  std::fprintf(stderr, "\r\033[K");
  std::fflush(stderr);
  shown_ = false;
}

}  // namespace genshoku::cli
