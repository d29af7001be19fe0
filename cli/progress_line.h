#pragma once
// A one-line progress display on standard error for reductions that take a while: the
// file, the phase and the k-means pass, rewritten in place. Only used on a terminal.

#include <chrono>
#include <cstdio>
#include <string>

#include "engine/engine_run.h"

namespace genshoku::cli {

class ProgressLine final : public EngineHost {
 public:
  // Shows nothing unless `enabled`; waits `delay` before showing anything, so that quick
  // reductions print nothing at all.
  ProgressLine(std::string name, bool enabled,
               std::chrono::milliseconds delay = std::chrono::milliseconds(1000));
  ~ProgressLine() override;

  void PhaseStarted(EnginePhase phase) override;
  void ShowKmeansProgress(int pass) override;

  // Removes the line, if one was shown.
  void Clear();

 private:
  void Show(const std::string& text);

  std::string name_;
  bool enabled_;
  bool shown_ = false;
  std::chrono::steady_clock::time_point start_;
  std::chrono::milliseconds delay_;
  std::string phase_;
};

}  // namespace genshoku::cli
