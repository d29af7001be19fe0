#pragma once
// An engine host for tests that holds the engine at the start of a chosen phase until the
// test lets it go on or asks it to stop. What happens while a reduction runs (a stop, a
// close, a second request) can then be tested at a known point of the run instead of by
// racing a picture large enough that the engine is probably still at work.
//
// The engine calls the host from the thread that runs it; the test's thread calls
// WaitUntilHeld, Release and Stop. EngineThread runs the engine on a thread of its own and
// never leaves it waiting: a test that ends early stops and joins it.
//
// Header only, plain C++: usable by the engine, pipeline, shell and command line tests
// alike, and so by the sanitizer build.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "engine/engine_run.h"

namespace genshoku::test_support {

class HeldEngineHost final : public EngineHost {
 public:
  // Holds the engine when `holdAt` begins (the first time only); nothing holds it when
  // empty. Every call is passed on to `inner` as well, whose KeepGoing can stop the engine
  // too (the window's or the command line's own host, a PhaseTimer).
  explicit HeldEngineHost(std::optional<EnginePhase> holdAt, EngineHost* inner = nullptr)
      : holdAt_(holdAt), inner_(inner) {}

  // ---- The engine's side ----
  bool KeepGoing() override {
    ++progressPoints_;
    if (stopRequested_.load()) return false;
    return inner_ == nullptr || inner_->KeepGoing();
  }
  void ShowKmeansProgress(int pass) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      kmeansPasses_.push_back(pass);
    }
    if (inner_ != nullptr) inner_->ShowKmeansProgress(pass);
  }
  void PhaseStarted(EnginePhase phase) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      phases_.push_back(phase);
    }
    if (inner_ != nullptr) inner_->PhaseStarted(phase);
    if (holdAt_ != phase) return;
    std::unique_lock<std::mutex> lock(mutex_);
    if (state_ != State::NotYet) return;
    state_ = State::Held;
    changed_.notify_all();
    changed_.wait(lock, [this] { return state_ == State::Released; });
  }

  // ---- The test's side ----
  // True once the engine waits at the phase; false if it has not come there within
  // `limit` (or went past it without holding, which only a released host allows).
  bool WaitUntilHeld(std::chrono::milliseconds limit = std::chrono::seconds(120)) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, limit, [this] { return state_ != State::NotYet; }) &&
           state_ == State::Held;
  }
  // The engine goes on (and never waits later on).
  void Release() {
    std::lock_guard<std::mutex> lock(mutex_);
    state_ = State::Released;
    changed_.notify_all();
  }
  // Asks the engine to stop at its next progress point, and lets it go on so that it can.
  void Stop() {
    stopRequested_.store(true);
    Release();
  }

  bool held() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return state_ == State::Held;
  }
  std::vector<EnginePhase> phases() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return phases_;
  }
  std::vector<int> kmeansPasses() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return kmeansPasses_;
  }
  int64_t progressPoints() const { return progressPoints_.load(); }

 private:
  enum class State { NotYet, Held, Released };

  const std::optional<EnginePhase> holdAt_;
  EngineHost* const inner_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  State state_ = State::NotYet;
  std::atomic<bool> stopRequested_{false};
  std::atomic<int64_t> progressPoints_{0};
  std::vector<EnginePhase> phases_;
  std::vector<int> kmeansPasses_;
};

// Runs `work` (a reduction whose host is `host`) on a thread of its own. Join returns its
// result; a run not joined by the test is stopped and joined on destruction.
template <typename Result>
class EngineThread {
 public:
  EngineThread(HeldEngineHost& host, std::function<Result()> work)
      : host_(host), thread_([this, work = std::move(work)] { result_ = work(); }) {}
  ~EngineThread() {
    if (thread_.joinable()) {
      host_.Stop();
      thread_.join();
    }
  }
  EngineThread(const EngineThread&) = delete;
  EngineThread& operator=(const EngineThread&) = delete;

  Result Join() {
    thread_.join();
    return std::move(result_);
  }

 private:
  HeldEngineHost& host_;
  Result result_{};
  std::thread thread_;
};

}  // namespace genshoku::test_support
