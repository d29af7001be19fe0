#pragma once
// The literal engine's link between its phases and the caller's services.

#include <cstdint>

#include "common/diagnostics.h"
#include "engine/engine_run.h"

namespace genshoku::reference {

// The host, the phases and the random generator are the engine's own public types, so that
// the reference and the engine can be driven by the same services.
using genshoku::EngineHost;
using genshoku::EnginePhase;
using genshoku::EngineRandom;

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

}  // namespace genshoku::reference
