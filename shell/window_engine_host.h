#pragma once
// The window's side of the engine while a reduction runs on the worker thread: progress
// points that stop the engine once the window asks for it, and k-means passes handed to
// whoever shows them in the title.

#include <atomic>
#include <functional>

#include "engine/engine_run.h"

namespace genshoku {

class WindowEngineHost final : public EngineHost {
 public:
  // Receives each k-means pass number on the engine's thread; it must hand the number over
  // to the window's thread, not touch the window itself.
  using PassSink = std::function<void(int pass)>;

  explicit WindowEngineHost(PassSink passSink = {}) : passSink_(std::move(passSink)) {}

  bool KeepGoing() override { return !stopRequested_.load(std::memory_order_relaxed); }
  void ShowKmeansProgress(int pass) override {
    if (passSink_) passSink_(pass);
  }

  // May be called from any thread; the engine stops at its next progress point.
  void RequestStop() { stopRequested_.store(true, std::memory_order_relaxed); }
  bool stopRequested() const { return stopRequested_.load(std::memory_order_relaxed); }

 private:
  PassSink passSink_;
  std::atomic<bool> stopRequested_{false};
};

}  // namespace genshoku
