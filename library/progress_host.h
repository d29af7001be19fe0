#pragma once
// The engine's host for a library reduction: turns the engine's phases and refinement passes
// into a rising fraction for the caller's progress callback, and stops the engine when the
// callback asks.

#include "engine/engine_run.h"
#include "genshoku.h"

namespace genshoku::library {

class ProgressHost final : public EngineHost {
 public:
  ProgressHost(genshoku_progress_callback callback, void* userData)
      : callback_(callback), userData_(userData) {}

  bool KeepGoing() override { return Report(); }
  void PhaseStarted(EnginePhase phase) override;
  void ShowKmeansProgress(int pass) override;

  // Reports `fraction` (or the fraction reached, if higher); false once the callback has
  // asked to stop, after which it is not called again.
  bool Report(double fraction);
  bool Report() { return Report(fraction_); }

  bool stopped() const { return stopped_; }

  // The fraction at which a phase starts.
  static double PhaseStart(EnginePhase phase);

 private:
  genshoku_progress_callback callback_;
  void* userData_;
  double fraction_ = 0.0;
  bool stopped_ = false;
};

}  // namespace genshoku::library
