#pragma once
// What the engine needs from its caller while it runs: progress points that may ask it to
// stop, the k-means progress display, a place for its diagnostic lines and a random
// generator.

#include <cstdint>

#include "common/diagnostics.h"

namespace genshoku {

enum class EnginePhase {
  ColourSpace,
  EdgeMap,
  FirstSplit,
  Splitting,
  PaletteAssembly,
  KMeans,
  NearestEntries,
  PaletteToRgb,
  FinalMapping,
};

const char* EnginePhaseName(EnginePhase phase);

// Supplied by the program that runs the engine. Every method may be called from the thread
// that runs the engine, and must be cheap: progress points come often (once per pixel in
// some phases).
class EngineHost {
 public:
  virtual ~EngineHost() = default;
  // A progress point. Returning false asks the engine to stop as soon as possible; the
  // engine then returns ReduceResult::Stopped and its outputs are not meaningful.
  virtual bool KeepGoing() { return true; }
  // The k-means refinement starts pass `pass` (1, 2, ...). The window shows
  // "Kmeans %d kaime\n" in its title.
  virtual void ShowKmeansProgress(int pass) { (void)pass; }
  // A phase of the reduction begins (for progress displays and timing).
  virtual void PhaseStarted(EnginePhase phase) { (void)phase; }
};

// The engine's random generator: the classic linear congruential one, so that the random
// palette entries of the k-means refinement are the same on every platform.
class EngineRandom {
 public:
  explicit EngineRandom(uint32_t seed = 1) : state_(seed) {}
  // 0..32767.
  int Draw() {
    state_ = state_ * 214013u + 2531011u;
    return static_cast<int>((state_ >> 16) & 0x7FFF);
  }
  uint32_t state() const { return state_; }

 private:
  uint32_t state_;
};

// Thrown inside the engine when the host asks it to stop; ReduceColors catches it.
struct EngineStopped {};

// Thrown inside the engine when a covariance matrix cannot be diagonalised (the message has
// been printed already); ReduceColors catches it and reports the failure.
struct EigenNotConverged {};

// The per-reduction link between the phases and the caller's services.
class EngineRun {
 public:
  EngineRun(EngineHost& host, Diagnostics& diagnostics, EngineRandom& random)
      : host_(host), diagnostics_(diagnostics), random_(random) {}

  // A progress point: lets the host react and throws EngineStopped when it asks to stop.
  void Pump() {
    if (!host_.KeepGoing()) throw EngineStopped{};
  }
  void ShowKmeansProgress(int pass) { host_.ShowKmeansProgress(pass); }
  void PhaseStarted(EnginePhase phase) { host_.PhaseStarted(phase); }

  Diagnostics& diagnostics() { return diagnostics_; }
  EngineRandom& random() { return random_; }

 private:
  EngineHost& host_;
  Diagnostics& diagnostics_;
  EngineRandom& random_;
};

}  // namespace genshoku
